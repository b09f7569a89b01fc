// The resolver's choices: same-name priorities, gravity, the levels of smartGravity, the tournament
// and the appending of packages to the necessary list.
#include <algorithm>

#include <gtest/gtest.h>

#include "common/DependencyLogical.h"
#include "common/Log.h"
#include "common/PkgManager.h"
#include "common/Repository.h"
#include "tests/support/LogFile.h"
#include "tests/support/ResolverFixture.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const PkgManager::Options INSTALL{PkgManager::RESOLVE_INSTALL, false, false};
const PkgManager::Options VERSION_FIRST{PkgManager::RESOLVE_INSTALL, true, false};
const PkgManager::Options RPMDEPS{PkgManager::RESOLVE_RPMDEPS, false, false};

// The lines of the log that record a decision of cmpPriority.
std::vector<std::string> priorityDecisions(const LogFile& log)
{
    std::vector<std::string> found;
    for (const std::string& line : log.lines())
        if (line.find("currBest by cmpPriority") != std::string::npos ||
            line.find("currTest by cmpPriority") != std::string::npos)
            found.push_back(line);
    return found;
}

struct PriorityCase {
    const char* what;
    PkgManager::Options options;
    const char* server;
    Package::type_t bestType;
    const char* bestVersion;
    const char* bestArch;
    Package::type_t testType;
    const char* testVersion;
    const char* testArch;
    int requested;  // 1 currBest, 2 currTest
    int expected;
    const char* line;  // the decision line, or "" for none
};

TEST(PkgManagerChoiceTest, CmpPriorityRulesInTheirOrder)
{
    const PriorityCase cases[] = {
        {"requested beats version", INSTALL, "amd64", 'u', "1.0", "amd64", 'u', "2.0", "amd64", 1, 1,
         "      select currBest by cmpPriority (requested)"},
        {"requested currTest", INSTALL, "amd64", 'u', "2.0", "amd64", 'u', "1.0", "amd64", 2, -1,
         "      reject currBest by cmpPriority (requested)"},
        {"installed beats OS repository before versions", INSTALL, "amd64", 's', "1.0", "amd64", 'u', "2.0", "amd64", 0,
         1, "      select currBest by cmpPriority (dir priority (1))"},
        {"OS repository beats third party", INSTALL, "amd64", 'u', "1.0", "amd64", 't', "2.0", "amd64", 0, 1,
         "      select currBest by cmpPriority (dir priority (1))"},
        {"a build package: versions first", INSTALL, "amd64", 'b', "1.0", "amd64", 's', "2.0", "amd64", 0, -1,
         "      reject currBest by cmpPriority (requested version)"},
        {"a build package of equal version: type", INSTALL, "amd64", 'b', "1.0", "amd64", 'u', "1.0", "amd64", 0, 1,
         "      select currBest by cmpPriority (dir priority (1))"},
        {"a code missing from the table loses", INSTALL, "amd64", 'x', "2.0", "amd64", 'u', "1.0", "amd64", 0, -1,
         "      reject currBest by cmpPriority (dir priority (1))"},
        {"two unlisted codes: version", INSTALL, "amd64", 'x', "1.0", "amd64", 'x', "2.0", "amd64", 0, -1,
         "      reject currBest by cmpPriority (version (2))"},
        {"i686 beats i586", INSTALL, "x86_64", 'u', "1.0", "i686", 'u', "1.0", "i586", 0, 1,
         "      select currBest by cmpPriority (arch priority (3))"},
        {"i386 server counts as i686", INSTALL, "i386", 'u', "1.0", "i586", 'u', "1.0", "i686", 0, -1,
         "      reject currBest by cmpPriority (arch priority (3))"},
        {"server architecture wins", INSTALL, "amd64", 'u', "1.0", "i386", 'u', "1.0", "amd64", 0, -1,
         "      reject currBest by cmpPriority (arch priority (3))"},
        {"powerpc server: no architecture order", INSTALL, "powerpc", 'u', "1.0", "i686", 'u', "1.0", "i586", 0, 0, ""},
        {"mode 0: version", RPMDEPS, "amd64", 'u', "1.0", "amd64", 'u', "2.0", "amd64", 0, -1,
         "      reject currBest by cmpPriority (rpmdeps version)"},
        {"mode 0: other architecture keeps currBest silently", RPMDEPS, "amd64", 'u', "1.0", "i386", 'u', "1.0",
         "amd64", 0, 1, ""},
        {"mode 0: its own type table", RPMDEPS, "amd64", 'u', "1.0", "amd64", 's', "1.0", "amd64", 0, 1,
         "      select currBest by cmpPriority (rpmdeps dir priority)"},
        {"version first", VERSION_FIRST, "amd64", 'u', "2.0", "amd64", 's', "1.0", "amd64", 0, 1,
         "      select currBest by cmpPriority (version (1))"},
        {"version first, then architecture", VERSION_FIRST, "amd64", 's', "1.0", "i386", 'u', "1.0", "amd64", 0, -1,
         "      reject currBest by cmpPriority (arch priority (2))"},
        {"nothing tells them apart", INSTALL, "amd64", 'x', "1.0", "amd64", 'x', "1.0", "amd64", 0, 0, ""},
    };
    for (const PriorityCase& c : cases) {
        SCOPED_TRACE(c.what);
        ResolverWorld world({pkg("n", c.bestVersion, c.bestType, {}, {}, {}, c.bestArch),
                             pkg("n", c.testVersion, c.testType, {}, {}, {}, c.testArch)});
        const Package* best = world.get("n", c.bestVersion, c.bestType, c.bestArch);
        const Package* test = world.get("n", c.testVersion, c.testType, c.testArch);
        PkgManager& m = world.resolver({}, c.options);
        m.osArch = c.server;
        if (c.requested)
            m.addRequestedPackages({c.requested == 1 ? best : test});
        LogFile log;
        const int r = m.cmpPriority(best, test);
        EXPECT_EQ((r > 0) - (r < 0), c.expected);
        const std::vector<std::string> decisions = priorityDecisions(log);
        if (*c.line)
            EXPECT_EQ(decisions, std::vector<std::string>{c.line});
        else
            EXPECT_TRUE(decisions.empty()) << decisions.front();
    }
}

TEST(PkgManagerChoiceTest, TypeAndArchitectureRulesRefuseWhatTheyCannotOrder)
{
    ResolverWorld world(
        {pkg("n", "1.0", 'd'), pkg("n", "1.0", 'z'), pkg("n", "1.0", 'u', {}, {}, {}, "i386"), pkg("n", "1.0", 'u')});
    const Package* dummy = world.get("n", "1.0", 'd');
    const Package* dropped = world.get("n", "1.0", 'z');
    const Package* i386 = world.get("n", "1.0", 'u', "i386");
    const Package* amd64 = world.get("n", "1.0", 'u', "amd64");
    PkgManager& m = world.resolver({});
    const std::pair<std::pair<const Package*, const Package*>, int> internal[] = {
        {{dummy, amd64}, 2357}, {{amd64, dummy}, 2358}, {{dropped, amd64}, 2360}, {{amd64, dropped}, 2361}};
    for (const auto& c : internal) {
        error e = caught([&] { m.cmpDirPriority(c.first.first, c.first.second); });
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_NE(e.getText().find(", common/PkgManager, line " + std::to_string(c.second) + "."), std::string::npos)
            << e.getText();
    }
    m.osArch = "";
    EXPECT_EQ(m.cmpArchPriority(amd64, amd64), 0);  // equal architectures need no server architecture
    error e = caught([&] { m.cmpArchPriority(i386, amd64); });
    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(e.getText(), "os_arch is not defined in packages resolver\n");
}

TEST(PkgManagerChoiceTest, ArchitectureCompatibility)
{
    EXPECT_TRUE(PkgManager::isArchCompatible("x86_64", "x86_64"));
    EXPECT_TRUE(PkgManager::isArchCompatible("i386", "i686"));
    EXPECT_TRUE(PkgManager::isArchCompatible("i586", "ix86"));
    EXPECT_FALSE(PkgManager::isArchCompatible("i386", "x86_64"));
    EXPECT_FALSE(PkgManager::isArchCompatible("i86", "i386"));
    EXPECT_FALSE(PkgManager::isArchCompatible("a386", "i386"));
}

// ---- smartGravity ----

// One comparison of two resolvers of "svc" on a level: the result and the decision line it logs.
struct GravityCase {
    const char* best;  // the package names (and versions) in the world
    const char* bestVersion;
    const char* test;
    const char* testVersion;
    int level;
    int expected;
    const char* line;  // "" where the level decides nothing
};

// Runs the cases against the requirement "svc" of "app".
void expectGravity(ResolverWorld& world, PkgManager& m, const std::vector<GravityCase>& cases)
{
    boost::shared_ptr<Dependency> svc = world.get("app")->getRequire(0);
    for (const GravityCase& c : cases) {
        SCOPED_TRACE(std::string(c.best) + " against " + c.test + " on level " + std::to_string(c.level));
        LogFile log;
        EXPECT_EQ(m.smartGravity(svc, world.get(c.best, c.bestVersion), world.get(c.test, c.testVersion), c.level),
                  c.expected);
        EXPECT_TRUE(!*c.line || log.has(std::string("      ") + c.line)) << c.line;
    }
}

// "best" and "test" provide "svc"; the world around them decides each level.
TEST(PkgManagerChoiceTest, SmartGravityLevels)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"svc"}), pkg("best", "2.0", 'u', {"dep"}, {"svc = 2.0"}),
                         pkg("test", "1.0", 'u', {"dep", "more"}, {"svc = 1.0"}), pkg("dep"), pkg("more"),
                         pkg("test", "0.5", 's', {}, {"svc = 0.5"})});
    PkgManager& m = world.resolver({world.get("app")});

    expectGravity(
        world, m,
        {
            {"best", "2.0", "test", "1.0", 1, 0, ""},
            {"best", "2.0", "test", "1.0", 0, 0, ""},
            {"best", "2.0", "test", "1.0", 2, -1, "reject currBest: currTest has some version already installed."},
            {"test", "1.0", "best", "2.0", 2, 1, "select currBest: it has some version already installed."},
            {"best", "2.0", "test", "1.0", 3, 0, ""},
            {"best", "2.0", "test", "1.0", 5, 1, "select currBest: satisfying logical provide has higher version."},
            {"test", "1.0", "best", "2.0", 5, -1,
             "reject currBest: satisfying logical provide of currTest has higher version."},
        });

    // A remover for the installed name in the necessary list turns the rule round.
    world.necessary.push_back(world.repository.addRemoverFor("test", ""));
    expectGravity(world, m,
                  {
                      {"test", "1.0", "best", "2.0", 2, -1, "reject currBest: currBest is obsoleted and installed."},
                      {"best", "2.0", "test", "1.0", 2, 1, "select currBest: currTest is obsoleted and installed."},
                  });
    world.necessary.pop_back();

    PkgManager::preferredPackages.insert("test");
    expectGravity(world, m,
                  {{"best", "2.0", "test", "1.0", 3, -1, "reject currBest: currTest is a preferred package."}});
    PkgManager::preferredPackages.erase("test");  // the set is the process's; leave it as found

    // A name the necessary list holds wins on every level, before the level's own rules.
    world.necessary.push_back(world.get("test"));
    std::vector<GravityCase> everyLevel;
    for (int level = 1; level <= 5; ++level)
        everyLevel.push_back(
            {"best", "2.0", "test", "1.0", level, -1, "reject currBest: currTest is already in necessaryList."});
    expectGravity(world, m, everyLevel);
}

TEST(PkgManagerChoiceTest, SmartGravityLevelTwoConflictsAndMissingRequirements)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"svc"}), pkg("a", "1.0", 'u', {}, {"svc"}, {"sys"}),
                         pkg("b", "1.0", 'u', {"missing"}, {"svc"}), pkg("c", "1.0", 'u', {"sys"}, {"svc"}),
                         pkg("sys", "1.0", 's'), pkg("missing")});
    PkgManager& m = world.resolver({world.get("app")});
    EXPECT_EQ(m.countUnsatisfiedRequires(world.get("b")), 1);
    EXPECT_EQ(m.countUnsatisfiedRequires(world.get("c")), 0);
    expectGravity(
        world, m,
        {
            {"a", "1.0", "b", "1.0", 2, -1, "reject currBest: currBest conflicts with system or necessary package."},
            {"b", "1.0", "a", "1.0", 2, 1, "select currBest: currTest conflicts with system or necessary package."},
            {"c", "1.0", "b", "1.0", 2, 1, "select currBest: we can install it without any packages."},
            {"b", "1.0", "c", "1.0", 2, -1, "reject currBest: we can install currTest without any packages."},
        });
}

TEST(PkgManagerChoiceTest, SmartGravityLevelFiveCountsRequirements)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"svc"}), pkg("few", "1.0", 'u', {"x"}, {"svc"}),
                         pkg("many", "1.0", 'u', {"x", "y"}, {"svc"}), pkg("x"), pkg("y")});
    PkgManager& m = world.resolver({world.get("app")});
    expectGravity(world, m,
                  {
                      {"many", "1.0", "few", "1.0", 5, -1, "reject currBest: currTest has less dependencies."},
                      {"few", "1.0", "many", "1.0", 5, 1, "select currBest: currTest has more dependencies."},
                      {"x", "1.0", "y", "1.0", 5, 0, ""},
                  });
}

// Level 4 resolves both choices in trials: lines written during a trial carry its depth.
TEST(PkgManagerChoiceTest, BranchCompareByTrials)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"svc"}), pkg("lean", "1.0", 'u', {}, {"svc"}),
                         pkg("heavy", "1.0", 'u', {"x", "y"}, {"svc"}), pkg("x"), pkg("y"),
                         pkg("broken", "1.0", 'u', {"ghost"}, {"svc"})});
    PkgManager& m = world.resolver({world.get("app")});
    boost::shared_ptr<Dependency> svc = world.get("app")->getRequire(0);
    {
        LogFile log;
        EXPECT_EQ(m.branchCompare(world.get("lean"), world.get("heavy")), 1);
        EXPECT_TRUE(log.has("      select currBest: less packages to install."));
        EXPECT_TRUE(log.has("#DEBUG: function entry [findNecessaryPackages]"));
        EXPECT_TRUE(log.has("#=== Package resolving sucessfuly ends ==="));
        EXPECT_EQ(m.smartGravity(svc, world.get("heavy"), world.get("lean"), 4), -1);
        EXPECT_TRUE(log.has("      reject currBest: more packages to install."));
    }
    {
        LogFile log;
        EXPECT_EQ(m.branchCompare(world.get("broken"), world.get("heavy")), -1);
        EXPECT_TRUE(log.has("      reject currBest by resolving of branch error."));
        EXPECT_TRUE(log.has("#DEBUG: function exception [findNecessaryPackages]"));
        // Branch B is not run.
        const std::vector<std::string> lines = log.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "#DEBUG: function entry [findNecessaryPackages]"), 1);
        EXPECT_EQ(Log::depth, 0);
        EXPECT_EQ(m.branchCompare(world.get("heavy"), world.get("broken")), 1);
        EXPECT_TRUE(log.has("      select currBest by resolving of currTest branch error."));
    }
    // The trials' black lists and results stay theirs.
    EXPECT_TRUE(m.blackList.empty());
    EXPECT_EQ(world.result(), "app-1.0");
}

// Both choices of "svc" and of "svc2" are in the list already, and each of them needs the other
// choice: a trial that appended a candidate again would expand it again and meet the other choice
// in a trial of its own, and so on without end. A candidate the list holds has nothing to resolve.
TEST(PkgManagerChoiceTest, BranchOfACandidateInTheListRunsNoTrial)
{
    ResolverWorld world({pkg("a", "1.0", 'u', {"svc2"}, {"svc"}), pkg("b", "1.0", 'u', {}, {"svc"}),
                         pkg("c", "1.0", 'u', {"svc"}, {"svc2"}), pkg("d", "1.0", 'u', {}, {"svc2"})});
    const cpkgs_t all{world.get("a"), world.get("b"), world.get("c"), world.get("d")};
    PkgManager& m = world.resolver(all);
    LogFile log;
    EXPECT_EQ(m.branchCompare(world.get("a"), world.get("b")), 0);
    m.findNecessaryPackages(false);
    EXPECT_EQ(world.necessary, all);
    EXPECT_TRUE(log.has("selectBestResolvers: can't resolve 'svc' on this level (4)"));
    for (const std::string& line : log.lines())
        EXPECT_NE(line[0], '#') << line;
}

// In mode 0 two different names without gravity get a "resolve to all" entry, so both are taken.
TEST(PkgManagerChoiceTest, ModeZeroResolvesConcurrentDependenciesToAll)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"m0-concurrent"}), pkg("one", "1.0", 'u', {}, {"m0-concurrent"}),
                         pkg("two", "1.0", 'u', {}, {"m0-concurrent"})});
    LogFile log;
    world.resolver({world.get("app")}, RPMDEPS).findNecessaryPackages(false);
    EXPECT_EQ(world.result(), "app-1.0 one-1.0 two-1.0");
    EXPECT_TRUE(log.has("Warning: concurrent dependency 'm0-concurrent' from app-1.0.amd64 without gravity."));
    EXPECT_TRUE(log.has("Add gravity 'to all' and try to continue resolving."));
    EXPECT_TRUE(log.has("The possible solutions are: 'one' 'two'"));
    EXPECT_TRUE(log.has("      select currBest by 'resolve to all' gravity"));
    auto entry = PkgManager::gravity.find(world.get("app")->getRequire(0));
    ASSERT_NE(entry, PkgManager::gravity.end());
    EXPECT_EQ(entry->second, "");
}

// ---- the tournament ----

TEST(PkgManagerTournamentTest, EqualSameNameResolversGoByIndex)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"twin"}), pkg("twin"), pkg("twin")});
    PkgManager& m = world.resolver({world.get("app")});
    boost::shared_ptr<Dependency> requirement = world.get("app")->getRequire(0);
    ASSERT_TRUE(requirement->getResolver(1));
    const Package* first = requirement->getResolver(0)->getOwner();
    ASSERT_NE(first, requirement->getResolver(1)->getOwner());
    LogFile log;
    EXPECT_TRUE(m.selectBestResolvers(requirement, false, 1, 0));
    EXPECT_EQ(world.necessary, (cpkgs_t{world.get("app"), first}));
    EXPECT_TRUE(log.has("      select currBest by index."));
    EXPECT_TRUE(log.has("      reject currBest by index."));
    EXPECT_TRUE(log.has("  package twin-1.0.amd64 is scheduled for addition to necessaryList"));

    EXPECT_TRUE(m.selectBestResolvers(requirement, false, 1, 0));
    EXPECT_TRUE(log.has("selectBestResolvers: resolve 'twin': is already resolved, skipped."));
    EXPECT_TRUE(m.selectBestResolvers(requirement, false, 1, 1));  // resolved again: nothing new
    EXPECT_EQ(world.necessary.size(), 2u);
    EXPECT_TRUE(log.has(" is already in list, skip."));
}

TEST(PkgManagerTournamentTest, TieReturnsFalseAndAppendsNothing)
{
    ResolverWorld world(
        {pkg("app", "1.0", 'u', {"svc"}), pkg("one", "1.0", 'u', {}, {"svc"}), pkg("two", "1.0", 'u', {}, {"svc"})});
    PkgManager& m = world.resolver({world.get("app")});
    EXPECT_FALSE(m.selectBestResolvers(world.get("app")->getRequire(0), false, 1, 0));
    EXPECT_EQ(world.result(), "app-1.0");
    EXPECT_TRUE(m.resolvedDeps.empty());
}

TEST(PkgManagerTournamentTest, ArtificialDependencies)
{
    ResolverWorld world({pkg("app")});
    const Package* app = world.get("app");
    boost::shared_ptr<Dependency> rpmlib(new DependencyLogical("rpmlib(PayloadIsXz) <= 5.2-1", app));
    LogFile log;
    EXPECT_TRUE(world.resolver({app}, RPMDEPS).selectBestResolvers(rpmlib, false, 1, 0));
    EXPECT_TRUE(log.has("selectBestResolvers: resolve 'rpmlib(PayloadIsXz) <= 5.2-1': artifical, skipped."));
    // Mode 1 looks for resolvers first; without any the dependency still counts as resolved.
    PkgManager& m = world.resolver({app}, INSTALL);
    EXPECT_TRUE(m.selectBestResolvers(rpmlib, false, 1, 0));
    EXPECT_TRUE(m.blackList.empty());
}

// ---- appending ----

TEST(PkgManagerAppendTest, TwinsAndIndirectMarks)
{
    ResolverWorld world({pkg("twin"), pkg("twin", "1.0", 't'), pkg("twin", "1.0", 'u', {}, {}, {}, "i386")});
    const Package* twin = world.get("twin");
    const Package* other = world.get("twin", "1.0", 't');
    const Package* i386 = world.get("twin", "1.0", 'u', "i386");
    PkgManager& m = world.resolver({});
    LogFile log;
    EXPECT_TRUE(m.appendNecessaryPackage(twin, true));
    EXPECT_EQ(m.getIndirectPackages(), cpkgs_t{twin});
    EXPECT_FALSE(m.appendNecessaryPackage(twin, true));
    EXPECT_FALSE(m.appendNecessaryPackage(other, true));
    EXPECT_TRUE(log.has(" skipped, same name-ver-arch is already in list."));
    EXPECT_EQ(m.getIndirectPackages(), cpkgs_t{twin});
    EXPECT_FALSE(m.appendNecessaryPackage(other, false));  // a direct need removes the mark
    EXPECT_TRUE(m.getIndirectPackages().empty());
    EXPECT_TRUE(m.appendNecessaryPackage(i386, false));  // another architecture is another package
    EXPECT_EQ(world.necessary, (cpkgs_t{twin, i386}));
    m.addToNecessary(other, true);  // a twin is not added at all
    EXPECT_EQ(world.necessary.size(), 2u);
    EXPECT_TRUE(m.getIndirectPackages().empty());
}

TEST(PkgManagerAppendTest, AnotherVersionBlackListsTheLowerOneInModeOne)
{
    ResolverWorld world({pkg("x", "1.0"), pkg("x", "2.0")});
    const Package* older = world.get("x", "1.0");
    const Package* newer = world.get("x", "2.0");
    for (const auto& order : {std::make_pair(older, newer), std::make_pair(newer, older)}) {
        PkgManager& m = world.resolver({});
        world.necessary = {order.first};
        LogFile log;
        EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.appendNecessaryPackage(order.second, false); }));
        EXPECT_EQ(m.blackList.size(), 1u);
        EXPECT_TRUE(m.blackList.count(older));
        EXPECT_EQ(printed(m.blackList[older]), "x-1.0.amd64 is conflicting with newly installed x-2.0.amd64");
        EXPECT_TRUE(
            log.has(" - there is another package '" + printed(order.first) + "' with same name in necessaryList"));
        EXPECT_TRUE(log.has("DEBUG: function exception [appendNecessaryPackage: " + printed(order.second) + " ~u]"));
    }
    // Mode 0 keeps the lower version.
    PkgManager& m = world.resolver({}, RPMDEPS);
    world.necessary = {older};
    EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.appendNecessaryPackage(newer, false); }));
    EXPECT_TRUE(m.blackList.count(newer));
}

TEST(PkgManagerAppendTest, ModeZeroNeverAppendsBuildPackages)
{
    ResolverWorld world({pkg("build", "1.0", 'b')});
    PkgManager& m = world.resolver({}, RPMDEPS);
    LogFile log;
    EXPECT_TRUE(m.appendNecessaryPackage(world.get("build", "1.0", 'b'), false));
    EXPECT_TRUE(world.necessary.empty());
    EXPECT_TRUE(log.has(" is build package, skip (TODO: intercomponent dependency tracking here)."));
}

// Mode 0: two conflicting packages that both resolve a "resolve to all" dependency are both
// removed; without such an entry the new one is black-listed.
TEST(PkgManagerAppendTest, ModeZeroConflicts)
{
    ResolverWorld world({pkg("one", "1.0", 'u', {}, {"m0-editor"}, {"two"}), pkg("two", "1.0", 'u', {}, {"m0-editor"}),
                         pkg("three", "1.0", 'u', {}, {}, {"one"})});
    PkgManager::addGravity("m0-editor", "");
    const Package* one = world.get("one");
    PkgManager& m = world.resolver({}, RPMDEPS);
    world.necessary = {one};
    LogFile log;
    EXPECT_TRUE(m.appendNecessaryPackage(world.get("two"), false));
    EXPECT_TRUE(
        log.has("appendNecessaryPackage(): call removeModeSolution()  to both: two-1.0.amd64 and one-1.0.amd64."));
    ASSERT_EQ(world.necessary.size(), 4u);
    EXPECT_TRUE(isRemoverFor({"two", ""}, world.necessary[1]));
    EXPECT_TRUE(isRemoverFor({"one", ""}, world.necessary[2]));
    EXPECT_EQ(world.necessary[3], world.get("two"));
    EXPECT_TRUE(m.getIndirectPackages().size() == 2u);

    world.necessary = {one};
    EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.appendNecessaryPackage(world.get("three"), false); }));
    EXPECT_TRUE(m.blackList.count(world.get("three")));
    EXPECT_TRUE(log.has("appendNecessaryPackage(): add to black list three-1.0.amd64 by selectBlackPackage()."));
}

TEST(PkgManagerAppendTest, RemovalNeedsForceRemoveInModeOne)
{
    ResolverWorld world({pkg("old", "1.0", 's'), pkg("app")});
    PkgManager& m = world.resolver({world.get("app")});
    error e = caught([&] { m.removeModeSolution(world.get("old", "1.0", 's')); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
    EXPECT_EQ(e.getText(),
              "Unable to proceed with the installation until the package old-1.0.amd64 is removed from the system.\n");
    PkgManager& forced = world.resolver({world.get("app")}, PkgManager::Options{1, false, true});
    forced.removeModeSolution(world.get("app"));  // requested: left alone
    EXPECT_EQ(world.result(), "app-1.0");
    forced.removeModeSolution(world.get("old", "1.0", 's'));
    ASSERT_EQ(world.necessary.size(), 2u);
    EXPECT_TRUE(isRemoverFor({"old", ""}, world.necessary[1]));
    EXPECT_EQ(forced.getIndirectPackages(), cpkgs_t{world.necessary[1]});
}

}  // namespace
