#include "installer/Build.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Repository.h"
#include "common/textutils.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/LogFile.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

// The running system is detected once per process: every test that needs it, overridden or not,
// detects it in a child of its own.

struct BuildSpec {
    std::string vendor, version, arch, environment;
};

boost::shared_ptr<Release> makeRelease(const std::string& id, const std::string& name)
{
    boost::shared_ptr<Product> product(new Product("zanth", "Zanth", false, {{"key"}}, {}, {}, "", "", "", "", {}));
    return boost::shared_ptr<Release>(new Release(product, id, name, "", "18.0", "17.0"));
}

BuildList makeBuilds(const boost::shared_ptr<Release>& release, const std::vector<BuildSpec>& specs)
{
    BuildList builds;
    for (size_t i = 0; i < specs.size(); ++i) {
        const BuildSpec& spec = specs[i];
        builds.add(boost::shared_ptr<Build>(new Build(release, "Linux", spec.vendor, spec.version, spec.arch, "",
                                                      spec.environment, "b" + std::to_string(i) + ".inf3", "")));
    }
    return builds;
}

// Runs the body in a child whose running system is the given one, forced through the overrides.
void onSystem(const ForcedSystem& system, const std::function<void()>& body)
{
    const ChildResult result = runChecksOnSystem(system, body);
    EXPECT_EQ(result.exit_code, 0) << system.vendor << " " << system.version << ": " << result.out << result.err;
}

TEST(BuildTest, Description)
{
    const Build full(boost::shared_ptr<Release>(), "Linux", "Ubuntu", "22.04", "x86_64", "", "qz", "builds/x.inf3", "");
    EXPECT_EQ(printed(full), "build for Linux Ubuntu 22.04 x86_64 under qz (builds/x.inf3)");
    const Build plain(boost::shared_ptr<Release>(), "Linux", "Debian", "12", "aarch64", "", "", "", "");
    EXPECT_EQ(printed(plain), "build for Linux Debian 12 aarch64");
}

TEST(BuildTest, DeprecatedOnlyByTheExactText)
{
    for (const char* text : {"", "yes", "TRUE", "True", "true ", "1"})
        EXPECT_FALSE(Build(boost::shared_ptr<Release>(), "", "", "", "", "", "", "", text).isDeprecated()) << text;
    EXPECT_TRUE(Build(boost::shared_ptr<Release>(), "", "", "", "", "", "", "", "true").isDeprecated());
}

TEST(BuildTest, FindByConfigComparesBaseNames)
{
    const boost::shared_ptr<Release> release = makeRelease("r", "R");
    BuildList builds;
    for (const char* config : {"zanth/y.inf3", "zanth/x.inf3", "other/x.inf3"})
        builds.add(boost::shared_ptr<Build>(new Build(release, "Linux", "Debian", "12", "x86_64", "", "", config, "")));
    EXPECT_EQ(builds.findByConfig("x.inf3")->getConfig(), "zanth/x.inf3");
    EXPECT_EQ(builds.findByConfig("y.inf3")->getConfig(), "zanth/y.inf3");
    EXPECT_FALSE(builds.findByConfig("zanth/x.inf3"));
    EXPECT_FALSE(builds.findByConfig("z.inf3"));
}

TEST(BuildTest, CompatibleWithThisMachine)
{
    // The judges: the distribution's own release file and uname.
    std::string release;
    std::getline(std::ifstream("/etc/debian_version"), release);
    ASSERT_FALSE(release.empty());
    const std::string arch = trim(shellOutput("uname -m"));
    const std::string name = trim(shellOutput("uname -s"));
    const std::string major = major_version(release);
    const std::string other_major = std::to_string(std::stoi(major) + 1);
    struct Case {
        std::string name, vendor, version, arch, environment;
        bool compatible;
    };
    const std::vector<Case> cases = {
        {name, "Debian", release, arch, "", true},
        {name, "Debian", major, arch, "", true},  // major-version match
        {name, "Debian", major + ".99", arch, "", true},
        {name, "Debian", release, arch, "qz", true},  // the environment is no part of it
        {name, "Debian", other_major, arch, "", false},
        {name, "Ubuntu", release, arch, "", false},
        {name, "Debian", release, arch == "x86_64" ? "aarch64" : "x86_64", "", false},
        {"FreeBSD", "Debian", release, arch, "", false},
        {"", "Debian", release, arch, "", false},  // no leniency for empty fields
    };
    const ChildResult result = runChecksInChild([&] {
        const Opsys system;
        for (const Case& c : cases)
            EXPECT_EQ(Build(boost::shared_ptr<Release>(), c.name, c.vendor, c.version, c.arch, "", c.environment,
                            "x.inf3", "")
                          .isCompatible(system),
                      c.compatible)
                << c.name << " " << c.vendor << " " << c.version << " " << c.arch << " " << c.environment;
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(BuildTest, BestBuildUnderOtherSystems)
{
    struct Case {
        const char* what;
        ForcedSystem system;
        std::vector<BuildSpec> builds;
        int best;  // index of the expected build; -1: none
    };
    const std::vector<Case> cases = {
        {"major match, exact version wins",
         {"Linux", "Debian", "12.5", "x86_64", ""},
         {{"Debian", "12", "x86_64", ""}, {"Debian", "12.5", "x86_64", ""}},
         1},
        {"first compatible stays without an exact match",
         {"Linux", "CentOS", "7", "x86_64", ""},
         {{"CentOS", "7", "x86_64", ""}, {"CentOS", "7", "x86_64", "qz"}},
         0},
        {"the environment must match exactly too",
         {"Linux", "CentOS", "7", "x86_64", "qz"},
         {{"CentOS", "7", "x86_64", ""}, {"CentOS", "7", "x86_64", "qz"}},
         1},
        {"two exact matches: the later wins",
         {"Linux", "Debian", "12.5", "x86_64", ""},
         {{"Debian", "12.5", "x86_64", ""}, {"Debian", "12", "x86_64", ""}, {"Debian", "12.5", "x86_64", ""}},
         2},
        {"incompatible ones are passed over",
         {"Linux", "AlmaLinux", "9.3", "x86_64", ""},
         {{"Debian", "12", "x86_64", ""}, {"AlmaLinux", "8", "x86_64", ""}, {"AlmaLinux", "9", "x86_64", ""}},
         2},
        {"Ubuntu versions match only exactly",
         {"Linux", "Ubuntu", "22.10", "x86_64", ""},
         {{"Ubuntu", "22.04", "x86_64", ""}, {"Ubuntu", "22", "x86_64", ""}},
         -1},
        {"older x86 builds run on i686", {"Linux", "Debian", "12", "i686", ""}, {{"Debian", "12", "i386", ""}}, 0},
        {"none compatible", {"Linux", "Debian", "12", "x86_64", ""}, {{"Debian", "11", "x86_64", ""}}, -1},
    };
    for (const Case& c : cases) {
        onSystem(c.system, [&c] {
            const boost::shared_ptr<Release> release = makeRelease("r", "R");
            const BuildList builds = makeBuilds(release, c.builds);
            const Opsys system;
            const LogFile log;
            const boost::shared_ptr<Build> best = builds.getBestBuild(system);
            if (c.best < 0)
                EXPECT_FALSE(best) << c.what;
            else
                EXPECT_EQ(best, *(builds.begin() + c.best)) << c.what;

            std::vector<std::string> expected = {"DEBUG: BuildList::getBestBuild for '" + c.system.vendor + "' '" +
                                                 c.system.name + "' '" + c.system.version + "' '" + c.system.arch +
                                                 "'" + (c.system.environment.empty() ? "" : " under qz")};
            for (const boost::shared_ptr<Build>& build : builds)
                if (!build->isCompatible(system))
                    expected.push_back("DEBUG: " + printed(build) + " is not compatible");
            EXPECT_EQ(log.lines(), expected) << c.what;
        });
    }
}

TEST(BuildTest, ReleaseStateUnderAnotherSystem)
{
    // Debian builds only, on a CentOS system: no build for this OS; on Debian 12.5, a build for 12 fits.
    const boost::shared_ptr<Release> release = makeRelease("r", "R");
    release->add_build(
        boost::shared_ptr<Build>(new Build(release, "Linux", "Debian", "12", "x86_64", "", "", "d.inf3", "")));
    Repository empty;
    empty.findNewest("key");  // builds the name index now, with its log line
    onSystem({"Linux", "CentOS", "7", "x86_64", ""}, [&] {
        const LogFile log;
        release->calculate_state(&empty);
        EXPECT_FALSE(release->is_actual());
        EXPECT_EQ(log.lines(), std::vector<std::string>{"Release r contains no build for this OS"});
    });
    onSystem({"Linux", "Debian", "12.5", "x86_64", "qz"}, [&] {
        release->calculate_state(&empty);
        EXPECT_EQ(release->get_update_mode(), Release::INSTALL);
        EXPECT_EQ(release->get_best_build(Opsys())->getConfig(), "d.inf3");
    });
}

TEST(BuildTest, ParentsAndAttachedData)
{
    const boost::shared_ptr<Release> named = makeRelease("r18", "Zanth 18");
    const boost::shared_ptr<Release> unnamed = makeRelease("r19", "");
    boost::shared_ptr<Build> own(new Build(named, "Linux", "Debian", "12", "x86_64", "", "", "z/a.inf3", ""));
    named->add_build(own);
    boost::shared_ptr<Build> addon(
        new Build(boost::shared_ptr<Release>(), "Linux", "Debian", "12", "x86_64", "", "", "addon/a.inf3", ""));
    EXPECT_TRUE(own->isReleaseBuild());
    EXPECT_NE(caught([&] { addon->isReleaseBuild(); }).getText().find(", installer/Build.cpp, line "),
              std::string::npos);

    const ChildResult result = runChecksInChild([&] {
        const LogFile log;
        addon->changeParent(named);  // a first parent is not logged
        EXPECT_EQ(addon->getParent(), named);
        EXPECT_FALSE(addon->isReleaseBuild());
        addon->changeParent(unnamed);
        EXPECT_EQ(addon->getParent(), unnamed);
        own->changeParent(unnamed);
        EXPECT_FALSE(own->isReleaseBuild());
        EXPECT_EQ(log.lines(), (std::vector<std::string>{
                                   "DEBUG: Build (addon?) build for Linux Debian 12 x86_64 (addon/a.inf3) change "
                                   "parent from Zanth 18 to r19",
                                   "DEBUG: Build (addon?) build for Linux Debian 12 x86_64 (z/a.inf3) change parent "
                                   "from Zanth 18 to r19",
                               }));
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;

    // Packages accumulate; actions are replaced.
    const ExtCatalogPackage first("ext-a"), second("ext-b"), third("ext-c");
    own->attachBuildFileData({&first, &second}, {nullptr, nullptr});
    own->attachBuildFileData({&third}, {nullptr});
    EXPECT_EQ(own->getPackageElements(), (cpkgs_t{&first, &second, &third}));
    EXPECT_EQ(own->getActions().size(), 1u);
    own->attachBuildFileData({}, {});
    EXPECT_EQ(own->getPackageElements().size(), 3u);
    EXPECT_TRUE(own->getActions().empty());
}

TEST(BuildTest, HoldsItsBuildFileAndChecks)
{
    const std::string data = std::string(KW_TEST_DATA_DIR) + "/buildinf/";
    Build build(makeRelease("r", "R"), "Linux", "Debian", "12", "x86_64", "", "", "zanth/minimal.inf3", "");
    EXPECT_FALSE(build.getBuildFile());
    const boost::shared_ptr<BuildInfFile> first(new BuildInfFile(data + "minimal.xml", "minimal.inf3"));
    const boost::shared_ptr<BuildInfFile> second(new BuildInfFile(data + "minimal.xml", "minimal.inf3"));
    build.setBuildFile(first);
    build.setBuildFile(second);
    EXPECT_EQ(build.getBuildFile(), second);

    BuildInfFile::examine_t check;
    check.name = "disk";
    check.directory = "/tmp/zanth/";
    build.addExamine(check);
    check.name = "ports";
    build.addExamine(check);
    ASSERT_EQ(build.getExamine().size(), 2u);
    EXPECT_EQ(build.getExamine()[0].name, "disk");
    EXPECT_EQ(build.getExamine()[1].name, "ports");
    EXPECT_EQ(build.getExamine()[1].directory, "/tmp/zanth/");
}

}  // namespace
