// The cost of knowing the installed packages and of the repository's index: reading this machine's
// package database through dpkg-query next to dpkg-query alone (the floor), and reading, indexing and
// querying a synthetic list of 50,000 packages.
//
// Reading the installed packages runs in a private /tmp (bench/private_tmp.h).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/quiet_main.h"
#include "bench/read_command.h"
#include "common/Repository.h"
#include "common/SourceSysDeb.h"

namespace {

const int SYNTHETIC_PACKAGES = 50000;

// One record per package: a few named provides, requirements and file provides each, every tenth name
// in a second version, some obsoletes and conflicts. A library has 2 or 3 providers, a virtual name 25.
const std::string& syntheticCache()
{
    static const std::string text = [] {
        std::string out;
        char line[256];
        for (int n = 0; n < SYNTHETIC_PACKAGES; ++n) {
            const int name = n % 10 == 9 ? n - 1 : n;
            snprintf(line, sizeof(line), "F:pkg%d.rpm\nN:pkg%d\nV:1.%d.%d\nL:%d\nA:x86_64\n", name, name, n % 97,
                     n % 13, n % 10 == 9 ? 2 : 1);
            out += line;
            snprintf(line, sizeof(line), "R:lib%d.so.1\nR:virtual-%d >= 1.0\nR:/bin/sh\n", (n + 1) % 20000,
                     (n + 1) % 2000);
            out += line;
            snprintf(line, sizeof(line), "P:pkg%d = 1.%d.%d\nP:virtual-%d = 2.0\nP:lib%d.so.1\n", name, n % 97, n % 13,
                     n % 2000, n % 20000);
            out += line;
            for (int f = 0; f < 2; ++f) {
                snprintf(line, sizeof(line), "P:/usr/share/pkg%d/file%d\nm:33188\n5:%032x\n", name, f, n * 2 + f);
                out += line;
            }
            if (n % 100 == 1) {
                snprintf(line, sizeof(line), "O:pkg%d < 1.0\n", n - 1);
                out += line;
            }
            if (n % 50 == 2) {
                snprintf(line, sizeof(line), "C:pkg%d\n", n + 1);
                out += line;
            }
            out += "X:\n";
        }
        return out;
    }();
    return text;
}

void readSynthetic(Repository& repository, Repository::dups_mode_t mode)
{
    const std::string& text = syntheticCache();
    FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    repository.addFromCache(in, 's', mode, nullptr);
    fclose(in);
}

// A repository of the synthetic packages with its name and provides indexes current.
Repository& syntheticRepository()
{
    static Repository* repository = [] {
        Repository* r = new Repository;
        readSynthetic(*r, Repository::DUPS_APPEND);
        r->findByName("pkg0");
        r->findNewestProvider("virtual-0");
        return r;
    }();
    return *repository;
}

void BM_DpkgQueryAlone(benchmark::State& state)
{
    readCommand(state, "dpkg-query -W");
}
BENCHMARK(BM_DpkgQueryAlone)->Unit(benchmark::kMillisecond);

// dpkg-query with the two awk stages that make cache records of its output.
void BM_QueryPipelineAlone(benchmark::State& state)
{
    readCommand(state, SourceSysDeb::BRIEF_QUERY);
}
BENCHMARK(BM_QueryPipelineAlone)->Unit(benchmark::kMillisecond);

void BM_ReadInstalledPackages(benchmark::State& state)
{
    size_t packages = 0;
    for (auto _ : state) {
        Repository repository;
        SourceSysDeb source(&repository);
        source.loadBrief();
        packages = repository.getPackages().size();
    }
    state.counters["packages"] = packages;
}
BENCHMARK(BM_ReadInstalledPackages)->Unit(benchmark::kMillisecond);

void BM_ReadSyntheticCache(benchmark::State& state)
{
    syntheticCache();
    for (auto _ : state) {
        Repository repository;
        readSynthetic(repository, Repository::DUPS_APPEND);
        benchmark::DoNotOptimize(repository.getPackages().size());
    }
    state.SetItemsProcessed(state.iterations() * SYNTHETIC_PACKAGES);
    state.SetBytesProcessed(state.iterations() * syntheticCache().size());
}
BENCHMARK(BM_ReadSyntheticCache)->Unit(benchmark::kMillisecond);

// The full list read over the brief one: every record replaces a listed package.
void BM_ReplaceFromCache(benchmark::State& state)
{
    syntheticCache();
    for (auto _ : state) {
        state.PauseTiming();
        Repository repository;
        readSynthetic(repository, Repository::DUPS_APPEND);
        state.ResumeTiming();
        readSynthetic(repository, Repository::DUPS_REPLACE);
        benchmark::DoNotOptimize(repository.getPackages().size());
    }
    state.SetItemsProcessed(state.iterations() * SYNTHETIC_PACKAGES);
}
BENCHMARK(BM_ReplaceFromCache)->Unit(benchmark::kMillisecond);

// Each rebuild follows a change of the list that marks every index stale.
void BM_RebuildNameIndex(benchmark::State& state)
{
    Repository& repository = syntheticRepository();
    for (auto _ : state) {
        repository.removeNonSystemPackages();
        benchmark::DoNotOptimize(repository.findByName("pkg0").size());
    }
    state.SetItemsProcessed(state.iterations() * SYNTHETIC_PACKAGES);
}
BENCHMARK(BM_RebuildNameIndex)->Unit(benchmark::kMillisecond);

void BM_RebuildProvidesIndex(benchmark::State& state)
{
    Repository& repository = syntheticRepository();
    for (auto _ : state) {
        repository.removeNonSystemPackages();
        benchmark::DoNotOptimize(repository.findNewestProvider("virtual-0"));
    }
    state.SetItemsProcessed(state.iterations() * SYNTHETIC_PACKAGES);
}
BENCHMARK(BM_RebuildProvidesIndex)->Unit(benchmark::kMillisecond);

void BM_RebuildObsoletesAndConflicts(benchmark::State& state)
{
    Repository& repository = syntheticRepository();
    const Package* first = repository.getPackages().front();
    for (auto _ : state) {
        state.PauseTiming();
        repository.removeNonSystemPackages();
        repository.findByName("pkg0");
        repository.findNewestProvider("virtual-0");
        state.ResumeTiming();
        benchmark::DoNotOptimize(repository.getObsoletedBy(first).empty());
        benchmark::DoNotOptimize(repository.getConflicts(first).empty());
    }
    state.SetItemsProcessed(state.iterations() * SYNTHETIC_PACKAGES);
}
BENCHMARK(BM_RebuildObsoletesAndConflicts)->Unit(benchmark::kMillisecond);

void BM_ResolveRequires(benchmark::State& state)
{
    Repository& repository = syntheticRepository();
    for (auto _ : state)
        repository.resolveRequires();
    state.SetItemsProcessed(state.iterations() * SYNTHETIC_PACKAGES);
}
BENCHMARK(BM_ResolveRequires)->Unit(benchmark::kMillisecond);

// Look-ups on current indexes: the newest and the installed package of a name, and the newest provider.
void BM_Lookups(benchmark::State& state)
{
    Repository& repository = syntheticRepository();
    std::vector<std::string> names, virtuals;
    for (int i = 0; i < 1000; ++i) {
        names.push_back("pkg" + std::to_string(i * 37 % SYNTHETIC_PACKAGES));
        virtuals.push_back("virtual-" + std::to_string(i % 2000));
    }
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            benchmark::DoNotOptimize(repository.findNewest(names[i]));
            benchmark::DoNotOptimize(repository.getInstalledPackage(names[i]));
            benchmark::DoNotOptimize(repository.findNewestProvider(virtuals[i]));
        }
    }
    state.SetItemsProcessed(state.iterations() * 3000);
}
BENCHMARK(BM_Lookups)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    return quietBenchmarkMain(argc, argv, "repository_bench");
}
