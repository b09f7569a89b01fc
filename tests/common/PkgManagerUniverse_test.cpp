// Generated universes resolved by the resolver and judged by apt: what an installation of the
// result leaves on the system must pass `apt-get check`.
#include <chrono>
#include <iostream>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/PkgManager.h"
#include "tests/support/ResolverFixture.h"
#include "tests/support/printed.h"

namespace {

struct Outcome {
    bool resolved = false;
    cpkgs_t judged;  // what the installation leaves: the installed packages it keeps, and the result
};

// The universes of a run of seeds and how they are resolved.
struct SeedRun {
    unsigned first;
    unsigned count;
    int available;
    int installed;
    int level;
    bool repairs = false;  // installing breaks installed packages too
    PkgManager::Options options = PkgManager::Options{PkgManager::RESOLVE_INSTALL, false, false};
};

// Resolves a few random available packages of the seed's universe on the given level. The start
// packages are the caller's choice and are taken as they are, so they are picked free of conflicts
// among themselves.
Outcome resolveSeed(unsigned seed, const SeedRun& run)
{
    ResolverWorld world(generateUniverse(seed, run.available, run.installed, run.repairs));
    std::mt19937 random(seed * 7919u + 1);
    cpkgs_t start;
    std::set<std::string> names;
    const int wanted = 1 + static_cast<int>(random() % 6);
    std::vector<const Package*> offered;
    for (const Package* p : world.repository.getPackages())
        if (p->getType() != 's')
            offered.push_back(p);
    for (int i = 0; i < wanted; ++i) {
        const Package* p = offered[random() % offered.size()];
        bool clashes = false;
        for (const Package* q : start)
            clashes = clashes || world.repository.conflicts(p, q) || world.repository.conflicts(q, p);
        if (!clashes && names.insert(p->getName().c_str()).second)
            start.push_back(p);
    }
    PkgManager& m = world.resolver(start, run.options);
    m.level = run.level;
    Outcome outcome;
    try {
        m.findNecessaryPackages(false);
        outcome.resolved = true;
    } catch (const error& e) {
        EXPECT_EQ(e.e_class, 5) << "seed " << seed << ": " << e.getText();
        return outcome;
    }
    cpkgs_t installed;
    for (const Package* p : world.repository.getPackages())
        if (p->getType() == 's')
            installed.push_back(p);
    outcome.judged = leftByInstallation(installed, world.necessary);

    // The model's own reading of the same property, for a clear message next to apt's.
    for (const Package* p : outcome.judged) {
        if (p->getType() == 'd')
            continue;
        for (uint32_t i = 0; boost::shared_ptr<Dependency> requirement = p->getRequire(i); ++i) {
            bool met = false;
            for (const Package* q : outcome.judged)
                met = met || (q->getType() != 'd' && q->satisfies(requirement.get()));
            EXPECT_TRUE(met) << "seed " << seed << ": '" << printed(requirement) << "' of " << printed(p);
        }
    }
    return outcome;
}

void checkSeeds(const SeedRun& run)
{
    std::vector<unsigned> seeds;
    std::vector<cpkgs_t> judged;
    const auto started = std::chrono::steady_clock::now();
    for (unsigned seed = run.first; seed < run.first + run.count; ++seed) {
        Outcome outcome = resolveSeed(seed, run);
        if (!outcome.resolved)
            continue;
        seeds.push_back(seed);
        judged.push_back(outcome.judged);
    }
    std::cout << run.count << " universes of " << run.available << " names on level " << run.level << " resolved in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() << " s\n";
    const std::vector<AptVerdict> verdicts = aptCheckAll(judged);
    for (std::size_t i = 0; i < verdicts.size(); ++i)
        EXPECT_EQ(verdicts[i].exitCode, 0) << "seed " << seeds[i] << "\n"
                                           << verdicts[i].output << dpkgStatus(judged[i]);
    const int resolved = static_cast<int>(seeds.size());
    // The generator must leave many requests resolvable, or the check proves little.
    EXPECT_GE(resolved, static_cast<int>(run.count) / 3);
}

TEST(PkgManagerUniverseTest, SmallUniversesOnTheLowestAndTheInstallersLevelPassAptCheck)
{
    checkSeeds(SeedRun{1, 20, 12, 4, 1});
    checkSeeds(SeedRun{101, 20, 12, 4, 5});
}

// Ties on the lowest level go through trial resolutions, nested ones within them: a middle size
// there, the large universes on the installer's level.
TEST(PkgManagerUniverseTest, LargerUniversesPassAptCheck)
{
    checkSeeds(SeedRun{501, 4, 60, 10, 1});
    checkSeeds(SeedRun{1001, 10, 400, 40, 5});
}

// Installed packages that the result upgrades, obsoletes or conflicts with, or that require an
// exact version of what it upgrades: removals allowed, and refused (the run then fails with a
// dependency problem).
TEST(PkgManagerUniverseTest, RepairedInstallationsPassAptCheck)
{
    const PkgManager::Options forced{PkgManager::RESOLVE_INSTALL, false, true};
    checkSeeds(SeedRun{2001, 30, 12, 8, 5, true, forced});
    checkSeeds(SeedRun{3001, 30, 12, 8, 5, true});
    checkSeeds(SeedRun{4001, 20, 12, 8, 1, true, forced});
    checkSeeds(SeedRun{5001, 10, 200, 40, 5, true, forced});
}

// The judge itself: an unmet requirement and a conflict in the judged set fail the check.
TEST(PkgManagerUniverseTest, AptCheckRejectsBrokenSets)
{
    ResolverWorld world({UniversePackage{"app", "1.0", 'u', "amd64", {"lib >= 2.0"}, {}, {}, {}, 1000},
                         UniversePackage{"lib", "1.0", 'u', "amd64", {}, {}, {}, {}, 1000},
                         UniversePackage{"other", "1.0", 'u', "amd64", {}, {}, {"lib"}, {}, 1000}});
    const Package* app = world.get("app");
    const Package* lib = world.get("lib");
    const Package* other = world.get("other");
    const std::vector<AptVerdict> verdicts = aptCheckAll({{lib}, {app, lib}, {lib, other}});
    EXPECT_EQ(verdicts[0].exitCode, 0) << verdicts[0].output;
    EXPECT_NE(verdicts[1].exitCode, 0);
    EXPECT_NE(verdicts[2].exitCode, 0);
}

}  // namespace
