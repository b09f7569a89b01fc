// Resolution of a component request: 200 of 3,000 components of one product requested for install,
// each component requiring up to three others, resolved by the component manager and the result
// applied to the tree; next to `apt-get -s install` of the same 200 names on the same relations,
// written as a flat repository of packages whose Depends name the required components, with an
// empty status file, all in a private directory.
#include <random>
#include <set>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/filesystem.hpp>

#include "bench/apt_simulate.h"
#include "common/Log.h"
#include "common/Repository.h"
#include "common/sysutils.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/ResolverUniverse.h"
#include "tests/support/TempDir.h"

namespace {

const int COMPONENTS = 3000;
const int REQUESTED = 200;

struct Forest {
    Repository repository;
    ComponentManager manager;
    std::vector<comp_cptr_t> request;
    TempDir apt;
    std::vector<std::string> aptOptions;

    Forest()
    {
        Log::openFile("/dev/null", false);  // as in the program: the lines do not pile up in memory
        Log::mailLevel = -1;
        std::mt19937 random(11);
        std::vector<UniversePackage> packages;
        for (int i = 0; i < COMPONENTS; ++i) {
            UniversePackage package;
            package.name = "c" + std::to_string(i);
            package.version = "1.0";
            package.type = 'b';
            // Requirements point forward, so the relations form no cycle and chains run long.
            for (int n = random() % 4; n > 0 && i + 1 < COMPONENTS; --n)
                package.requires.push_back("c" + std::to_string(i + 1 + random() % std::min(50, COMPONENTS - i - 1)));
            packages.push_back(package);
        }
        loadUniverse(repository, packages);

        const boost::shared_ptr<Build> build = makeProductBuild(repository, "zanth");
        for (const UniversePackage& package : packages) {
            const boost::shared_ptr<KwComponent> component =
                makeComponent(build, package.name, {keySection({package.name})});
            component->requirements.assign(package.requires.begin(), package.requires.end());
            component->checkInstalled(&repository, nullptr);
            manager.roots.push_back(component);
        }
        std::set<int> chosen;
        while (static_cast<int>(chosen.size()) < REQUESTED)
            chosen.insert(random() % COMPONENTS);
        for (int i : chosen)
            request.push_back(boost::dynamic_pointer_cast<KwComponent>(manager.roots[i]));

        cpkgs_t available(repository.getPackages().begin(), repository.getPackages().end());
        aptOptions = aptPrivateOptions(apt.path());
        writeWholeFile(apt / "status", "");
        boost::filesystem::create_directories(apt / "repo");
        writeWholeFile(apt / "repo/Packages", aptPackagesIndex(available));
        writeWholeFile(apt / "sources.list", "deb [trusted=yes] file:" + apt.path() + "/repo ./\n");
        std::vector<std::string> update{"apt-get", "update", "-q"};
        update.insert(update.end(), aptOptions.begin(), aptOptions.end());
        shellOutput(shell_command(update) + " 2>&1");
    }

    // Back to the loaded state between rounds.
    void reset()
    {
        for (const boost::shared_ptr<KwCompNode>& root : manager.roots)
            boost::dynamic_pointer_cast<KwComponent>(root)->setRequest(REQ_LEAVE);
    }
};

Forest& forest()
{
    static Forest* f = new Forest;
    return *f;
}

void BM_ResolveAndApply200Of3000(benchmark::State& state)
{
    Forest& f = forest();
    std::size_t entries = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.reset();
        state.ResumeTiming();
        ComponentsChangeset changeset;
        for (const comp_cptr_t& component : f.request)
            changeset.requests[component] = REQ_INSTALL;
        f.manager.resolveAndApply(&changeset);
        entries = changeset.requests.size();
    }
    state.counters["result"] = static_cast<double>(entries);
}
BENCHMARK(BM_ResolveAndApply200Of3000)->Unit(benchmark::kMillisecond);

void BM_AptGetSimulateInstall200Of3000(benchmark::State& state)
{
    Forest& f = forest();
    std::vector<std::string> targets;
    for (const comp_cptr_t& component : f.request)
        targets.push_back(component->name);
    timeAptSimulateInstall(state, f.aptOptions, targets);
}
BENCHMARK(BM_AptGetSimulateInstall200Of3000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
