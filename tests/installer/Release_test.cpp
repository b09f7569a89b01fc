#include "installer/Release.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Repository.h"
#include "common/SourceSysDeb.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

const char* const ABSENT_A = "kitwright-test-absent-a";
const char* const ABSENT_B = "kitwright-test-absent-b";

boost::shared_ptr<Product> makeProduct(const Product::keypackages_t& keypackages,
                                       const std::vector<std::string>& incompatible = {},
                                       const std::string& id = "zanth")
{
    return boost::shared_ptr<Product>(
        new Product(id, "Zanth", false, keypackages, {}, {}, "", "", "", "", incompatible));
}

// A build made for the running system, or for one that no test machine is.
boost::shared_ptr<Build> makeBuild(const boost::shared_ptr<Release>& release, bool for_this_system)
{
    const Opsys system;
    if (!for_this_system)
        return boost::shared_ptr<Build>(
            new Build(release, "Linux", "Solaris", "11", system->arch, "", "", "other.inf3", ""));
    return boost::shared_ptr<Build>(
        new Build(release, system->name, system->vendor, system->version, system->arch, "", "", "this.inf3", ""));
}

boost::shared_ptr<Release> makeRelease(const boost::shared_ptr<Product>& product, const std::string& id,
                                       const std::string& version, const std::string& upgrade_from,
                                       bool build_for_this_system = true)
{
    boost::shared_ptr<Release> release(new Release(product, id, "Zanth " + version, "", version, upgrade_from));
    release->add_build(makeBuild(release, build_for_this_system));
    return release;
}

// What dpkg-query reports for an installed package, without the Debian revision.
std::string installedVersion(const std::string& package)
{
    return shellOutput("dpkg-query -W -f='${Version}' " + package + " | sed 's/-[^-]*$//'");
}

bool dpkgCompare(const std::string& a, const char* relation, const std::string& b)
{
    return std::system(("dpkg --compare-versions '" + a + "' " + relation + " '" + b + "'").c_str()) == 0;
}

std::string firstSegment(const std::string& version)
{
    return version.substr(0, version.find('.'));
}

// The log lines, each with its line end.
std::string text(const LogFile& log)
{
    std::string all;
    for (const std::string& line : log.lines())
        all += line + "\n";
    return all;
}

// A repository that knows the installed packages of this machine, through dpkg-query.
struct SystemRepository {
    SystemRepository() : source(&repository)
    {
        repository.getBriefPackagesInfo();
        repository.findNewest("dpkg");  // builds the name index now, with its log line
    }
    Repository repository;
    SourceSysDeb source;
};

// A repository holding one installed package.
Repository* repositoryWith(const std::string& name, const std::string& version)
{
    Repository* repository = new Repository;
    Package* pkg = new Package(name, version);
    pkg->setType('s');
    repository->addPackage(pkg, nullptr);
    return repository;
}

TEST(ReleaseTest, InstalledVersionIsTheFirstKeyPackageFoundWhateverItsGroup)
{
    const std::string dpkg = installedVersion("dpkg");
    const std::string bash = installedVersion("bash");
    const std::string bsdutils = installedVersion("bsdutils");  // essential, with an epoch on Debian
    ASSERT_FALSE(dpkg.empty() || bash.empty() || bsdutils.empty());
    struct Case {
        Product::keypackages_t groups;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{{"dpkg"}}, dpkg},
        {{{ABSENT_A, ABSENT_B}, {"bsdutils"}}, bsdutils},
        {{{ABSENT_A, "bash"}, {"dpkg"}}, bash},
        {{{ABSENT_A}, {"dpkg"}, {"bash"}}, dpkg},
        {{{"bash", "dpkg"}}, bash},
        {{{ABSENT_A}, {ABSENT_B}}, ""},
    };
    const ChildResult result = runChecksInChild(
        [&cases] {
            SystemRepository system;
            for (const Case& c : cases) {
                const boost::shared_ptr<Release> release = makeRelease(makeProduct(c.groups), "r", "1.0", "1.0");
                EXPECT_EQ(release->calculate_current_release(&system.repository), c.expected) << c.groups[0][0];
                // The database's own answer gives the same text.
                EXPECT_EQ(
                    release->prod()->detectInstalledVersion(Product::GetPkgVerDirectlyFromSystem(&system.repository)),
                    c.expected);
            }
        },
        privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(ReleaseTest, InstalledVersionKeepsTheEpochAndDropsTheRelease)
{
    std::unique_ptr<Repository> repository(repositoryWith("c", "2:1.5-3"));
    const boost::shared_ptr<Release> release = makeRelease(makeProduct({{"a", "b"}, {"c"}}), "r", "1.0", "1.0");
    EXPECT_EQ(release->calculate_current_release(repository.get()), "2:1.5");
}

TEST(ReleaseTest, InstalledVersionAssertions)
{
    std::unique_ptr<Repository> repository(repositoryWith("c", "1.0"));
    const boost::shared_ptr<Release> release = makeRelease(makeProduct({{"c"}}), "r", "1.0", "1.0");
    const error no_repository = caught([&] { release->calculate_current_release(nullptr); });
    EXPECT_EQ(codes(no_repository), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(no_repository.getText(), internal_error("installer/Release.cpp", 87).getText());

    for (const Product::keypackages_t& groups : {Product::keypackages_t{}, Product::keypackages_t{{}, {"c"}}}) {
        const boost::shared_ptr<Product> product = makeProduct(groups);
        const error e = caught([&] { makeRelease(product, "r", "1.0", "1.0")->calculate_state(repository.get()); });
        EXPECT_EQ(e.getText(), internal_error("installer/Release.cpp", 114).getText());
        const error direct =
            caught([&] { product->detectInstalledVersion(Product::GetPkgVerDirectlyFromSystem(repository.get())); });
        EXPECT_EQ(direct.getText(), internal_error("installer/Product.cpp", 12).getText());
    }
}

// A release computed against the installed version of dpkg: state, update mode, both names and the log.
struct StateCase {
    std::string id;
    std::string version;
    std::string upgrade_from;
    bool build_for_this_system;
    const char* relation;  // of the release's version to the installed one, as dpkg sees it
    Release::state_t state;
    Release::update_mode_t mode;
    std::string mode_name;  // "" when the names raise the error of an uncalculated mode
    std::string action_name;
    std::string log;  // the lines after "Release <id>"
};

TEST(ReleaseTest, StateAndUpdateModeAroundTheInstalledVersion)
{
    const std::string installed = installedVersion("dpkg");
    ASSERT_FALSE(installed.empty());
    const std::string first = firstSegment(installed);
    const std::string next = std::to_string(std::stoi(first) + 1) + ".0";
    const std::string too_new = " is too new: upgrade is allowed starting from ";
    const std::vector<StateCase> cases = {
        {"older", "0.9", "0.1", true, "lt", Release::NOT_ACTUAL, Release::NOT_CALCULATED, "", "",
         " is too old: " + installed + " is installed.\n"},
        {"same", installed, "0.1", true, "eq", Release::ACTUAL, Release::UP2DATE, "up2date", "up2date",
         " is actual\n is currently installed\n"},
        {"minor", installed + ".1", "0.1", true, "gt", Release::ACTUAL, Release::MINOR_UPGRADE, "update", "upgrade",
         " is actual\n"},
        {"leading-zero", "0" + installed + ".1", installed, true, "gt", Release::ACTUAL, Release::MINOR_UPGRADE,
         "update", "upgrade", " is actual\n"},
        {"major", next, "0.1", true, "gt", Release::ACTUAL, Release::MAJOR_UPGRADE, "upgrade", "upgrade",
         " is actual\n"},
        {"too-new", next, next, true, "gt", Release::NOT_ACTUAL, Release::NOT_CALCULATED, "", "",
         too_new + next + " version\n"},
        {"too-new-release", next, next + "-3", true, "gt", Release::NOT_ACTUAL, Release::NOT_CALCULATED, "", "",
         too_new + next + "-3 version\n"},
        {"no-build", next, "0.1", false, "gt", Release::NOT_ACTUAL, Release::NOT_CALCULATED, "", "",
         " contains no build for this OS\n"},
    };
    // The comparisons the expectations rest on, as dpkg makes them.
    for (const StateCase& c : cases) {
        EXPECT_TRUE(dpkgCompare(c.version, c.relation, installed)) << c.id;
        if (c.state == Release::ACTUAL) {
            EXPECT_TRUE(dpkgCompare(installed, "ge", c.upgrade_from)) << c.id;
        }
    }
    EXPECT_TRUE(dpkgCompare(installed, "lt", next));

    Opsys();  // detected here, so that its log line stays out of the child's file
    const ChildResult result = runChecksInChild(
        [&cases, &installed] {
            SystemRepository system;
            const boost::shared_ptr<Product> product = makeProduct({{ABSENT_A}, {"dpkg"}});
            for (const StateCase& c : cases) {
                const boost::shared_ptr<Release> release =
                    makeRelease(product, c.id, c.version, c.upgrade_from, c.build_for_this_system);
                const LogFile log;
                release->calculate_state(&system.repository);
                EXPECT_EQ(release->get_installed_version(), installed) << c.id;
                EXPECT_EQ(release->get_state(), c.state) << c.id;
                EXPECT_EQ(release->is_actual(), c.state == Release::ACTUAL) << c.id;
                EXPECT_EQ(release->is_current(), c.mode == Release::UP2DATE) << c.id;
                std::string expected_log;
                for (size_t start = 0, end; (end = c.log.find('\n', start)) != std::string::npos; start = end + 1)
                    expected_log += "Release " + c.id + c.log.substr(start, end + 1 - start);
                EXPECT_EQ(text(log), expected_log) << c.id;
                if (c.mode_name.empty()) {
                    const error e = caught([&] { release->get_update_mode_name(); });
                    EXPECT_EQ(e.getText(), "release Zanth " + c.version + ": update mode is not calculated.\n");
                    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
                    EXPECT_EQ(caught([&] { release->get_action_name(); }).getText(), e.getText());
                    const error internal = caught([&] { release->get_update_mode(); });
                    EXPECT_EQ(internal.getText(), internal_error("installer/Release.cpp", 319).getText());
                } else {
                    EXPECT_EQ(release->get_update_mode(), c.mode) << c.id;
                    EXPECT_EQ(release->get_update_mode_name(), c.mode_name) << c.id;
                    EXPECT_EQ(release->get_action_name(), c.action_name) << c.id;
                }
            }
        },
        privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(ReleaseTest, NotInstalledProduct)
{
    Repository empty;
    const boost::shared_ptr<Product> product = makeProduct({{ABSENT_A}});
    const boost::shared_ptr<Release> with_build = makeRelease(product, "r1", "18.0", "17.0");
    const boost::shared_ptr<Release> without_build = makeRelease(product, "r2", "18.0", "17.0", false);
    empty.findNewest("dpkg");  // builds the name index now, with its log line
    ChildResult result = runChecksInChild([&] {
        std::unique_ptr<LogFile> log(new LogFile);
        with_build->calculate_state(&empty);
        EXPECT_EQ(text(*log), "Release r1 is actual\nRelease r1 is currently not installed\n");
        EXPECT_EQ(with_build->get_update_mode(), Release::INSTALL);
        EXPECT_EQ(with_build->get_update_mode_name(), "install");
        EXPECT_EQ(with_build->get_action_name(), "install");
        EXPECT_FALSE(with_build->is_current());
        log.reset();  // its threshold returns before the next file takes over
        log.reset(new LogFile);
        without_build->calculate_state(&empty);
        EXPECT_EQ(text(*log), "Release r2 contains no build for this OS\n");
        EXPECT_FALSE(without_build->is_actual());
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(ReleaseTest, SecondComputationOverwrites)
{
    Repository empty;
    std::unique_ptr<Repository> installed(repositoryWith("key", "18.0.50"));
    const boost::shared_ptr<Product> product = makeProduct({{"key"}});

    const boost::shared_ptr<Release> same = makeRelease(product, "same", "18.0.50", "17.0");
    same->calculate_state(installed.get());
    EXPECT_EQ(same->get_update_mode(), Release::UP2DATE);
    same->calculate_state(&empty);
    EXPECT_EQ(same->get_installed_version(), "");
    EXPECT_EQ(same->get_update_mode(), Release::INSTALL);

    // A release that became too old must not keep the mode of its earlier state.
    const boost::shared_ptr<Release> older = makeRelease(product, "older", "17.5.3", "17.0");
    older->calculate_state(&empty);
    EXPECT_EQ(older->get_update_mode(), Release::INSTALL);
    older->calculate_state(installed.get());
    EXPECT_FALSE(older->is_actual());
    EXPECT_EQ(caught([&] { older->get_action_name(); }).getText(),
              "release Zanth 17.5.3: update mode is not calculated.\n");
}

TEST(ReleaseTest, MajorOrMinorUpgradeByTheFirstSegment)
{
    struct Case {
        std::string installed, release;
        Release::update_mode_t mode;
    };
    const std::vector<Case> cases = {
        {"17.8.11", "18.0.50", Release::MAJOR_UPGRADE}, {"18.0.50", "18.1.0", Release::MINOR_UPGRADE},
        {"17.8", "017.9", Release::MINOR_UPGRADE},      {"1:17.8-2", "1:17.9", Release::MINOR_UPGRADE},
        {"9.5", "10", Release::MAJOR_UPGRADE},          {"18", "18.0.1", Release::MINOR_UPGRADE},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Repository> repository(repositoryWith("key", c.installed));
        const boost::shared_ptr<Release> release = makeRelease(makeProduct({{"key"}}), "r", c.release, "1.0");
        release->calculate_state(repository.get());
        EXPECT_EQ(release->get_update_mode(), c.mode) << c.installed << " -> " << c.release;
    }
}

TEST(ReleaseTest, StateNotCheckedYet)
{
    const boost::shared_ptr<Release> release = makeRelease(makeProduct({{"key"}}), "r", "18.0", "17.0");
    EXPECT_EQ(release->get_state(), Release::NOT_CHECKED);
    for (const std::function<void()>& call : std::vector<std::function<void()>>{
             [&] { release->is_actual(); }, [&] { release->is_current(); }, [&] { release->get_update_mode(); }}) {
        const error e = caught(call);
        EXPECT_EQ(e.getText(), "release Zanth 18.0 installation state not checked yet\n");
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    }
}

TEST(ReleaseTest, ComponentUpdatesOnlyForTheInstalledRelease)
{
    std::unique_ptr<Repository> repository(repositoryWith("key", "18.0.50"));
    const boost::shared_ptr<Product> product = makeProduct({{"key"}});
    const boost::shared_ptr<Release> current = makeRelease(product, "cur", "18.0.50", "17.0");
    const boost::shared_ptr<Release> newer = makeRelease(product, "new", "18.1", "17.0");
    current->calculate_state(repository.get());
    newer->calculate_state(repository.get());
    for (const boost::shared_ptr<Release>& release : {current, newer}) {
        release->add_updated_component("panel");
        release->set_has_component_updates();
    }
    EXPECT_EQ(current->get_updated_components(), std::vector<std::string>{"panel"});
    EXPECT_TRUE(current->has_component_updates());
    EXPECT_EQ(current->get_update_mode_name(), "update");
    EXPECT_EQ(current->get_action_name(), "update");
    EXPECT_TRUE(newer->get_updated_components().empty());
    EXPECT_FALSE(newer->has_component_updates());
    EXPECT_EQ(newer->get_update_mode_name(), "update");
    EXPECT_EQ(newer->get_action_name(), "upgrade");
}

// Restores the run's tiers and command when a test changed them.
struct OptionsGuard {
    OptionsGuard() : tiers(Options::instance().releaseTiers), command(Options::instance().command) {}
    ~OptionsGuard()
    {
        Options::instance().releaseTiers = tiers;
        Options::instance().command = command;
    }
    const std::vector<std::string> tiers;
    const Options::CliCommand command;
};

TEST(ReleaseTest, VisibilityByHidePolicyTiersAndCommand)
{
    OptionsGuard guard;
    std::unique_ptr<Repository> repository(repositoryWith("key", "18.0.50"));
    const boost::shared_ptr<Product> product = makeProduct({{"key"}});
    enum Listing { FILTERED, ALL_TIERS_LISTED, NO_TIERS };
    struct Case {
        Release::hide_policy_t policy;
        std::string tags;
        int display_mode;
        Listing listing;
        bool visible;
    };
    const int cli = 1, web = 2, query = 4, filtered = 256, nonfiltered = 512, autoassigned = 1024;
    const int inanycase = 1792;
    const std::vector<Case> cases = {
        {0, "", cli, FILTERED, true},
        {cli, "", cli, FILTERED, true},  // a display mode alone hides nothing
        {cli, "", cli, NO_TIERS, true},
        {cli | inanycase, "", cli, FILTERED, false},
        {cli | inanycase, "", cli, NO_TIERS, false},
        {cli | inanycase, "beta", cli, ALL_TIERS_LISTED, false},
        {cli | inanycase, "", web, FILTERED, true},
        {web | autoassigned, "", web, FILTERED, false},
        {web | autoassigned, "", web, NO_TIERS, false},
        {web | autoassigned, "stable", web, FILTERED, true},  // an explicit tag, even "stable"
        {web | autoassigned, "", cli, FILTERED, true},
        {query | filtered, "beta", query, FILTERED, false},
        {query | filtered, "beta", query, ALL_TIERS_LISTED, true},
        {query | filtered, "beta", query, NO_TIERS, true},
        {query | nonfiltered, "beta", query, FILTERED, true},
        {query | nonfiltered, "beta", query, ALL_TIERS_LISTED, false},
        {query | nonfiltered, "beta", query, NO_TIERS, false},
        {15 | filtered, "beta", cli | web, FILTERED, false},
    };
    for (const Case& c : cases) {
        Options::instance().releaseTiers =
            c.listing == NO_TIERS ? std::vector<std::string>{} : std::vector<std::string>{"stable", "beta"};
        Options::instance().command =
            c.listing == ALL_TIERS_LISTED ? Options::SHOW_ALL_RELEASES : Options::SHOW_RELEASES;
        for (const char* version : {"18.1", "18.0.50"}) {
            const boost::shared_ptr<Release> release = makeRelease(product, "r", version, "17.0");
            release->set_hide_policy(c.policy);
            release->set_tags(c.tags);
            release->calculate_state(repository.get());
            // The installed release is always visible.
            EXPECT_EQ(release->is_visible(c.display_mode), c.visible || release->is_current())
                << "policy " << c.policy << " tags '" << c.tags << "' mode " << c.display_mode << " listing "
                << c.listing << " version " << version;
        }
    }
}

TEST(ReleaseTest, DisplayTagAndCaution)
{
    std::unique_ptr<Repository> repository(repositoryWith("key", "18.0.50"));
    const boost::shared_ptr<Product> product = makeProduct({{"key"}});
    const boost::shared_ptr<Release> newer = makeRelease(product, "new", "18.1", "17.0");
    const boost::shared_ptr<Release> current = makeRelease(product, "cur", "18.0.50", "17.0");
    for (const boost::shared_ptr<Release>& release : {newer, current}) {
        release->set_caution("Read the notes first.");
        release->calculate_state(repository.get());
    }
    EXPECT_EQ(newer->get_display_tag(), "stable");
    EXPECT_EQ(newer->get_caution(), "Read the notes first.");
    newer->set_tags("Beta");
    EXPECT_EQ(newer->get_display_tag(), "beta");
    newer->set_display_tag("testing");
    EXPECT_EQ(newer->get_display_tag(), "testing");

    current->set_display_tag("testing");
    EXPECT_EQ(current->get_display_tag(), "currently installed");
    EXPECT_EQ(current->get_caution(), "");
}

TEST(ReleaseTest, DetailsAddressInTheMessageLocale)
{
    const std::string url = "https://example.test/[LOCALE]/notes?[id]&lang=[LOCALE]&[LOCALE";
    struct Case {
        const char* locale;
        std::string value;
    };
    // ar_EG gives the catalog of the one Arabic translation, named "ar".
    for (const Case& c : std::vector<Case>{{"pt_BR.UTF-8", "pt-BR"},
                                           {"de_DE.UTF-8", "de-DE"},
                                           {"ar_EG.UTF-8", "ar"},
                                           {"ja_JP.UTF-8", "ja-JP"},
                                           {"C", "C"}}) {
        ChildOptions options;
        options.env = {{"LC_ALL", c.locale}, {"LANG", c.locale}};
        const ChildResult result = runChecksInChild(
            [&] {
                const boost::shared_ptr<Release> release = makeRelease(makeProduct({{"key"}}), "r", "18.0", "17.0");
                release->set_details_url(url);
                EXPECT_EQ(release->get_details_url(),
                          "https://example.test/" + c.value + "/notes?[id]&lang=" + c.value + "&[LOCALE");
            },
            options);
        EXPECT_EQ(result.exit_code, 0) << c.locale << ": " << result.out << result.err;
    }
}

TEST(ReleaseTest, IncompatibilityIsOneDirection)
{
    const boost::shared_ptr<Release> a = makeRelease(makeProduct({{"key"}}, {"other", "b"}, "a"), "ra", "1.0", "1.0");
    const boost::shared_ptr<Release> b = makeRelease(makeProduct({{"key"}}, {}, "b"), "rb", "1.0", "1.0");
    EXPECT_TRUE(a->is_incompatible_with(*b));
    EXPECT_FALSE(b->is_incompatible_with(*a));
    EXPECT_FALSE(a->is_incompatible_with(*a));
}

TEST(ReleaseTest, BestBuildForTheRunningSystem)
{
    const boost::shared_ptr<Product> product = makeProduct({{"key"}});
    const boost::shared_ptr<Release> none = makeRelease(product, "none", "18.0", "17.0", false);
    const boost::shared_ptr<Release> deprecated(new Release(product, "old", "", "", "18.0", "17.0"));
    const Opsys system;
    deprecated->add_build(boost::shared_ptr<Build>(new Build(deprecated, system->name, system->vendor, system->version,
                                                             system->arch, "", "", "dep.inf3", "true")));
    const ChildResult result = runChecksInChild([&] {
        std::unique_ptr<LogFile> log(new LogFile);
        EXPECT_FALSE(none->get_best_build(system));
        EXPECT_FALSE(none->has_supported_build(system));
        std::vector<std::string> lines = log->lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "Select best build of none for current OS");
        EXPECT_EQ(text(*log).find("has selected"), std::string::npos) << text(*log);

        log.reset();  // its threshold returns before the next file takes over
        log.reset(new LogFile);
        EXPECT_EQ(deprecated->get_best_build(system), *deprecated->get_builds().begin());
        EXPECT_FALSE(deprecated->has_supported_build(system));
        EXPECT_TRUE(log->has("The getBestBuild function has selected the build dep.inf3 for installation."))
            << text(*log);
        EXPECT_EQ(deprecated->find_build("dep.inf3"), *deprecated->get_builds().begin());
        EXPECT_FALSE(deprecated->find_build("other.inf3"));
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
