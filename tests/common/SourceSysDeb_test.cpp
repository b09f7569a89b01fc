#include "common/SourceSysDeb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/textutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DpkgDatabase.h"

namespace {

// "name version arch" of every package, one line each, sorted.
std::string describe(Repository& repository)
{
    std::vector<std::string> lines;
    for (const Package* pkg : repository.getPackages())
        lines.push_back(std::string(pkg->getName().c_str()) + " " + pkg->getVersion().toString() + " " +
                        pkg->getArch().c_str());
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

TEST(SourceSysDebTest, InstalledPackagesOfThisSystem)
{
    // Listed: whatever dpkg calls "install ok" or "hold ok"; never "deinstall ok config-files" and the like.
    const std::string expected = shellOutput(
        "dpkg-query -W -f='${Status}|${Package} ${Version} ${Architecture}\\n' | "
        "grep -E '^(install|hold) ok ' | cut -d'|' -f2 | LC_ALL=C sort");
    ASSERT_FALSE(expected.empty());
    const ChildResult result = runInChild(
        [] {
            Repository repository;
            SourceSysDeb source(&repository);
            repository.getBriefPackagesInfo();
            for (const Package* pkg : repository.getPackages())
                if (pkg->getType() != 's' || pkg->getSource() != &source ||
                    pkg->getFileName() != std::string(pkg->getName().c_str()) + "_installed.deb" ||
                    !dynamic_cast<const DebVersion*>(&pkg->getVersion()))
                    return 2;
            std::cout << describe(repository);
            ProgressStatusGuard guard;
            std::cerr << "step " << guard.data().step_id << "|" << guard.data().step_title << "|";
            return 0;
        },
        privateProgressOptions());
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, expected);
    const std::string& title = Messages().get("check_system_packages");
    EXPECT_NE(result.err.find("step check_system_packages|" + title + "|"), std::string::npos);
}

// A dpkg database of our own, seen by the child in place of the system's.
class SourceSysDebFixtureTest : public testing::Test {
protected:
    ChildResult run(const std::function<int()>& body, const std::vector<std::pair<std::string, const char*>>& env = {})
    {
        ChildOptions options = privateProgressOptions();
        database.useIn(options);
        options.env = env;
        return runInChild(body, options);
    }

    DpkgDatabase database;
    const std::string dir = database.path();
};

TEST_F(SourceSysDebFixtureTest, StatusesAndProvides)
{
    database.writeStatus(
        DpkgDatabase::entry("alpha", "install ok installed", "1:2.3-4ubuntu1", "Provides: a, b (= 1.0)\n") +
        DpkgDatabase::entry("beta", "hold ok installed", "0.5") +
        DpkgDatabase::entry("gamma", "deinstall ok config-files", "3.0") +
        DpkgDatabase::entry("delta", "install ok unpacked", "2") +
        DpkgDatabase::entry("epsilon", "purge ok not-installed", ""));
    const ChildResult result = run([] {
        Repository repository;
        SourceSysDeb source(&repository);
        source.loadBrief();
        std::cout << describe(repository);
        const Package* alpha = repository.findNewest("alpha");
        for (uint32_t i = 0; boost::shared_ptr<Dependency> provide = alpha->getProvide(i); ++i)
            std::cout << "provide " << provide->getName() << "\n";
        std::cout << "beta provides " << !repository.findNewest("beta")->getProvide(0) << "\n";
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "alpha 1:2.3-4ubuntu1 amd64\nbeta 0.5 amd64\ndelta 2 amd64\nprovide a\nprovide b\nbeta provides 1\n");
}

TEST_F(SourceSysDebFixtureTest, BadRecordKeepsItsCodesAndGetsTheContext)
{
    database.writeStatus(DpkgDatabase::entry("alpha", "install ok installed", "1.0") +
                         DpkgDatabase::entry("zeta", "install ok half-installed", ""));
    const ChildResult result = run([] {
        Repository repository;
        SourceSysDeb source(&repository);
        try {
            repository.getBriefPackagesInfo();
        } catch (const error& e) {
            std::cout << e.e_class << e.e_rep << e.e_sys << e.e_supp << "|" << e.getText() << "|"
                      << repository.getPackages().size();
        }
        return 0;
    });
    EXPECT_EQ(result.out,
              "1113|" + Messages().get("err_deb_info_brief") + "\n" + Messages().get("err_cache_pkgvers") + "\n|1")
        << result.err;
}

TEST_F(SourceSysDebFixtureTest, FailingPipeline)
{
    database.writeStatus(DpkgDatabase::entry("alpha", "install ok installed", "1.0"));
    // Each tool of the pipeline in turn does its work and then fails, found first on the path.
    for (const char* tool : {"dpkg-query", "awk"}) {
        const std::string bin = dir + "/bin-" + tool;
        mkdir(bin.c_str(), 0755);
        std::ofstream(bin + "/" + tool) << "#!/bin/sh\n/usr/bin/" << tool << " \"$@\"\nexit 3\n";
        chmod((bin + "/" + tool).c_str(), 0755);
        const std::string path = "/var/lib/dpkg/bin-" + std::string(tool) + ":" + std::string(getenv("PATH"));
        const ChildResult result = run(
            [] {
                Repository repository;
                SourceSysDeb source(&repository);
                for (int attempt = 0; attempt < 2; ++attempt) {
                    try {
                        source.loadBrief();
                    } catch (const error& e) {
                        std::cout << e.e_class << e.e_rep << e.e_sys << e.e_supp << "|" << e.getText() << "|"
                                  << repository.getPackages().size() << "|";
                    }
                }
                return 0;
            },
            {{"PATH", path.c_str()}});
        // The packages read stay, and the load is tried again.
        const std::string failure = "4222|" + Messages().get("err_deb_info_brief") + "\ndpkg-query command failed\n|";
        EXPECT_EQ(result.out, failure + "1|" + failure + "2|") << tool << ": " << result.err;
    }
}

TEST_F(SourceSysDebFixtureTest, VersionStraightFromTheDatabase)
{
    database.writeStatus(DpkgDatabase::entry("alpha", "install ok installed", "1:2.3-4ubuntu1") +
                         DpkgDatabase::entry("beta", "hold ok installed", "0.5") +
                         DpkgDatabase::entry("gamma", "deinstall ok config-files", "3.0") +
                         DpkgDatabase::entry("plain", "install ok installed", "7.1"));
    const ChildResult result = run([] {
        Log::consoleLevel = 3;
        Repository repository;
        SourceSysDeb source(&repository);
        for (const char* name : {"alpha", "beta", "gamma", "plain", "nosuch", "alpha beta", "alpha;touch /tmp/pwned"})
            std::cout << name << "=" << source.getPkgVersionFromSystemDirectly(name) << "|";
        std::cout << repository.getPkgVersionFromSystemDirectly("plain") << "|" << access("/tmp/pwned", F_OK);
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "alpha=1:2.3|beta=|gamma=|plain=7.1|nosuch=|alpha beta=|alpha;touch /tmp/pwned=|7.1|-1");
    EXPECT_NE(result.err.find("DEBUG: SourceSysDeb::getPkgVersionFromSystemDirectly alpha version 1:2.3 installed "
                              "in system\n"),
              std::string::npos);
    EXPECT_NE(result.err.find("DEBUG: SourceSysDeb::getPkgVersionFromSystemDirectly nosuch not installed in system\n"),
              std::string::npos);
}

}  // namespace
