// The installed state of a release's components: checkInstalled for 500 components of three key
// sections each against this machine's installed packages, next to one bare dpkg-query run (what
// knowing the installed packages costs anyway).
//
// Reading the installed packages runs in a private /tmp (bench/private_tmp.h).
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/quiet_main.h"
#include "bench/read_command.h"
#include "common/Package.h"
#include "common/Repository.h"
#include "common/SourceSysDeb.h"
#include "installer/Build.h"
#include "installer/KwComponent.h"

namespace {

const int COMPONENTS = 500;

Repository& installedRepository()
{
    static Repository* repository = [] {
        Repository* r = new Repository;
        new SourceSysDeb(r);  // lives as long as the repository: to the end of the process
        r->getBriefPackagesInfo();
        return r;
    }();
    return *repository;
}

// Each component walks all three sections: the first misses a key package, the second finds an
// installed nokeypackage, the third holds.
std::vector<boost::shared_ptr<KwComponent>> makeComponents(const std::vector<std::string>& installed)
{
    const boost::shared_ptr<Build> build(
        new Build(boost::shared_ptr<Release>(), "Linux", "Debian", "12", "x86_64", "", "", "bench.inf3", ""));
    std::vector<boost::shared_ptr<KwComponent>> components;
    const size_t n = installed.size();
    for (int i = 0; i < COMPONENTS; ++i) {
        std::vector<BuildInfFile::keypackages_t> sections(3);
        sections[0].keypackages = {installed[i % n], "kitwright-bench-absent-" + std::to_string(i)};
        sections[1].nokeypackages = {installed[(i + 1) % n]};
        sections[1].keypackages = {installed[(i + 2) % n]};
        sections[2].keypackages = {installed[(i + 3) % n], installed[(i + 4) % n]};
        components.emplace_back(new KwComponent(build, "component" + std::to_string(i), "Component", "", sections));
    }
    return components;
}

void BM_CheckInstalled500(benchmark::State& state)
{
    Repository& repository = installedRepository();
    std::vector<std::string> installed;
    for (const Package* package : repository.getPackages())
        installed.push_back(package->getName().c_str());
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<boost::shared_ptr<KwComponent>> components = makeComponents(installed);
        state.ResumeTiming();
        for (const boost::shared_ptr<KwComponent>& component : components)
            component->checkInstalled(&repository, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * COMPONENTS);
    state.counters["installed"] = installed.size();
}
BENCHMARK(BM_CheckInstalled500)->Unit(benchmark::kMillisecond);

void BM_DpkgQueryAlone(benchmark::State& state)
{
    readCommand(state, "dpkg-query -W");
}
BENCHMARK(BM_DpkgQueryAlone)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return quietBenchmarkMain(argc, argv, "component_check_bench");
}
