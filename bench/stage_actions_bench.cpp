// The "prep" phase of an installation that touches 100 components, each with one stage action ":":
// collecting the actions from the forest and running each through /bin/sh, next to the same 100
// shells started by one shell loop (what running the catalogue's commands costs anyway). And the
// collection alone over a forest of 5,000 components with five actions each.
//
// Components are checked and actions run in a private /tmp (bench/private_tmp.h).
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/quiet_main.h"
#include "common/Repository.h"
#include "installer/Bootstrapper.h"
#include "installer/ComponentManager.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/StageActions.h"

namespace {

// A forest of components to install, each with the actions given.
struct Forest {
    Forest(int components, const std::string& actions)
    {
        const boost::shared_ptr<Build> build = makeProductBuild(repository);
        for (int i = 0; i < components; ++i) {
            const std::string name = "component" + std::to_string(i);
            const boost::shared_ptr<KwComponent> component =
                componentInMode(repository, build, name, KwComponent::INSTALL);
            component->requestInstall();
            component->bootstrapper_actions = owned.load(actions, name);
            manager.roots.push_back(component);
        }
    }

    Repository repository;
    StageActions owned;
    ComponentManager manager;
};

void BM_PrepPhase100(benchmark::State& state)
{
    const Forest forest(100, "<action sequence='prep' exec-cmd=':'/>");
    for (auto _ : state)
        benchmark::DoNotOptimize(Bootstrapper::performActions(forest.manager, "prep", false));
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_PrepPhase100)->Unit(benchmark::kMillisecond);

void BM_ShellLoop100(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(
            std::system("/bin/sh -c 'i=0; while [ $i -lt 100 ]; do /bin/sh -c :; i=$((i+1)); done'"));
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_ShellLoop100)->Unit(benchmark::kMillisecond);

void BM_Collect5000x5(benchmark::State& state)
{
    std::string actions;
    for (const char* stage : {"execute", "commit", "rollback"})
        actions += "<action sequence='post' stage='" + std::string(stage) + "' exec-cmd=':'/>";
    actions +=
        "<action sequence='prep' sequence-order='-1' exec-cmd=':'/><action sequence='post' sequence-order='3' "
        "exec-cmd=':'/>";
    const Forest forest(5000, actions);
    for (auto _ : state) {
        Bootstrapper::sequence_t out;
        Bootstrapper::getActionsSequence(forest.manager, {"post", "execute", ""}, out, true);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(BM_Collect5000x5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return quietBenchmarkMain(argc, argv, "stage_actions_bench");
}
