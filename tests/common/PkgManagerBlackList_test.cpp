// The resolver's black list, its spreading and the choice between conflicting packages, and the
// explanations of a failure.
#include <algorithm>
#include <functional>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/DependencyLogical.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/PkgManager.h"
#include "common/format_message.h"
#include "tests/support/LogFile.h"
#include "tests/support/ResolverFixture.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

boost::shared_ptr<Reason> clash(const Package* first, const Package* second)
{
    return boost::make_shared<ReasonClash>(first, second);
}

boost::shared_ptr<Reason> unresolved(const boost::shared_ptr<Dependency>& dependency)
{
    return boost::make_shared<ReasonUnresolved>(dependency);
}

int count(const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

std::string message(const char* key)
{
    return Messages().get(key);
}

// ---- black list ----

TEST(PkgManagerBlackListTest, WhatCountsAsBlack)
{
    ResolverWorld world({pkg("gone", "1.0", 'z'), pkg("lacking", "1.0", 'u', {"ghost"}), pkg("fine")});
    PkgManager& m = world.resolver({});
    LogFile log;
    EXPECT_TRUE(m.isBlack(world.get("gone", "1.0", 'z')));
    EXPECT_TRUE(log.has(" [black REMOVED] gone-1.0.amd64"));
    EXPECT_TRUE(m.isBlack(world.get("gone", "1.0", 'z'), true));
    EXPECT_EQ(count(log.lines(), " [black REMOVED] gone-1.0.amd64"), 1);
    // An unresolved package is not black, which is worth a line even when quiet.
    EXPECT_FALSE(m.isBlack(world.get("lacking"), true));
    EXPECT_TRUE(log.has(" [error: non black but unresolved] lacking-1.0.amd64"));
    EXPECT_FALSE(m.isBlack(world.get("fine")));
}

TEST(PkgManagerBlackListTest, AppendingABlackPackageAgainDoesNotRestart)
{
    ResolverWorld world({pkg("x")});
    PkgManager& m = world.resolver({});
    const Package* x = world.get("x");
    EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.appendBlackPackage(x, clash(x, x)); }));
    LogFile log;
    m.appendBlackPackage(x, clash(x, x));
    EXPECT_TRUE(log.has(" DEBUG: something wrong happened. x-1.0.amd64 is already in black list!"));
    m.addBlackPackage(x, clash(x, x));
    EXPECT_TRUE(log.has("already in blacklisted, skip"));
    EXPECT_EQ(m.blackList.size(), 1u);
}

// Black-listing lib spreads to its twin of the same name, version and architecture, and to the
// requirer whose requirement only lib and its twin resolve; not to the other architecture, and
// not to a requirer that the other architecture still serves.
TEST(PkgManagerBlackListTest, SpreadingToTwinsAndOrphanedRequirers)
{
    ResolverWorld world({pkg("lib", "1.0", 'u', {"ghost"}, {"libfeature"}),
                         pkg("lib", "1.0", 't', {"ghost"}, {"libfeature"}),
                         pkg("lib", "1.0", 'u', {"ghost"}, {}, {}, "i386"), pkg("user", "1.0", 'u', {"lib"}),
                         pkg("featured", "1.0", 'u', {"libfeature"})});
    const Package* lib = world.get("lib");
    const Package* twin = world.get("lib", "1.0", 't');
    PkgManager& m = world.resolver({});
    LogFile log;
    EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.appendBlackPackage(lib, unresolved(lib->getRequire(0))); }));
    EXPECT_EQ(m.blackList.size(), 3u);
    ASSERT_TRUE(m.blackList.count(twin));
    const ReasonUnresolved* twinReason = dynamic_cast<const ReasonUnresolved*>(m.blackList[twin].get());
    ASSERT_TRUE(twinReason);
    EXPECT_EQ(twinReason->dependency, twin->getRequire(0));  // the twin's own requirement
    ASSERT_TRUE(m.blackList.count(world.get("featured")));
    EXPECT_EQ(printed(m.blackList[world.get("featured")]), "dependency 'libfeature' is unresolved");
    EXPECT_FALSE(m.blackList.count(world.get("lib", "1.0", 'u', "i386")));
    EXPECT_FALSE(m.blackList.count(world.get("user")));
    EXPECT_TRUE(log.has("Black list package lib-1.0.amd64 too (same name,ver,arch)"));
    EXPECT_TRUE(
        log.has("Add package featured-1.0.amd64 to black list because its dependency 'libfeature' resolved "
                "only by black-listed package lib-1.0.amd64."));
    EXPECT_TRUE(log.has("appendBlackPackage: throw unhappy exception"));
    EXPECT_TRUE(log.has("DEBUG: function exception [appendBlackPackage lib-1.0.amd64]"));
}

TEST(PkgManagerBlackListTest, ClashReasonsSpreadWithTheTwinFirst)
{
    ResolverWorld world({pkg("lib"), pkg("lib", "1.0", 't'), pkg("rival")});
    const Package* lib = world.get("lib");
    const Package* twin = world.get("lib", "1.0", 't');
    const Package* rival = world.get("rival");
    PkgManager& m = world.resolver({});
    EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.appendBlackPackage(lib, clash(rival, lib)); }));
    EXPECT_EQ(printed(m.blackList[lib]), "lib-1.0.amd64 is conflicting with newly installed rival-1.0.amd64");
    EXPECT_EQ(printed(m.blackList[twin]), "lib-1.0.amd64 is conflicting with newly installed rival-1.0.amd64");
    const boost::shared_ptr<Reason> lines = boost::make_shared<ReasonReport>(std::list<std::string>{"a", "b"});
    EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.appendBlackPackage(rival, lines); }));
    EXPECT_EQ(m.blackList[rival], lines);  // the same object
    EXPECT_EQ(printed(lines), "a;b;");
}

TEST(PkgManagerBlackListTest, UnresolvableDependencyOfADummyFails)
{
    ResolverWorld world({pkg("x")});
    PkgManager& m = world.resolver({});
    boost::shared_ptr<Dependency> orphan(new DependencyLogical("ghost", nullptr));
    LogFile log;
    error e = caught([&] { m.blackListMasterAndThrowUnhappy(orphan); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
    EXPECT_EQ(e.getText(), "Can't find solution for 'ghost' of dummy_masterpackage_for_dependency-1.2.3.\n");
    EXPECT_TRUE(log.has("DEBUG: function exception [blackListMasterAndThrowUnhappy]"));
    EXPECT_TRUE(m.blackList.empty());
}

TEST(PkgManagerBlackListTest, RequestedPackageFailsWithItsExplanation)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"ghost"})});
    const Package* app = world.get("app");
    PkgManager& m = world.resolver({app});
    LogFile log;
    error e = caught([&] { m.blackListMasterAndThrowUnhappy(app->getRequire(0)); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 3));
    EXPECT_EQ(e.getText(), "Unable to install the \"app-1.0.amd64\" package.\n");
    EXPECT_TRUE(log.has("The requested package \"app\" could not be installed: dependency 'ghost' is unresolved"));
    EXPECT_TRUE(log.has("    ---- start dependency problems explanation -----"));
    EXPECT_TRUE(log.has("Solution for dependency 'ghost' is not available."));
    const std::string unresolvedText = format_message(message("err_dep_from_pkg_unresolved"), "app-1.0.amd64", "ghost");
    const std::string noResolver = format_message(message("err_deps_install_build"), "ghost", "app-1.0.amd64");
    EXPECT_EQ(m.report, (std::list<std::string>{unresolvedText, noResolver + "\n"}));
}

TEST(PkgManagerBlackListTest, RequestedPackageReplacedByANewerOneIsNoFailure)
{
    ResolverWorld world({pkg("x", "1.0"), pkg("x", "2.0"), pkg("y")});
    const Package* older = world.get("x", "1.0");
    PkgManager& m = world.resolver({older});
    LogFile log;
    m.addBlackPackage(older, clash(older, world.get("x", "2.0")));
    EXPECT_TRUE(m.blackList.count(older));
    EXPECT_TRUE(log.has("Allow to replace build packagex-1.0.amd64"));
    EXPECT_TRUE(log.has("  with newer package x-2.0.amd64"));
    // A clash reason naming the requested package second is a programming error.
    PkgManager& other = world.resolver({older});
    error e = caught([&] { other.addBlackPackage(older, clash(world.get("y"), older)); });
    EXPECT_NE(e.getText().find(", common/PkgManager, line 2835."), std::string::npos) << e.getText();
}

TEST(PkgManagerBlackListTest, NewerNonBlackPackage)
{
    ResolverWorld world({pkg("x", "1.0"), pkg("x", "2.0"), pkg("x", "3.0")});
    PkgManager& m = world.resolver({});
    EXPECT_EQ(m.findNewerNonBlackPackage(world.get("x", "1.0")), world.get("x", "3.0"));
    m.blackList[world.get("x", "3.0")] = nullptr;
    EXPECT_EQ(m.findNewerNonBlackPackage(world.get("x", "1.0")), world.get("x", "2.0"));
    EXPECT_EQ(m.findNewerNonBlackPackage(world.get("x", "2.0")), nullptr);
}

TEST(PkgManagerBlackListTest, BlackListUnresolved)
{
    ResolverWorld world({pkg("lacking", "1.0", 'u', {"ghost"}), pkg("fine")});
    PkgManager& m = world.resolver({});
    m.blackListUnresolved();
    ASSERT_EQ(m.blackList.size(), 1u);
    EXPECT_EQ(printed(m.blackList[world.get("lacking")]), "dependency 'ghost' is unresolved");
}

// ---- conflicting packages ----

TEST(PkgManagerBlackListTest, SelectBlackPackageByRequestAndByStatistics)
{
    // "a" and "b" both provide "svc" and conflict; "b" needs one package more.
    ResolverWorld world({pkg("app", "1.0", 'u', {"svc"}), pkg("a", "1.0", 'u', {}, {"svc"}, {"b"}),
                         pkg("b", "1.0", 'u', {"extra"}, {"svc"}), pkg("extra")});
    const Package* a = world.get("a");
    const Package* b = world.get("b");
    LogFile log;
    EXPECT_EQ(world.resolver({a, b}).selectBlackPackage(a, b, clash(a, b)), 2);
    EXPECT_TRUE(log.has("selectBlackPackage: both packages is requested to be installed"));
    EXPECT_EQ(world.resolver({a}).selectBlackPackage(a, b, clash(a, b)), 1);
    EXPECT_TRUE(log.has("  selectBlackPackage: package a-1.0.amd64 is requested to install"));
    EXPECT_EQ(world.resolver({b}).selectBlackPackage(a, b, clash(a, b)), 0);

    PkgManager& m = world.resolver({world.get("app")});
    EXPECT_EQ(m.selectBlackPackage(b, a, clash(b, a)), 0);
    EXPECT_TRUE(log.has("selectBlackPackage: b-1.0.amd64 or a-1.0.amd64: select with pre-resolving"));
    EXPECT_TRUE(log.has("  selectBlackPackage: with b-1.0.amd64 great packages to install."));
    EXPECT_EQ(m.selectBlackPackage(a, b, clash(a, b)), 1);
    EXPECT_TRUE(m.blackList.empty());  // what trials black-list stays theirs
    EXPECT_EQ(Log::depth, 0);
}

// "c" and "d" cannot work: a trial that has only them for "svc" fails.
TEST(PkgManagerBlackListTest, SelectBlackPackageByFailingTrials)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"svc"}), pkg("a", "1.0", 'u', {}, {"svc"}),
                         pkg("c", "1.0", 'u', {"ghost"}, {"svc"}), pkg("d", "1.0", 'u', {"ghost"}, {"svc"})});
    const Package* a = world.get("a");
    const Package* c = world.get("c");
    const Package* d = world.get("d");
    PkgManager& m = world.resolver({world.get("app")});
    LogFile log;
    EXPECT_EQ(m.selectBlackPackage(a, c, clash(a, c)), 1);
    EXPECT_TRUE(log.has("  selectBlackPackage: resolving with c-1.0.amd64 ends with error."));
    EXPECT_TRUE(log.has("Resolving fake2 ends with error: Unable to install the \"app-1.0.amd64\" package."));
    EXPECT_EQ(m.selectBlackPackage(c, a, clash(c, a)), 0);
    EXPECT_TRUE(log.has("Resolving fake1 ends with error: Unable to install the \"app-1.0.amd64\" package."));
    m.blackList[a] = nullptr;
    EXPECT_EQ(m.selectBlackPackage(c, d, clash(c, d)), 2);
    EXPECT_TRUE(log.has("selectBlackPackage: both branch of resolving ends with error"));
    EXPECT_EQ(m.blackList.size(), 1u);
}

// Without start packages (the installer's own use) there is nothing to resolve in the trials:
// the conflict is settled by the tie-break instead of failing.
TEST(PkgManagerBlackListTest, SelectBlackPackageWithoutStartPackages)
{
    ResolverWorld world({pkg("a", "1.0", 'u', {}, {}, {"b"}), pkg("b")});
    const Package* a = world.get("a");
    const Package* b = world.get("b");
    PkgManager& m = world.resolver({});
    EXPECT_EQ(m.selectBlackPackage(a, b, clash(a, b)), std::less<const Package*>()(b, a) ? 1 : 0);
}

TEST(PkgManagerBlackListTest, EqualTrialsDecideByAddress)
{
    ResolverWorld world(
        {pkg("app", "1.0", 'u', {"svc"}), pkg("a", "1.0", 'u', {}, {"svc"}), pkg("b", "1.0", 'u', {}, {"svc"})});
    const Package* a = world.get("a");
    const Package* b = world.get("b");
    PkgManager& m = world.resolver({world.get("app")});
    LogFile log;
    EXPECT_EQ(m.selectBlackPackage(a, b, clash(a, b)), std::less<const Package*>()(b, a) ? 1 : 0);
    EXPECT_EQ(m.selectBlackPackage(b, a, clash(b, a)), std::less<const Package*>()(a, b) ? 1 : 0);
    EXPECT_TRUE(log.has("  selectBlackPackage: compare by index."));
}

// Two requested packages that conflict: the first of them is black-listed, which fails.
TEST(PkgManagerBlackListTest, ConflictingRequestedPackagesFail)
{
    ResolverWorld world({pkg("a", "1.0", 'u', {}, {}, {"b"}), pkg("b")});
    const Package* a = world.get("a");
    const Package* b = world.get("b");
    PkgManager& m = world.resolver({a});
    m.addRequestedPackages({b});
    LogFile log;
    error e = caught([&] { m.appendNecessaryPackage(b, false); });
    EXPECT_EQ(e.getText(), "Unable to install the \"a-1.0.amd64\" package.\n");
    EXPECT_TRUE(
        log.has("Can't select which of conflicting packages add to blacklist: a-1.0.amd64 or b-1.0.amd64: "
                "adding them both."));
    EXPECT_TRUE(log.has("Unable to install both a-1.0.amd64 and b-1.0.amd64 because they conflict with each other."));
}

// ---- explanations ----

// "app" needs "svc", whose only provider "impl" lost a clash.
TEST(PkgManagerReportTest, ExplanationFollowsTheChainOfReasons)
{
    ResolverWorld world(
        {pkg("app", "1.0", 'u', {"svc"}), pkg("impl", "1.0", 'u', {}, {"svc"}, {"rival"}), pkg("rival")});
    const Package* app = world.get("app");
    const Package* impl = world.get("impl");
    PkgManager& m = world.resolver({app});
    m.blackList[impl] = clash(impl, world.get("rival"));
    m.blackList[app] = unresolved(app->getRequire(0));
    Messages().getLocale();  // the catalog's first use logs its own lines
    LogFile log;
    PkgManager::package_set_t visited;
    m.explainProblem(app, visited);
    const std::vector<std::string> lines = log.lines();
    const std::vector<std::string> expected = {
        "Searching problems for the \"app\" package.",
        "    app-1.0.amd64: No suitable solutions were found",
        "for the \"svc\" dependency.",
        "",
        "    The \"impl-1.0.amd64\" package resolves \"svc\".",
        "Searching problems for the \"impl\" package.",
        "Packages \"impl-1.0.amd64\" and \"rival-1.0.amd64\" cannot be installed at the same time",
        "because \"impl-1.0.amd64\" conflicts with \"rival\".",
    };
    // The explanation, from its first line on, without the trace.
    std::vector<std::string> told;
    for (const std::string& line : lines)
        if (line.compare(0, 6, "DEBUG:") != 0 && (!told.empty() || line == expected.front()))
            told.push_back(line);
    ASSERT_GE(told.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(told.begin(), told.begin() + expected.size()), expected);
    EXPECT_EQ(m.report.size(), 2u);
}

TEST(PkgManagerReportTest, PackagesRequiringEachOtherAreExplainedOnce)
{
    ResolverWorld world({pkg("a", "1.0", 'u', {"b"}), pkg("b", "1.0", 'u', {"a"})});
    const Package* a = world.get("a");
    const Package* b = world.get("b");
    PkgManager& m = world.resolver({});
    m.blackList[a] = unresolved(a->getRequire(0));
    m.blackList[b] = unresolved(b->getRequire(0));
    LogFile log;
    PkgManager::package_set_t visited;
    m.explainProblem(a, visited);
    EXPECT_EQ(count(log.lines(), "Searching problems for the \"a\" package."), 1);
    EXPECT_EQ(count(log.lines(), "Searching problems for the \"b\" package."), 1);
    EXPECT_EQ(visited, (PkgManager::package_set_t{a, b}));
    PkgManager::package_set_t none;
    PkgManager& fresh = world.resolver({});
    fresh.explainProblem(a, none);
    EXPECT_TRUE(log.has("There is no explanation for the \"a\" package."));
    EXPECT_TRUE(none.empty());
}

struct ClashCase {
    const char* what;
    std::vector<UniversePackage> packages;
    std::vector<std::string> first;  // name, version
    std::vector<std::string> second;
    std::string text;
};

TEST(PkgManagerReportTest, ClashTexts)
{
    const std::string md5 = "5:0123456789abcdef0123456789abcdef";
    const std::string otherMd5 = "5:fedcba9876543210fedcba9876543210";
    const ClashCase cases[] = {
        {"downgrade",
         {pkg("x", "1.0"), pkg("x", "2.0")},
         {"x", "1.0"},
         {"x", "2.0"},
         "Unable to downgrade the 'x' package to version 1.0:\n  version 2.0 is currently installed.\n"},
        {"no explanation",
         {pkg("a"), pkg("b")},
         {"a", "1.0"},
         {"b", "1.0"},
         "Packages \"a-1.0.amd64\" and \"b-1.0.amd64\" cannot be installed at the same time\n.\n"},
        {"shared file",
         {pkg("a", "1.0", 'u', {}, {"/usr/bin/tool\nm:33261\n" + md5}),
          pkg("b", "1.0", 'u', {}, {"/usr/bin/tool\nm:33261\n" + otherMd5})},
         {"a", "1.0"},
         {"b", "1.0"},
         "Packages \"a-1.0.amd64\" and \"b-1.0.amd64\" cannot be installed at the same time\n"
         "because of the conflict with the file \"/usr/bin/tool\"\n"},
        {"conflicts entry of the second, with the reasons of the choice",
         {pkg("a"), pkg("b", "1.0", 'u', {}, {}, {"a < 2.0"}), pkg("needs-a", "1.0", 'u', {"a"}),
          pkg("needs-b", "1.0", 'u', {"b"})},
         {"a", "1.0"},
         {"b", "1.0"},
         "Packages \"a-1.0.amd64\" and \"b-1.0.amd64\" cannot be installed at the same time\n"
         "because \"b-1.0.amd64\" conflicts with \"a < 2.0\".\n"
         "The package \"a-1.0.amd64\" was chosen because of the following dependencies:\n"
         "    \"a\" from \"needs-a-1.0.amd64\"\n"
         "The package \"b-1.0.amd64\" was chosen because of the following dependencies:\n"
         "    \"b\" from \"needs-b-1.0.amd64\"\n"},
    };
    for (const ClashCase& c : cases) {
        SCOPED_TRACE(c.what);
        ResolverWorld world(c.packages);
        PkgManager& m = world.resolver({});
        for (const Package* p : world.repository.getPackages())
            world.necessary.push_back(p);
        m.explainClash(world.get(c.first[0], c.first[1]), world.get(c.second[0], c.second[1]));
        EXPECT_EQ(m.report, std::list<std::string>{c.text});
    }
}

TEST(PkgManagerReportTest, ReportShowsThreeLinesAndPointsToTheLogFromFour)
{
    ResolverWorld world({pkg("x")});
    PkgManager& m = world.resolver({});
    LogFile log;
    const std::string head = "\n\n" + message("deps_report_head") + "\n";
    m.report = {"only"};
    EXPECT_EQ(m.getReport(), head + "only\n");
    m.report = {"one", "two", "three"};
    EXPECT_EQ(m.getReport(), head + "1) one\n2) two\n3) three\n");
    m.report.push_back("four");
    EXPECT_EQ(m.getReport(), head + "1) one\n2) two\n3) three\n" +
                                 format_message(message("deps_long_report"), Log::getFileName()) + "\n");
    EXPECT_TRUE(log.has("4)four"));
    EXPECT_TRUE(log.has("1)one"));
}

// The second requirement needs the newer "lib": the older one, chosen first, is black-listed and
// the installer tries again.
TEST(PkgManagerReportTest, InstallerPatternRestartsUntilItSucceeds)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"lib", "libfeature >= 2.0"}), pkg("lib", "1.0", 's'),
                         pkg("lib", "2.0", 'u', {"ghost"}, {"libfeature = 2.0"})});
    cpkgs_t result;
    LogFile log;
    EXPECT_EQ(resolveLikeInstaller(world.repository, {world.get("app")}, world.get("app"), result), 2);
    EXPECT_TRUE(log.has("In prepareInstallGroup: resolver failed, will try again now"));
    // Only the package's own requirements: the installer expands one package at a time.
    EXPECT_EQ(result, cpkgs_t{world.get("lib", "2.0")});
}

}  // namespace
