// What installing a package breaks among the installed ones, and how the resolver repairs it:
// upgrades that leave requirers of the old version behind, obsoletes, conflicts in both directions
// and packages installed in more than one architecture. What an installation of each result leaves
// on the system is judged by apt.
#include <algorithm>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/PkgManager.h"
#include "tests/support/LogFile.h"
#include "tests/support/ResolverFixture.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const PkgManager::Options INSTALL{PkgManager::RESOLVE_INSTALL, false, false};
const PkgManager::Options FORCED{PkgManager::RESOLVE_INSTALL, false, true};
const PkgManager::Options RPMDEPS{PkgManager::RESOLVE_RPMDEPS, false, false};

UniversePackage obsoleting(UniversePackage p, const std::string& name)
{
    p.obsoletes.push_back(name);
    return p;
}

std::vector<UniversePackage> joined(std::vector<UniversePackage> base, const std::vector<UniversePackage>& extra)
{
    base.insert(base.end(), extra.begin(), extra.end());
    return base;
}

cpkgs_t installedOf(Repository& repository)
{
    cpkgs_t installed;
    for (const Package* p : repository.getPackages())
        if (p->getType() == 's')
            installed.push_back(p);
    return installed;
}

// One way of resolving a request among installed packages: the packages offered besides the base
// universe, the expected result and one line the repair writes to the log.
struct RepairCase {
    const char* what;
    std::vector<UniversePackage> offered;
    const char* result;
    const char* line;
};

// Resolves the request (the available package of the name, version 1.0 unless given) in each
// case's universe with removals allowed, checks the result and the log, and has apt judge what the
// installations leave.
void checkRepairs(const std::vector<UniversePackage>& base, const std::vector<RepairCase>& cases,
                  const std::string& requested, const std::string& version = "1.0")
{
    std::vector<cpkgs_t> left;
    for (const RepairCase& c : cases) {
        SCOPED_TRACE(c.what);
        ResolverWorld world(joined(base, c.offered));
        LogFile log;
        world.resolver({world.get(requested, version)}, FORCED).findNecessaryPackages(false);
        EXPECT_EQ(world.result(), c.result);
        EXPECT_TRUE(log.has(c.line)) << c.line;
        left.push_back(leftByInstallation(installedOf(world.repository), world.necessary));
    }
    const std::vector<AptVerdict> verdicts = aptCheckAll(left);
    for (std::size_t i = 0; i < verdicts.size(); ++i)
        EXPECT_EQ(verdicts[i].exitCode, 0) << cases[i].what << "\n" << verdicts[i].output << dpkgStatus(left[i]);
}

// The installed "hw-app" needs the interface of the installed "hw-lib" 1.0, which the requested
// 2.0 no longer provides. Each remedy is offered along with all later ones: the first in the order
// wins. (The first remedy, the same version in another architecture, is with the other
// architectures below.)
TEST(PkgManagerIndirectTest, HardwiredRequirerRemediesInTheirOrder)
{
    const std::vector<UniversePackage> base{pkg("hw-lib", "1.0", 's', {}, {"hw-api = 1"}),
                                            pkg("hw-app", "1.0", 's', {"hw-api = 1"}),
                                            pkg("hw-lib", "2.0", 'u', {}, {"hw-api = 2"})};
    const UniversePackage newerApp = pkg("hw-app", "2.0", 'u', {"hw-api = 2"});
    const UniversePackage compat = pkg("hw-compat", "1.0", 'u', {}, {"hw-api = 1"});
    const UniversePackage successor = obsoleting(pkg("hw-app-ng"), "hw-app");
    checkRepairs(base,
                 {
                     {"a newer requirer",
                      {newerApp, compat, successor},
                      "hw-lib-2.0 hw-app-2.0",
                      "  newer non-blacklisted found: hw-app-2.0.amd64"},
                     {"a replacement",
                      {compat, successor},
                      "hw-lib-2.0 hw-compat-1.0",
                      "   try search replace mode solution. select from:"},
                     {"an obsoleter of the requirer", {successor}, "hw-lib-2.0 hw-app-ng-1.0", "  hw-app-ng-1.0.amd64"},
                     {"removal",
                      {},
                      "hw-lib-2.0 dummy_obsoleter_hw-app-0.0",
                      "Unresolved dependency: necessary package hw-lib-2.0.amd64 has older version hw-lib-1.0.amd64. "
                      "After upgrade we will have unresolved dependency 'hw-api = 1' of package hw-app-1.0.amd64, "
                      "add to removable list hw-app"},
                 },
                 "hw-lib", "2.0");
}

// Removal needs forceRemove in mode 1: the failure is explained at every level it passes.
TEST(PkgManagerIndirectTest, HardwiredRemovalRefusedWithoutForceRemove)
{
    ResolverWorld world({pkg("hr-lib", "1.0", 's', {}, {"hr-api = 1"}), pkg("hr-app", "1.0", 's', {"hr-api = 1"}),
                         pkg("hr-lib", "2.0", 'u', {}, {"hr-api = 2"})});
    LogFile log;
    PkgManager& m = world.resolver({world.get("hr-lib", "2.0")}, INSTALL);
    const error e = caught([&] { m.findNecessaryPackages(false); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
    EXPECT_EQ(e.getText(),
              "Unable to proceed with the installation until the package hr-app-1.0.amd64 is removed "
              "from the system.\n");
    for (const char* line :
         {"A dependency problem is found: an older version of required package hr-lib-2.0.amd64 is installed "
          "(hr-lib-1.0.amd64) . After upgrade procedure the dependency 'hr-api = 1' of package hr-app-1.0.amd64 "
          "will be unresolved. Try to add to removable list hr-app",
          "Failed to check whether it is necessary to upgrade hr-app-1.0.amd64 along with upgrade of "
          "hr-lib-1.0.amd64 by hr-lib-2.0.amd64",
          "Problem occured during searching indirect dependencies for package hr-lib-2.0.amd64"})
        EXPECT_TRUE(log.has(line)) << line;
}

// The requested "ob-new" obsoletes the installed "ob-old", whose interface the installed "ob-user"
// needs.
TEST(PkgManagerIndirectTest, ObsoletedPackageRequirers)
{
    const std::vector<UniversePackage> base{pkg("ob-old", "1.0", 's', {}, {"ob-api"}),
                                            pkg("ob-user", "1.0", 's', {"ob-api"}),
                                            obsoleting(pkg("ob-new", "1.0", 'u', {"ob-dep"}), "ob-old")};
    const UniversePackage newerUser = pkg("ob-user", "2.0");
    const UniversePackage oldOnlyUser = pkg("ob-user", "2.0", 'u', {"ob-api"});
    const UniversePackage successor = obsoleting(pkg("ob-user-ng"), "ob-user");
    const UniversePackage alternative = pkg("ob-alt", "1.0", 'u', {}, {"ob-api"});
    checkRepairs(
        base,
        {
            {"still met by a necessary package",
             {pkg("ob-dep", "1.0", 'u', {}, {"ob-api"})},
             "ob-new-1.0 ob-dep-1.0",
             "    fix all requires for ob-old-1.0.amd64"},
            {"an obsoleter of the requirer is necessary",
             {obsoleting(pkg("ob-dep"), "ob-user"), newerUser, alternative},
             "ob-new-1.0 ob-dep-1.0",
             "      so no need to fix ob-user-1.0.amd64"},
            {"a newer requirer",
             {pkg("ob-dep"), newerUser, successor, alternative},
             "ob-new-1.0 ob-dep-1.0 ob-user-2.0",
             "We also need to install ob-user-2.0.amd64 because ob-new-1.0.amd64 obsoletes ob-old-1.0.amd64 which "
             "is needed for ob-user-1.0.amd64"},
            {"a newer requirer that needs the obsoleted package only",
             {pkg("ob-dep"), oldOnlyUser, successor},
             "ob-new-1.0 ob-dep-1.0 ob-user-ng-1.0",
             "   try obsoleteModeSolution, select from:"},
            {"an obsoleter of the requirer",
             {pkg("ob-dep"), successor, alternative},
             "ob-new-1.0 ob-dep-1.0 ob-user-ng-1.0",
             "  ob-user-ng-1.0.amd64"},
            {"a replacement",
             {pkg("ob-dep"), alternative},
             "ob-new-1.0 ob-dep-1.0 ob-alt-1.0",
             "   try search replace mode solution. select from:"},
            {"removal",
             {pkg("ob-dep")},
             "ob-new-1.0 ob-dep-1.0 dummy_obsoleter_ob-user-0.0",
             "Unresolved obsoletes: necessary package ob-new-1.0.amd64 obsoletes package ob-old-1.0.amd64. After "
             "installation of necessary package we will have the dependency 'ob-api' of package ob-user-1.0.amd64 "
             "unresolved, add to removable ob-user"},
        },
        "ob-new");
}

// The requested "cf-new" conflicts with the installed "cf-peer", or the other way round.
TEST(PkgManagerIndirectTest, ConflictsInBothDirections)
{
    const UniversePackage peer = pkg("cf-peer", "1.0", 's');
    const UniversePackage successor = obsoleting(pkg("cf-peer-ng"), "cf-peer");
    const std::vector<UniversePackage> forward{peer, pkg("cf-new", "1.0", 'u', {}, {}, {"cf-peer < 2.0"})};
    checkRepairs(forward,
                 {
                     {"a newer version it does not conflict with",
                      {pkg("cf-peer", "2.0"), successor},
                      "cf-new-1.0 cf-peer-2.0",
                      "Found conflict with cf-peer-1.0.amd64"},
                     {"an obsoleter", {successor}, "cf-new-1.0 cf-peer-ng-1.0", "  cf-peer-ng-1.0.amd64"},
                     {"removal",
                      {},
                      "cf-new-1.0 dummy_obsoleter_cf-peer-0.0",
                      "Unresolved conflict: necessary package cf-new-1.0.amd64 conflicts with cf-peer-1.0.amd64. "
                      "There is no upgrade solution or obsoleter for cf-peer, adding to removable list cf-peer"},
                 },
                 "cf-new");
    // The newer version still conflicts: it is no remedy.
    checkRepairs({peer, pkg("cf-new", "1.0", 'u', {}, {}, {"cf-peer"})},
                 {{"a newer version it conflicts with too",
                   {pkg("cf-peer", "2.0")},
                   "cf-new-1.0 dummy_obsoleter_cf-peer-0.0",
                   "findNewerNonBlackPackage: for cf-peer-1.0.amd64"}},
                 "cf-new");
    const std::vector<UniversePackage> backward{pkg("cb-peer", "1.0", 's', {}, {}, {"cb-new"}), pkg("cb-new")};
    checkRepairs(backward,
                 {
                     {"back: a newer version",
                      {pkg("cb-peer", "2.0")},
                      "cb-new-1.0 cb-peer-2.0",
                      "  find indirect back conflicts for cb-new-1.0.amd64"},
                     {"back: removal",
                      {},
                      "cb-new-1.0 dummy_obsoleter_cb-peer-0.0",
                      "Unresolved conflict: the other package cb-peer-1.0.amd64 conflicts with necessary package "
                      "cb-new-1.0.amd64. There is no upgrade or obsoleter solution, add to removable list cb-peer"},
                 },
                 "cb-new");
}

// "wo-bad" is chosen first for "wo-svc" (fewer requirements) and fails after the conflict was
// repaired; the second pass repairs it again but does not warn again.
TEST(PkgManagerIndirectTest, WarningOnceRepairEveryTime)
{
    ResolverWorld world({pkg("wo-peer", "1.0", 's'), pkg("wo-new", "1.0", 'u', {"wo-svc"}, {}, {"wo-peer"}),
                         pkg("wo-bad", "1.0", 'u', {"wo-ghost"}, {"wo-svc"}),
                         pkg("wo-good", "1.0", 'u', {"wo-x", "wo-y"}, {"wo-svc"}), pkg("wo-x"), pkg("wo-y")});
    LogFile log;
    PkgManager& m = world.resolver({world.get("wo-new")}, FORCED);
    m.level = 5;
    m.findNecessaryPackages(false);
    EXPECT_EQ(world.result(), "wo-new-1.0 wo-good-1.0 dummy_obsoleter_wo-peer-0.0 wo-x-1.0 wo-y-1.0");
    const std::vector<std::string> lines = log.lines();
    const auto count = [&lines](const std::string& prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count("Unhappy caught"), 1);
    EXPECT_EQ(count("Unresolved conflict: necessary package wo-new-1.0.amd64"), 1);
    EXPECT_EQ(count("DEBUG: function entry [appendNecessaryPackage: dummy_obsoleter_wo-peer"), 2);
}

// Two replacements tie on the lowest level: the synthetic dependency waits in the deferred list
// with its indirect flag, and the package chosen later is marked as indirect.
TEST(PkgManagerIndirectTest, DeferredSyntheticDependencyKeepsItsIndirectFlag)
{
    ResolverWorld world({pkg("df-lib", "1.0", 's', {}, {"df-api = 1"}), pkg("df-app", "1.0", 's', {"df-api = 1"}),
                         pkg("df-lib", "2.0", 'u', {}, {"df-api = 2"}),
                         pkg("df-one", "1.0", 'u', {"df-x"}, {"df-api = 1"}),
                         pkg("df-two", "1.0", 'u', {}, {"df-api = 1"}), pkg("df-x")});
    PkgManager& m = world.resolver({world.get("df-lib", "2.0")}, FORCED);
    m.findRequiredFor(world.get("df-lib", "2.0"));
    ASSERT_EQ(m.deferredList.size(), 1u);
    EXPECT_EQ(printed(m.deferredList.front().dependency), "df-api = 1");
    EXPECT_TRUE(m.deferredList.front().indirect);
    EXPECT_EQ(world.result(), "df-lib-2.0");
    m.resolveDefferedDependencies();
    EXPECT_EQ(world.result(), "df-lib-2.0 df-two-1.0");
    EXPECT_EQ(m.getIndirectPackages(), cpkgs_t{world.get("df-two")});
    EXPECT_TRUE(m.deferredList.empty());
}

// The same version for every other architecture in which the name is installed, and the same
// version in another architecture as the first remedy of a hardwired requirer.
TEST(PkgManagerIndirectTest, OtherArchitectures)
{
    struct Case {
        const char* what;
        std::vector<UniversePackage> universe;
        bool blackI386;
        const char* result;
    };
    const UniversePackage newAmd64 = pkg("ma-lib", "2.0");
    const UniversePackage newI386 = pkg("ma-lib", "2.0", 'u', {}, {}, {}, "i386");
    const UniversePackage oldAmd64 = pkg("ma-lib", "1.0", 's');
    const UniversePackage oldI386 = pkg("ma-lib", "1.0", 's', {}, {}, {}, "i386");
    const Case cases[] = {
        {"installed in both", {oldAmd64, oldI386, newAmd64, newI386}, false, "ma-lib-2.0 ma-lib-2.0"},
        {"the other one is black", {oldAmd64, oldI386, newAmd64, newI386}, true, "ma-lib-2.0"},
        {"installed in one", {oldAmd64, newAmd64, newI386}, false, "ma-lib-2.0"},
        {"a hardwired requirer",
         {pkg("ma-lib", "1.0", 's', {}, {"ma-api = 1"}), pkg("ma-app", "1.0", 's', {"ma-api = 1"}),
          pkg("ma-lib", "2.0", 'u', {}, {"ma-api = 2"}), pkg("ma-lib", "2.0", 'u', {}, {"ma-api = 1"}, {}, "i386")},
         false,
         "ma-lib-2.0 ma-lib-2.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResolverWorld world(c.universe);
        const Package* requested = world.get("ma-lib", "2.0", 'u', "amd64");
        PkgManager& m = world.resolver({requested}, FORCED);
        if (c.blackI386)
            m.blackList[world.get("ma-lib", "2.0", 'u', "i386")];
        m.findNecessaryPackages(false);
        EXPECT_EQ(world.result(), c.result);
        if (world.necessary.size() == 2) {
            EXPECT_EQ(world.necessary[1]->getArch(), PooledString("i386"));
            EXPECT_EQ(m.getIndirectPackages(), cpkgs_t{world.necessary[1]});
        }
    }
}

// Mode 1 repairs only installed packages; mode 0 treats every package alike.
TEST(PkgManagerIndirectTest, OnlyInstalledPackagesAreRepairedInModeOne)
{
    ResolverWorld world({pkg("mo-gone"), pkg("mo-user", "1.0", 'u', {"mo-gone"}), pkg("mo-peer"),
                         obsoleting(pkg("mo-new", "1.0", 'u', {}, {}, {"mo-peer"}), "mo-gone")});
    const Package* requested = world.get("mo-new");
    {
        LogFile log;
        world.resolver({requested}, FORCED).findNecessaryPackages(false);
        EXPECT_EQ(world.result(), "mo-new-1.0");
        EXPECT_TRUE(log.has("    skip not system mo-gone-1.0.amd64"));
    }
    world.resolver({requested}, RPMDEPS).findNecessaryPackages(false);
    EXPECT_EQ(world.result(), "mo-new-1.0 dummy_obsoleter_mo-user-0.0 dummy_obsoleter_mo-peer-0.0");
}

// An obsoleter of p whose obsoletes entries p's provides no longer meet (the index was built before
// p changed): the repair counts as made, and its dependency without resolvers, owned by the shared
// dummy package, stops the run instead of leaving p's requirers broken. The other solution modes
// simply fail without resolvers.
TEST(PkgManagerIndirectTest, ObsoleterThatMatchesNoneOfTheProvidesStopsTheRun)
{
    ResolverWorld world({pkg("om-gone", "1.0", 's'), obsoleting(pkg("om-ng"), "om-gone"), pkg("om-other")});
    Package* gone = const_cast<Package*>(world.get("om-gone", "1.0", 's'));
    ASSERT_FALSE(world.repository.getObsoleters(gone).empty());
    gone->clearDependencies();
    PkgManager& m = world.resolver({world.get("om-other")}, FORCED);
    LogFile log;
    const error e = caught([&] { m.obsoleteModeSolution(gone); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
    EXPECT_EQ(e.getText().rfind("Can't find solution for 'obsolete_mode_solution for om-gone' of "
                                "dummy_masterpackage_for_dependency",
                                0),
              0u)
        << e.getText();
    EXPECT_TRUE(log.has(" with selectBestResolvers."));

    m.blackList[world.get("om-other")];
    EXPECT_FALSE(m.upgradeModeSolution(world.get("om-other")));
    EXPECT_FALSE(m.archModeSolution(world.get("om-ng")->getObsolete(0), world.get("om-other")));
    EXPECT_EQ(world.result(), "om-other-1.0");
}

}  // namespace
