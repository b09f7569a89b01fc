#include "installer/KwComponent.h"

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/format_message.h"
#include "installer/Build.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwRadioGroup.h"
#include "installer/Release.h"
#include "installer/SourceConfig.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const char* const ABSENT = "kitwright-test-absent-key";
const std::tuple<int, int, int, int> INTERNAL{3, 1, 1, 3};

// What this machine's package database says, asked of dpkg itself.
std::string dpkgVersion(const std::string& name)
{
    return shellOutput("dpkg-query -W -f='${Version}' " + name);
}

bool dpkgLess(const std::string& a, const std::string& b)
{
    return shellOutput("dpkg --compare-versions '" + a + "' lt '" + b + "' && echo yes") == "yes\n";
}

std::string dpkgHigher(const std::string& a, const std::string& b)
{
    return dpkgLess(a, b) ? b : a;
}

// A virtual name that exactly one installed package provides and no installed package is called,
// with that package: "name provider".
std::pair<std::string, std::string> installedVirtual()
{
    const std::string found = shellOutput(
        "dpkg-query -W -f='${Status}|${Package}|${Provides}\\n' | awk -F'|' '"
        "$1 ~ /^(install|hold) ok/ { installed[$2] = 1; n = split($3, entries, \", \");"
        "  for (i = 1; i <= n; i++) { split(entries[i], words, \" \");"
        "    if (words[1] != \"\") { count[words[1]]++; provider[words[1]] = $2 } } }"
        "END { for (v in count) if (count[v] == 1 && !(v in installed)) print v, provider[v] }' |"
        " LC_ALL=C sort | head -n 1 | tr -d '\\n'");
    const std::string::size_type blank = found.find(' ');
    return {found.substr(0, blank), found.substr(blank + 1)};
}

// The real packages the cases use, read once from the database.
struct Installed {
    Installed()
    {
        dpkg = dpkgVersion("dpkg");
        bash = dpkgVersion("bash");
        std::tie(virtual_name, provider) = installedVirtual();
        provider_version = dpkgVersion(provider);
        dpkg_newer = dpkg + "+kw1";
        bash_newer = bash + "+kw1";
        provider_newer = provider_version + "+kw1";
    }

    std::string dpkg, bash, virtual_name, provider, provider_version;
    std::string dpkg_newer, bash_newer, provider_newer;
};

const Installed& installed()
{
    static const Installed facts;
    return facts;
}

TEST(KwComponentFactsTest, TheCasesRestOnTheseComparisons)
{
    const Installed& real = installed();
    ASSERT_FALSE(real.dpkg.empty());
    ASSERT_FALSE(real.bash.empty());
    ASSERT_FALSE(real.provider_version.empty()) << real.virtual_name;
    EXPECT_TRUE(dpkgLess(real.dpkg, real.dpkg_newer));
    EXPECT_TRUE(dpkgLess(real.bash, real.bash_newer));
    EXPECT_TRUE(dpkgLess(real.provider_version, real.provider_newer));
    EXPECT_TRUE(dpkgLess("0.1", real.dpkg));
}

// A case of the installed state against this machine's package database.
struct StateCase {
    std::string label;
    std::vector<BuildInfFile::keypackages_t> sections;
    std::vector<std::pair<std::string, std::string>> own;                // the build's packages, each built at 300
    std::vector<std::tuple<std::string, std::string, uint64_t>> offers;  // in the product repository
    KwComponent::install_mode_t mode;
    std::string installed_version;
    std::string available_version;
    uint64_t available_time;
};

std::vector<StateCase> stateCases()
{
    const Installed& r = installed();
    const KwComponent::install_mode_t INSTALL = KwComponent::INSTALL, UPGRADE = KwComponent::UPGRADE,
                                      UP2DATE = KwComponent::UP2DATE, ERROR = KwComponent::ERROR;
    const auto key = [](const std::string& name) {
        return std::vector<BuildInfFile::keypackages_t>{keySection({name})};
    };
    return {
        {"newer candidate", key("dpkg"), {}, {{"dpkg", r.dpkg_newer, 200}}, UPGRADE, r.dpkg, r.dpkg_newer, 200},
        {"equal candidate", key("dpkg"), {}, {{"dpkg", r.dpkg, 200}}, UP2DATE, r.dpkg, r.dpkg, 200},
        {"installed package is its own candidate", key("dpkg"), {}, {}, UP2DATE, r.dpkg, r.dpkg, 0},
        {"absent without candidate", key(ABSENT), {}, {}, ERROR, "", "", 0},
        {"absent with candidate", key(ABSENT), {}, {{ABSENT, "1.0", 50}}, INSTALL, "", "1.0", 50},
        {"installed nokeypackage", {keySection({"bash"}, {"dpkg"})}, {}, {}, INSTALL, "", r.bash, 0},
        {"second section installed", {keySection({ABSENT}), keySection({"dpkg"})}, {}, {}, UP2DATE, r.dpkg, r.dpkg, 0},
        {"key provide",
         {keySection({}, {}, {r.virtual_name})},
         {},
         {},
         UP2DATE,
         r.provider_version,
         r.provider_version,
         0},
        {"key provide with newer provider package",
         {keySection({}, {}, {r.virtual_name})},
         {},
         {{r.provider, r.provider_newer, 70}},
         UPGRADE,
         r.provider_version,
         r.provider_newer,
         70},
        {"key provide nobody provides",
         {keySection({}, {}, {"kitwright-test-absent-virtual"})},
         {},
         {},
         ERROR,
         "",
         "",
         0},
        // Installed only under the name as written, but offered under its base name.
        {"a/b keypackage", key("vendor/dpkg"), {}, {}, INSTALL, "", r.dpkg, 0},
        {"a/b nokeypackage", {keySection({"bash"}, {"vendor/dpkg"})}, {}, {}, INSTALL, "", r.bash, 0},
        {"build packages installed", {}, {{"dpkg", r.dpkg}}, {}, UP2DATE, r.dpkg, r.dpkg, 300},
        {"one build package missing", {}, {{"dpkg", r.dpkg}, {ABSENT, "0.1"}}, {}, UPGRADE, r.dpkg, r.dpkg, 300},
        {"every build package missing", {}, {{ABSENT, "0.1"}}, {}, INSTALL, "", "0.1", 300},
        {"build package installed older", {}, {{"dpkg", r.dpkg_newer}}, {}, UPGRADE, r.dpkg, r.dpkg_newer, 300},
        {"no sections and no packages", {}, {}, {}, ERROR, "", "", 0},
        {"keys up to date, a build package older",
         key("dpkg"),
         {{"dpkg", r.dpkg}, {"bash", r.bash_newer}},
         {},
         UPGRADE,
         dpkgHigher(r.dpkg, r.bash),
         dpkgHigher(r.dpkg, r.bash_newer),
         300},
        // Not available and latest: the build's packages only raise the available build time.
        {"keys not latest",
         key(ABSENT),
         {{"kitwright-test-other", "5.0"}},
         {{ABSENT, "1.0", 50}},
         INSTALL,
         "",
         "1.0",
         300},
    };
}

// Every test with the real database runs in a child: reading it records progress.
void inChild(const std::function<void()>& checks)
{
    const ChildResult result = runChecksInChild(checks, privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

boost::shared_ptr<KwComponent> withPackages(const boost::shared_ptr<KwComponent>& component,
                                            const std::vector<std::pair<std::string, std::string>>& own)
{
    for (const auto& package : own) {
        Package* built = new DebPackage(package.first, package.second);
        built->setType(Package::TYPE_BUILD);
        built->setBuildTime(300);
        component->packages.push_back(built);
    }
    return component;
}

TEST(KwComponentTest, InstalledStateAgainstThisSystem)
{
    const std::vector<StateCase> cases = stateCases();
    inChild([&cases] {
        SystemRepository system;
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository);
        for (const StateCase& c : cases) {
            Repository repository(system.repository);
            for (const auto& offer : c.offers)
                offerPackage(repository, std::get<0>(offer), std::get<1>(offer), std::get<2>(offer));
            const boost::shared_ptr<KwComponent> component =
                withPackages(makeComponent(build, "web", c.sections), c.own);
            component->checkInstalled(&repository, nullptr);
            EXPECT_EQ(component->getInstallMode(), c.mode) << c.label;
            EXPECT_EQ(component->getInstalledVersion(), c.installed_version) << c.label;
            EXPECT_EQ(component->getAvailableVersion(), c.available_version) << c.label;
            EXPECT_EQ(component->getAvailableBuildTime(), c.available_time) << c.label;
            EXPECT_EQ(component->getInstalledBuildTime(), 0u) << c.label;  // dpkg-query tells no build time
        }
    });
}

TEST(KwComponentTest, MissedPackagesAreAppendedOnce)
{
    inChild([] {
        SystemRepository system;
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository);
        Repository& repository = system.repository;
        const Package* dpkg = repository.getInstalledPackage(PooledString("dpkg"));
        ASSERT_NE(dpkg, nullptr);

        // dpkg is a key package of both sections; the first fails on its nokeypackage. The build's
        // own package is not installed.
        const boost::shared_ptr<KwComponent> component =
            withPackages(makeComponent(build, "web", {keySection({"dpkg"}, {"bash"}), keySection({"dpkg"})}),
                         {{"kitwright-test-other", "1.0"}});
        component->checkInstalled(&repository, nullptr);
        EXPECT_EQ(component->getInstallMode(), KwComponent::UPGRADE);
        ASSERT_EQ(component->packages.size(), 2u);
        EXPECT_EQ(component->packages[1], dpkg);

        // Checked again, the missed package is one of the component's own.
        component->checkInstalled(&repository, nullptr);
        EXPECT_EQ(component->getInstallMode(), KwComponent::UPGRADE);
        EXPECT_EQ(component->packages.size(), 2u);

        // A build package of that name is no missed package.
        const boost::shared_ptr<KwComponent> listed =
            withPackages(makeComponent(build, "db", {keySection({"dpkg"})}), {{"dpkg", installed().dpkg}});
        listed->checkInstalled(&repository, nullptr);
        EXPECT_EQ(listed->packages.size(), 1u);
    });
}

TEST(KwComponentTest, ErrorIsFinal)
{
    inChild([] {
        SystemRepository system;
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository);
        const boost::shared_ptr<KwComponent> component = makeComponent(build, "web", {keySection({ABSENT})});
        component->checkInstalled(&system.repository, nullptr);
        ASSERT_EQ(component->getInstallMode(), KwComponent::ERROR);

        offerPackage(system.repository, ABSENT, "1.0", 50);
        const LogFile log(3);
        component->checkInstalled(&system.repository, nullptr);
        EXPECT_EQ(component->getInstallMode(), KwComponent::ERROR);
        EXPECT_EQ(component->getAvailableVersion(), "");
        EXPECT_EQ(log.lines(), std::vector<std::string>{"Check installation state for component zanth/web:"});
    });
}

TEST(KwComponentTest, LogOfOneCheck)
{
    inChild([] {
        SystemRepository system;
        const Installed& r = installed();
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository);
        const Package* offered = offerPackage(system.repository, "dpkg", r.dpkg_newer, 200);
        const Package* dpkg = system.repository.getInstalledPackage(PooledString("dpkg"));
        const std::string arch = dpkg->getArch().c_str();
        {
            const LogFile info(1);
            makeComponent(build, "db", {keySection({"dpkg"})})->checkInstalled(&system.repository, nullptr);
            EXPECT_EQ(info.lines(),
                      std::vector<std::string>{"Component zanth/db: mode upgrade,  installed_buildtime=0,  "
                                               "available_buildtime=200"});
        }
        const LogFile log(3);
        const boost::shared_ptr<KwComponent> component =
            makeComponent(build, "web", {keySection({"dpkg", ABSENT}, {"kitwright-test-absent-no"})});
        component->checkInstalled(&system.repository, nullptr);
        const std::string installed_form = "dpkg-" + r.dpkg + "." + arch;
        const std::string offered_form = "dpkg-" + r.dpkg_newer + ".all";
        EXPECT_EQ(printed(offered), offered_form);
        const std::vector<std::string> expected = {
            "Check installation state for component zanth/web:",
            " test negative keypackages set:  'kitwright-test-absent-no'",
            "  Package kitwright-test-absent-no is not installed",
            " test positive keypackages set:  'dpkg' '" + std::string(ABSENT) + "'",
            "  In system installed " + installed_form,
            "  Following package is available: " + offered_form,
            "adding missed base package " + installed_form + " to component web web component",
            "  Package " + std::string(ABSENT) + " is not installed",
            "  New version of package " + std::string(ABSENT) + " is not available.",
            " test key provides set: ",
            " by keypackages: is_comp_available=false, is_comp_installed_latest=false, is_comp_installed=false, "
            "avbl_time=200, inst_ver=" +
                r.dpkg + ", avail_ver=" + r.dpkg_newer,
            " KwComponent: after build packages: inst_time=0, avbl_time=200, inst_ver=" + r.dpkg +
                ", avail_ver=" + r.dpkg_newer,
            " finally check installed: is_comp_installed_latest=false, is_comp_available=false, "
            "is_comp_installed=false",
            "Component zanth/web: mode=4",
            "Component zanth/web: mode error,  installed_buildtime=0,  available_buildtime=0",
        };
        EXPECT_EQ(log.lines(), expected);
    });
}

TEST(KwComponentTest, BuildPackagePassLog)
{
    inChild([] {
        SystemRepository system;
        const Installed& r = installed();
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository);
        const boost::shared_ptr<KwComponent> component =
            withPackages(makeComponent(build, "web"), {{"dpkg", r.dpkg_newer}, {ABSENT, "0.1"}});
        const std::string arch = system.repository.getInstalledPackage(PooledString("dpkg"))->getArch().c_str();
        const LogFile log(3);
        component->checkInstalled(&system.repository, nullptr);
        const std::vector<std::string> lines = log.lines();
        const std::vector<std::string> pass(lines.begin() + 2, lines.begin() + 8);
        EXPECT_EQ(pass, (std::vector<std::string>{
                            " Iterate for build packages...",
                            "  Compare system dpkg-" + r.dpkg + "." + arch,
                            "      with build dpkg-" + r.dpkg_newer,
                            "   currently is_comp_installed_latest=false",
                            "  Package " + std::string(ABSENT) + " is not installed",
                            " KwComponent: after build packages: inst_time=0, avbl_time=300, inst_ver=" + r.dpkg +
                                ", avail_ver=" + r.dpkg_newer,
                        }));
        EXPECT_EQ(component->getInstallMode(), KwComponent::UPGRADE);
    });
}

TEST(KwComponentTest, ConfiguratorIsAskedOnlyForWhatIsNotInstalled)
{
    inChild([] {
        SystemRepository system;
        const Installed& r = installed();
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository);
        const DebPackage newer_dpkg("dpkg", r.dpkg_newer);
        const DebPackage offered("kitwright-test-absent-key", "2.0");
        ListConfigurator configurator({&newer_dpkg, &offered});

        const boost::shared_ptr<KwComponent> present = makeComponent(build, "web", {keySection({"dpkg"})});
        present->checkInstalled(&system.repository, &configurator);
        EXPECT_EQ(present->getInstallMode(), KwComponent::UP2DATE);
        EXPECT_TRUE(configurator.asked.empty());

        const boost::shared_ptr<KwComponent> absent = makeComponent(build, "db", {keySection({ABSENT})});
        absent->checkInstalled(&system.repository, &configurator);
        EXPECT_EQ(absent->getInstallMode(), KwComponent::INSTALL);
        EXPECT_EQ(absent->getAvailableVersion(), "2.0");

        // Asked under the name as written; the repository under its base name.
        offerPackage(system.repository, ABSENT, "1.5");
        const boost::shared_ptr<KwComponent> written =
            makeComponent(build, "mail", {keySection({"vendor/" + std::string(ABSENT)})});
        written->checkInstalled(&system.repository, &configurator);
        EXPECT_EQ(written->getAvailableVersion(), "1.5");
        EXPECT_EQ(configurator.asked, (std::vector<std::string>{ABSENT, "vendor/" + std::string(ABSENT)}));
    });
}

TEST(KwComponentTest, TellsTheReleaseOfUpdates)
{
    inChild([] {
        SystemRepository system;
        const Installed& r = installed();
        // The release is the installed one: its version is that of its installed key package.
        const std::string upstream = shellOutput("dpkg-query -W -f='${Version}' dpkg | sed 's/-[^-]*$//'");
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository, "zanth", upstream, {{"dpkg"}});
        const boost::shared_ptr<Release> release = build->getParent();
        ASSERT_TRUE(release->is_current());

        makeComponent(build, "web", {keySection({"dpkg"})})->checkInstalled(&system.repository, nullptr);
        EXPECT_FALSE(release->has_component_updates());
        offerPackage(system.repository, ABSENT, "1.0");
        makeComponent(build, "db", {keySection({ABSENT})})->checkInstalled(&system.repository, nullptr);
        EXPECT_EQ(release->get_updated_components(), std::vector<std::string>{"db"});
        EXPECT_FALSE(release->has_component_updates());
        offerPackage(system.repository, "dpkg", r.dpkg_newer);
        makeComponent(build, "mail", {keySection({"dpkg"})})->checkInstalled(&system.repository, nullptr);
        EXPECT_TRUE(release->has_component_updates());

        // An addon build not yet attached to a release has nobody to tell.
        const boost::shared_ptr<Build> addon(
            new Build(boost::shared_ptr<Release>(), "Linux", "Debian", "12", "x86_64", "", "", "addon.inf3", ""));
        const boost::shared_ptr<KwComponent> loose = makeComponent(addon, "extra", {keySection({ABSENT})});
        loose->checkInstalled(&system.repository, nullptr);
        EXPECT_EQ(loose->getInstallMode(), KwComponent::INSTALL);
        EXPECT_EQ(loose->getFullName(), "extra");
    });
}

TEST(KwComponentTest, KeypackageSectionCheck)
{
    const Installed& r = installed();
    inChild([&r] {
        SystemRepository system;
        const boost::shared_ptr<Build> build = makeProductBuild(system.repository);
        const boost::shared_ptr<KwComponent> component = makeComponent(build, "web");
        Repository& repository = system.repository;
        EXPECT_TRUE(component->checkKeypackageSection(&repository, keySection({"dpkg", "vendor/bash"})));
        EXPECT_FALSE(component->checkKeypackageSection(&repository, keySection({"dpkg", ABSENT})));
        EXPECT_FALSE(component->checkKeypackageSection(&repository, keySection({"dpkg"}, {"vendor/bash"})));
        EXPECT_TRUE(component->checkKeypackageSection(&repository, keySection({"dpkg"}, {ABSENT})));
        EXPECT_TRUE(component->checkKeypackageSection(&repository, keySection({}, {}, {r.virtual_name})));
        EXPECT_FALSE(component->checkKeypackageSection(&repository, keySection({}, {}, {"kitwright-test-nobody"})));

        // A key provide answered by a package that is not installed is an internal error, here and
        // in the installed state.
        Package* provider = offerPackage(repository, r.provider, r.provider_newer);
        provider->addProvide(r.virtual_name.c_str());
        const error section =
            caught([&] { component->checkKeypackageSection(&repository, keySection({}, {}, {r.virtual_name})); });
        EXPECT_EQ(codes(section), INTERNAL);
        EXPECT_EQ(section.getText(), internal_error("installer/KwComponent.cpp", 522).getText());
        const boost::shared_ptr<KwComponent> provided =
            makeComponent(build, "db", {keySection({}, {}, {r.virtual_name})});
        const error check = caught([&] { provided->checkInstalled(&repository, nullptr); });
        EXPECT_EQ(codes(check), INTERNAL);
        EXPECT_EQ(check.getText(), internal_error("installer/KwComponent.cpp", 334).getText());
    });
}

// Candidates of the plain repository and configurator, without the database.
class CandidateTest : public testing::Test {
protected:
    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
};

TEST_F(CandidateTest, BestCandidateOfThree)
{
    struct Case {
        std::string own, repo, conf;  // versions; empty: no such candidate
        int expected;                 // 0 own, 1 repository, 2 configurator, -1 none
    };
    const std::vector<Case> cases = {
        {"2.0", "2.0", "2.1", 2}, {"2.0", "2.0", "2.0", 0}, {"2.0", "2.1", "", 1}, {"", "2.0", "2.0", 1},
        {"2.1", "2.0", "2.0", 0}, {"", "", "1.0", 2},       {"", "", "", -1},
    };
    for (const Case& c : cases) {
        Repository local(repository);
        const boost::shared_ptr<KwComponent> component = makeComponent(build, "web");
        const Package* candidates[3] = {nullptr, nullptr, nullptr};
        if (!c.own.empty()) {
            candidates[0] = new DebPackage("pkg", c.own);
            component->packages.push_back(new DebPackage("other", "9.0"));
            component->packages.push_back(candidates[0]);
        }
        if (!c.repo.empty())
            candidates[1] = offerPackage(local, "pkg", c.repo);
        // The configurator is asked for the name as written.
        DebPackage conf_package("vendor/pkg", c.conf.empty() ? "0" : c.conf);
        ListConfigurator configurator(c.conf.empty() ? cpkgs_t{} : cpkgs_t{&conf_package});
        if (!c.conf.empty())
            candidates[2] = &conf_package;
        SystemSpecificConfigurator* conf = &configurator;
        const Package* best = component->findBestCandidate("vendor/pkg", &local, &conf, false);
        EXPECT_EQ(best, c.expected < 0 ? nullptr : candidates[c.expected]) << c.own << " " << c.repo << " " << c.conf;
        EXPECT_EQ(configurator.asked, std::vector<std::string>{"vendor/pkg"});
        // Without a configurator, or with a pointer to none, only the first two count.
        SystemSpecificConfigurator* none = nullptr;
        EXPECT_EQ(component->findBestCandidate("pkg", &local, &none, false),
                  component->findBestCandidate("pkg", &local, nullptr, false));
    }
}

TEST_F(CandidateTest, LazyAddonPackagesBelongToTheirBuild)
{
    const boost::shared_ptr<Build> addon_x = makeProductBuild(repository, "addon-x");
    const boost::shared_ptr<Build> addon_y = makeProductBuild(repository, "addon-y");
    SourceConfig config(&repository);
    SourceConfigLazyAddon lazy_x(&repository, addon_x);
    SourceConfigLazyAddon lazy_y(&repository, addon_y);
    const Package* plain = offerPackage(repository, "pkg", "1.0", 0, &config);
    const Package* from_x = offerPackage(repository, "pkg", "2.0", 0, &lazy_x);
    const Package* from_y = offerPackage(repository, "pkg", "3.0", 0, &lazy_y);
    const Package* sourceless = offerPackage(repository, "solo", "1.0");

    const boost::shared_ptr<KwComponent> component = makeComponent(build, "web", {keySection({"pkg"})});
    EXPECT_EQ(component->findLatestLazy(&repository, "pkg"), plain);
    EXPECT_EQ(component->findLatestLazy(&repository, "solo"), sourceless);
    EXPECT_EQ(component->findBestCandidate("pkg", &repository, nullptr, false), from_y);
    component->checkInstalled(&repository, nullptr);
    EXPECT_EQ(component->getAvailableVersion(), "1.0");

    component->lazy_build = addon_x;
    EXPECT_EQ(component->findLatestLazy(&repository, "pkg"), from_x);
    EXPECT_EQ(component->findBestCandidate("pkg", &repository, nullptr, true), from_x);
    component->lazy_build = addon_y;
    EXPECT_EQ(component->findLatestLazy(&repository, "pkg"), from_y);
    component->lazy_build = makeProductBuild(repository, "addon-z");
    EXPECT_EQ(component->findLatestLazy(&repository, "pkg"), plain);
}

// The internal error that support knows by this file and line.
std::string internalText(const char* file, int line)
{
    return internal_error(file, line).getText();
}

TEST_F(CandidateTest, ConstructionAndUncheckedState)
{
    const error no_build = caught([] { KwComponent(boost::shared_ptr<Build>(), "web", "Web", "", {}); });
    EXPECT_EQ(codes(no_build), INTERNAL);
    EXPECT_EQ(no_build.getText(), internalText("installer/KwComponent.cpp", 53));
    EXPECT_EQ(caught([] { KwComponent(boost::shared_ptr<Build>(), "web Web tools"); }).getText(),
              internalText("installer/KwComponent.cpp", 42));

    const KwComponent text(build, "web Web server tools");
    EXPECT_EQ(text.name, "web");
    EXPECT_EQ(text.getDescription(), "Web server tools");
    EXPECT_EQ(text.getFullName(), "zanth/web");
    EXPECT_EQ(text.getProductId(), "zanth");
    EXPECT_EQ(text.getRequest(), REQ_LEAVE);
    EXPECT_FALSE(text.isRequired());

    const char* const source = "installer/KwComponent.cpp";
    const char* const header = "installer/KwComponent.h";
    const std::vector<std::tuple<std::function<void()>, const char*, int>> reads = {
        {[&] { text.getInstallMode(); }, source, 64},         {[&] { text.getInstallModeName(); }, source, 64},
        {[&] { text.getStatusChar(); }, source, 64},          {[&] { text.isInstalled(); }, source, 64},
        {[&] { text.willBeInstalled(); }, source, 64},        {[&] { text.willBeNotInstalled(); }, source, 64},
        {[&] { text.willBeInstalledOlder(); }, source, 64},   {[&] { text.willBeInstalledNew(); }, source, 64},
        {[&] { text.getAvailableBuildTime(); }, header, 153}, {[&] { text.getInstalledBuildTime(); }, header, 159},
        {[&] { text.getInstalledVersion(); }, header, 170},   {[&] { text.getAvailableVersion(); }, header, 176},
    };
    for (const auto& read : reads) {
        const error e = caught(std::get<0>(read));
        EXPECT_EQ(codes(e), INTERNAL);
        EXPECT_EQ(e.getText(), internalText(std::get<1>(read), std::get<2>(read)));
    }
}

TEST_F(CandidateTest, KeypackageNamesAndModeNames)
{
    const boost::shared_ptr<KwComponent> component =
        makeComponent(build, "web", {keySection({"a", "b"}, {"no-a"}, {"virt"}), keySection({"c"}, {"no-b", "no-c"})});
    std::vector<std::string> names = {"given"};
    component->getKeypackages(names);
    EXPECT_EQ(names, (std::vector<std::string>{"given", "no-a", "a", "b", "no-b", "no-c", "c"}));

    const std::vector<std::pair<KwComponent::install_mode_t, std::string>> modes = {{KwComponent::INSTALL, "install"},
                                                                                    {KwComponent::UPGRADE, "upgrade"},
                                                                                    {KwComponent::UP2DATE, "up2date"},
                                                                                    {KwComponent::ERROR, "error"}};
    for (const auto& mode : modes)
        EXPECT_EQ(componentInMode(repository, build, "c" + mode.second, mode.first)->getInstallModeName(), mode.second);
}

TEST_F(CandidateTest, RequestsAndStatusCharacters)
{
    const Messages messages;
    const boost::shared_ptr<KwComponent> missing = componentInMode(repository, build, "missing", KwComponent::ERROR);
    EXPECT_EQ(missing->getStatusChar(), '!');
    for (const std::function<void()>& request :
         std::vector<std::function<void()>>{[&] { missing->requestInstall(); }, [&] { missing->requestRemove(); }}) {
        const error e = caught(request);
        EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 2));
        EXPECT_EQ(e.getText(), "The component zanth/missing is not available.\n");
    }

    const boost::shared_ptr<KwComponent> fresh = componentInMode(repository, build, "fresh", KwComponent::INSTALL);
    EXPECT_EQ(fresh->getStatusChar(), ' ');
    fresh->requestInstall();
    EXPECT_EQ(fresh->getStatusChar(), '*');
    fresh->requestRemove();  // nothing installed to remove: allowed
    EXPECT_EQ(fresh->getStatusChar(), 'X');

    const boost::shared_ptr<KwComponent> base = componentInMode(repository, build, "base", KwComponent::UP2DATE);
    EXPECT_EQ(base->getStatusChar(), '=');
    base->markRequired();
    EXPECT_EQ(base->getRequest(), REQ_INSTALL);
    EXPECT_TRUE(base->isRequired());
    const error removal = caught([&] { base->requestRemove(); });
    EXPECT_EQ(codes(removal), std::make_tuple(2, 1, 1, 1));
    EXPECT_EQ(removal.getText(), format_message(messages.get("err_comprem_required"), "zanth/base") + "\n");
    base->requestLeave();  // installed: may be left as it is
    EXPECT_EQ(base->getRequest(), REQ_LEAVE);

    // A required component that is not installed cannot be left out once requested for install.
    const boost::shared_ptr<KwComponent> core = componentInMode(repository, build, "core", KwComponent::INSTALL);
    core->markRequired();
    const error leave = caught([&] { core->requestLeave(); });
    EXPECT_EQ(codes(leave), std::make_tuple(2, 1, 1, 1));
    EXPECT_EQ(leave.getText(), "Unable to exclude the component zanth/core:\nit is required component.\n");
    core->requestRemove();  // not installed: no removal to refuse
    core->requestLeave();   // not requested for install any more
    core->requestLeave();
    EXPECT_EQ(core->getRequest(), REQ_LEAVE);

    // Removal of an installed required component already requested for removal does not throw.
    const boost::shared_ptr<KwComponent> web = componentInMode(repository, build, "web", KwComponent::UPGRADE);
    web->requestRemove();
    web->markRequired();
    EXPECT_EQ(codes(caught([&] { web->requestRemove(); })), std::make_tuple(2, 1, 1, 1));
}

TEST_F(CandidateTest, OwnPredicates)
{
    // mode, request -> installed, toRemove, toInstall, willBeInstalled, willBeNotInstalled, older, new
    struct Case {
        KwComponent::install_mode_t mode;
        request_mode_t request;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {KwComponent::INSTALL, REQ_LEAVE, "0000100"},   {KwComponent::INSTALL, REQ_INSTALL, "0011001"},
        {KwComponent::INSTALL, REQ_REMOVE, "0000100"},  {KwComponent::UPGRADE, REQ_LEAVE, "1001010"},
        {KwComponent::UPGRADE, REQ_INSTALL, "1011001"}, {KwComponent::UPGRADE, REQ_REMOVE, "1100100"},
        {KwComponent::UP2DATE, REQ_LEAVE, "1001001"},   {KwComponent::UP2DATE, REQ_INSTALL, "1001001"},
        {KwComponent::UP2DATE, REQ_REMOVE, "1100100"},  {KwComponent::ERROR, REQ_LEAVE, "0000100"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const boost::shared_ptr<KwComponent> component =
            componentInMode(repository, build, "c" + std::to_string(n++), c.mode);
        if (c.request == REQ_INSTALL)
            component->requestInstall();
        if (c.request == REQ_REMOVE)
            component->requestRemove();
        std::string got;
        for (bool answer :
             {component->isInstalled(), component->isToRemove(), component->isToInstall(), component->willBeInstalled(),
              component->willBeNotInstalled(), component->willBeInstalledOlder(), component->willBeInstalledNew()})
            got += answer ? '1' : '0';
        EXPECT_EQ(got, c.expected) << c.mode << " " << c.request;
    }
}

TEST_F(CandidateTest, Relations)
{
    Repository other_repository;
    const boost::shared_ptr<Build> other_build = makeProductBuild(other_repository, "other");
    const auto make = [&](const std::string& name, KwComponent::install_mode_t mode) {
        return componentInMode(repository, build, name, mode);
    };

    // Conflicts, both ways, only within a product.
    const boost::shared_ptr<KwComponent> a = make("a", KwComponent::INSTALL);
    const boost::shared_ptr<KwComponent> b = make("b", KwComponent::INSTALL);
    const boost::shared_ptr<KwComponent> foreign_b =
        componentInMode(other_repository, other_build, "b", KwComponent::INSTALL);
    a->conflicts = {"b"};
    EXPECT_TRUE(a->conflictsWith(b, nullptr));
    EXPECT_TRUE(b->conflictsWith(a, nullptr));
    EXPECT_FALSE(a->conflictsWith(foreign_b, nullptr));
    EXPECT_FALSE(foreign_b->conflictsWith(a, nullptr));

    // Tied: the other lists this one as hardwired and stays installed older.
    const boost::shared_ptr<KwComponent> old = make("old", KwComponent::UPGRADE);
    old->hardwired_with = {"a"};
    ComponentsChangeset installing;
    installing.requests[old] = REQ_INSTALL;
    EXPECT_TRUE(a->isRequiredByOlder(old, nullptr));
    EXPECT_FALSE(a->isRequiredByOlder(old, &installing));
    EXPECT_FALSE(b->isRequiredByOlder(old, nullptr));
    EXPECT_TRUE(a->mustCheckWith(old, nullptr));
    EXPECT_FALSE(a->mustCheckWith(old, &installing));

    // What this one requires goes away.
    const boost::shared_ptr<KwComponent> user = make("user", KwComponent::INSTALL);
    const boost::shared_ptr<KwComponent> lib = make("lib", KwComponent::UP2DATE);
    user->requirements = {"lib", "db"};
    ComponentsChangeset removing;
    removing.requests[lib] = REQ_REMOVE;
    EXPECT_FALSE(user->mustCheckWith(lib, nullptr));
    EXPECT_TRUE(user->mustCheckWith(lib, &removing));
    EXPECT_FALSE(lib->mustCheckWith(user, &removing));

    // A member of a required radio group.
    KwRadioGroup db(build, "db", "Databases");
    const boost::shared_ptr<KwComponent> mysql = make("mysql", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> pgsql = make("pgsql", KwComponent::INSTALL);
    db.add(mysql);
    db.add(pgsql);
    EXPECT_FALSE(user->mustCheckWith(mysql, nullptr));  // the group has its selected member
    ComponentsChangeset drop_mysql;
    drop_mysql.requests[mysql] = REQ_REMOVE;
    EXPECT_TRUE(user->mustCheckWith(mysql, &drop_mysql));
    EXPECT_FALSE(user->mustCheckWith(pgsql, &drop_mysql));  // neither installed nor the default
    db.default_name = "pgsql";
    EXPECT_TRUE(user->mustCheckWith(pgsql, &drop_mysql));
    ComponentsChangeset to_pgsql;
    to_pgsql.requests[pgsql] = REQ_INSTALL;
    to_pgsql.requests[mysql] = REQ_REMOVE;
    EXPECT_FALSE(user->mustCheckWith(pgsql, &to_pgsql));

    // Nothing ties components of different products.
    const boost::shared_ptr<KwComponent> foreign_lib =
        componentInMode(other_repository, other_build, "lib", KwComponent::UPGRADE);
    EXPECT_FALSE(user->mustCheckWith(foreign_lib, nullptr));
    foreign_lib->hardwired_with = {"a"};
    EXPECT_FALSE(a->isRequiredByOlder(foreign_lib, nullptr));
}

}  // namespace
