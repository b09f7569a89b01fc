#include "common/PkgManager.h"

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "common/DependencyLogical.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "tests/support/LogFile.h"
#include "tests/support/ResolverFixture.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const PkgManager::Options INSTALL{PkgManager::RESOLVE_INSTALL, false, false};
const PkgManager::Options RPMDEPS{PkgManager::RESOLVE_RPMDEPS, false, false};

std::string messageOf(const char* key)
{
    return Messages().get(key);
}

// ---- the pass loop ----

TEST(PkgManagerPassLoopTest, ResolvesTheClosureAndListsIt)
{
    LogFile log;
    ResolverWorld world({pkg("app", "1.0", 'b', {"lib >= 1.0", "tool"}), pkg("lib", "1.2", 'u', {"base"}),
                         pkg("tool", "1.0", 'u', {"base"}), pkg("base", "1.0", 's'), pkg("unused")});
    world.resolver({world.get("app", "1.0", 'b')}).findNecessaryPackages(false);
    EXPECT_EQ(world.result(), "app-1.0 lib-1.2 tool-1.0 base-1.0");
    EXPECT_TRUE(log.has("=== Package resolving sucessfuly ends ==="));
    EXPECT_TRUE(log.has(" (b) app_1.0_amd64.deb"));
    EXPECT_TRUE(log.has(" (s) base_1.0_amd64.deb"));
    EXPECT_TRUE(log.has("DEBUG: function entry [findRequiredFor app-1.0.amd64]"));
    EXPECT_TRUE(log.has("DEBUG: function return [findNecessaryPackages]"));
    EXPECT_TRUE(log.has("selectBestResolvers: resolve 'lib >= 1.0' from app_1.0_amd64.deb ~b on level 1:"));
    // Installed packages are fixed in mode 1: never expanded.
    EXPECT_FALSE(log.has("Find directly required packages for base-1.0.amd64"));
    EXPECT_TRUE(log.has("DEBUG: function entry [findRequiredFor base-1.0.amd64]"));
}

TEST(PkgManagerPassLoopTest, EmptyStartListIsRefused)
{
    ResolverWorld world({pkg("a")});
    error e = caught([&] { world.resolver({}).findNecessaryPackages(false); });
    EXPECT_EQ(codes(e), std::make_tuple(3, 0, 0, 2));
    EXPECT_EQ(e.getText(), "start packages list for resolver is empty\n");
}

// The resolver prefers "broken" (fewer requirements at level 5), finds its requirement
// unresolvable, black-lists it and restarts; the second pass skips it.
TEST(PkgManagerPassLoopTest, RestartKeepsTheBlackList)
{
    LogFile log;
    ResolverWorld world({pkg("app", "1.0", 'u', {"service"}), pkg("broken", "1.0", 'u', {"ghost"}, {"service"}),
                         pkg("good", "1.0", 'u', {"x", "y"}, {"service"}), pkg("x"), pkg("y")});
    PkgManager& m = world.resolver({world.get("app")});
    m.level = 5;
    m.findNecessaryPackages(false);
    EXPECT_EQ(world.result(), "app-1.0 good-1.0 x-1.0 y-1.0");
    ASSERT_EQ(m.blackList.size(), 1u);
    EXPECT_EQ(m.blackList.begin()->first, world.get("broken"));
    EXPECT_EQ(printed(m.blackList.begin()->second), "dependency 'ghost' is unresolved");
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unhappy caught; try to resolve again."), 1);
    EXPECT_TRUE(log.has("findNecessaryPackages(): start pass 1"));
    EXPECT_TRUE(log.has(" [black blacklisted] broken-1.0.amd64"));
    EXPECT_TRUE(log.has(" [error: non black but unresolved] broken-1.0.amd64"));
    EXPECT_TRUE(m.deferredList.empty());
}

// The predicted (last) package loses a clash with a newer version of itself: allowed for a
// requested package, but a lastOnly run fails instead of restarting.
TEST(PkgManagerPassLoopTest, LastOnlyFailsWhenThePredictedPackageTurnsBlack)
{
    ResolverWorld world({pkg("x", "1.0", 'u', {"y"}), pkg("x", "2.0"), pkg("y", "1.0", 'u', {"x >= 2.0"})});
    LogFile log;
    PkgManager& m = world.resolver({world.get("x", "1.0")});
    error e = caught([&] { m.findNecessaryPackages(true); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 3));
    EXPECT_EQ(e.getText(), messageOf("err_deps_nochance") + "\n");
    EXPECT_TRUE(log.has("Allow to replace build packagex-1.0.amd64"));
    EXPECT_TRUE(log.has("Can't find solution with predictionally for package x-1.0.amd64: it was added to blacklist"));
}

// Five packages allow five passes, and each pass here ends in a restart that black-lists one more
// package: x-1.0 for x-2.0 and z-1.0 for z-2.0 (requested packages may be replaced by newer ones of
// their names), z-2.0 for its conflict with the requested x-1.0, x-2.0 for its missing requirement,
// and last "both", which stands in for both names, unless it can be installed.
TEST(PkgManagerPassLoopTest, RestartsUseThePassesUp)
{
    struct Case {
        const char* what;
        std::vector<std::string> bothRequires;
        bool resolves;
    };
    const Case cases[] = {
        {"the last permitted pass completes", {}, true},
        {"the last permitted pass restarts too", {"ghost"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResolverWorld world({pkg("z", "1.0", 'u', {"x >= 2.0"}), pkg("x", "1.0", 'u', {"z >= 2.0"}),
                             pkg("x", "2.0", 'u', {"ghost"}), pkg("z", "2.0", 'u', {}, {}, {"x < 2.0"}),
                             pkg("both", "1.0", 'u', c.bothRequires, {"x = 2.0", "z = 2.0"})});
        LogFile log;
        PkgManager& m = world.resolver({world.get("z"), world.get("x")});
        const std::optional<error> e = thrown<error>([&] { m.findNecessaryPackages(false); });
        const std::vector<std::string> lines = log.lines();
        EXPECT_TRUE(log.has("findNecessaryPackages(): start pass 4"));
        EXPECT_FALSE(log.has("findNecessaryPackages(): start pass 5"));
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unhappy caught; try to resolve again."), c.resolves ? 4 : 5);
        EXPECT_TRUE(log.has("Allow to replace build packagex-1.0.amd64"));
        EXPECT_TRUE(log.has("Allow to replace build packagez-1.0.amd64"));
        if (c.resolves) {
            EXPECT_FALSE(e) << e->getText();
            EXPECT_EQ(world.result(), "z-1.0 x-1.0 both-1.0");
        } else {
            ASSERT_TRUE(e);
            EXPECT_EQ(codes(*e), std::make_tuple(5, 1, 1, 3));
            EXPECT_EQ(e->getText(), messageOf("err_bad_deps") + "\n");
            EXPECT_TRUE(log.has("passCount is reached passLimit"));
        }
    }
}

TEST(PkgManagerPassLoopTest, InstalledPackageIsNotExpandedInMode1ButIsInMode0)
{
    ResolverWorld world({pkg("base", "1.0", 's', {"dep"}), pkg("dep")});
    world.resolver({world.get("base", "1.0", 's')}, INSTALL).findRequiredFor(world.get("base", "1.0", 's'));
    EXPECT_EQ(world.result(), "base-1.0");
    world.resolver({world.get("base", "1.0", 's')}, RPMDEPS).findRequiredFor(world.get("base", "1.0", 's'));
    EXPECT_EQ(world.result(), "base-1.0 dep-1.0");
}

// ---- the deferred list ----

// Two providers tie on level 1; the deferred list settles it on level 2, where the installed
// one wins.
TEST(PkgManagerDeferredTest, TieIsDeferredAndSettledOnAHigherLevel)
{
    LogFile log;
    ResolverWorld world({pkg("app", "1.0", 'u', {"mailer"}), pkg("other", "1.0", 'u', {"mailer"}),
                         pkg("exim", "1.0", 'u', {}, {"mailer"}), pkg("postfix", "1.0", 'u', {}, {"mailer"}),
                         pkg("postfix", "0.9", 's', {}, {"mailer"})});
    PkgManager& m = world.resolver({world.get("app"), world.get("other")});
    m.findNecessaryPackages(false);
    // Mode 1 keeps the installed version.
    EXPECT_EQ(world.result(), "app-1.0 other-1.0 postfix-0.9");
    EXPECT_TRUE(log.has("Will try to resolve it later, put to deffered list"));
    EXPECT_TRUE(log.has(" is already in deffered list, skip"));
    EXPECT_TRUE(log.has("selectBestResolvers: can't resolve 'mailer' on this level (1)"));
    EXPECT_TRUE(log.has("      select currBest: it has some version already installed."));
    EXPECT_TRUE(m.deferredList.empty());
}

// Nothing tells the providers apart on any level: the level-5 failure black-lists the requirer.
TEST(PkgManagerDeferredTest, LevelFiveFailureBlackListsTheOwner)
{
    LogFile log;
    ResolverWorld world({pkg("app", "1.0", 'u', {"mid"}), pkg("mid", "1.0", 'u', {"mailer"}),
                         pkg("exim", "1.0", 'u', {}, {"mailer"}), pkg("postfix", "1.0", 'u', {}, {"mailer"})});
    PkgManager& m = world.resolver({world.get("app")});
    error e = caught([&] { m.findNecessaryPackages(false); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 3));
    EXPECT_EQ(e.getText(), "Unable to install the \"app-1.0.amd64\" package.\n");
    EXPECT_TRUE(log.has("selectBestResolvers: can't resolve 'mailer' on this level (5)"));
    EXPECT_TRUE(log.has("selectBestResolvers(): Can't find solution for 'mailer' of mid-1.0.amd64."));
    EXPECT_TRUE(log.has("      packages are equal on this level"));
    EXPECT_TRUE(m.blackList.count(world.get("mid")));
}

TEST(PkgManagerDeferredTest, FindRequiredForOnLevelFiveBlackListsInsteadOfDeferring)
{
    ResolverWorld world({pkg("app", "1.0", 'u', {"mid"}), pkg("mid", "1.0", 'u', {"mailer"}),
                         pkg("exim", "1.0", 'u', {}, {"mailer"}), pkg("postfix", "1.0", 'u', {}, {"mailer"})});
    PkgManager& m = world.resolver({});
    m.level = 5;
    EXPECT_TRUE(thrown<PkgManager::unhappy>([&] { m.findRequiredFor(world.get("mid")); }));
    EXPECT_TRUE(m.blackList.count(world.get("mid")));
    EXPECT_TRUE(m.deferredList.empty());
}

// ---- statistics and trials ----

TEST(PkgManagerStatisticsTest, CountsByTypeAndInstalledState)
{
    ResolverWorld world({pkg("b1", "1.0", 'b'), pkg("b2", "2.0", 'b'), pkg("b2", "1.0", 's'), pkg("u1", "1.0", 'u'),
                         pkg("u2", "2.0", 'u'), pkg("u2", "1.0", 's'), pkg("t1", "1.0", 't'), pkg("s1", "1.0", 's')});
    PkgManager& m = world.resolver({world.get("b1", "1.0", 'b'), world.get("b2", "2.0", 'b'), world.get("u1"),
                                    world.get("u2", "2.0"), world.get("t1", "1.0", 't'), world.get("s1", "1.0", 's'),
                                    world.repository.addRemoverFor("old", "")});
    PkgManager::Statistics s;
    m.getStatistics(s);
    EXPECT_EQ(std::make_tuple(s.newBuild, s.upgradeBuild, s.sizeBuild, s.newOs, s.upgradeOs, s.sizeOs, s.removers),
              std::make_tuple(1, 1, 2000L, 1, 1, 2000L, 1));
    EXPECT_EQ(std::make_tuple(s.toInstall, s.toUpgrade, s.toRemove, s.totalSize), std::make_tuple(2, 2, 1, 4000L));
}

TEST(PkgManagerRemoverTest, RemoversAreRecognisedByNameAndArchitecture)
{
    Repository repository;
    const Package* plain = repository.addRemoverFor("old", "");
    const Package* i386 = repository.addRemoverFor("old", "i386");
    EXPECT_TRUE(isRemover(plain));
    EXPECT_TRUE(isRemoverFor({"old", ""}, plain));
    EXPECT_FALSE(isRemoverFor({"old", "i386"}, plain));
    EXPECT_TRUE(isRemoverFor({"old", "i386"}, i386));
    EXPECT_FALSE(isRemoverFor({"other", ""}, plain));
    Package dummyWithoutObsoletes("d", "1.0");
    dummyWithoutObsoletes.setType('d');
    EXPECT_FALSE(isRemover(&dummyWithoutObsoletes));
}

// ---- other operations ----

TEST(PkgManagerTest, GravityProvidersAndIndirectPackages)
{
    LogFile log;
    ResolverWorld world({pkg("app", "1.0", 'u', {"webserver-g1"}), pkg("apache", "1.0", 'u', {}, {"webserver-g1"}),
                         pkg("nginx", "1.0", 'u', {}, {"webserver-g1"})});
    PkgManager::addGravity("webserver-g1", "nginx");
    EXPECT_TRUE(log.has("add gravity webserver-g1 => 'nginx'"));
    PkgManager::addGravity("/usr/bin/g1", "");
    EXPECT_TRUE(log.has("add gravity '/usr/bin/g1' to all resolvers"));
    PkgManager& m = world.resolver({world.get("app")});
    m.findNecessaryPackages(false);
    EXPECT_EQ(world.result(), "app-1.0 nginx-1.0");
    EXPECT_TRUE(log.has("      reject currBest by gravity."));
    EXPECT_TRUE(log.has("      solution='nginx', currBest name 'apache'"));
    EXPECT_TRUE(log.has("      select currBest by gravity."));
    EXPECT_TRUE(m.hasProvider("webserver-g1"));
    EXPECT_FALSE(m.hasProvider("ghost"));

    EXPECT_TRUE(m.appendNecessaryPackage(world.get("apache"), true));
    EXPECT_EQ(m.getIndirectPackages(), cpkgs_t{world.get("apache")});
}

}  // namespace
