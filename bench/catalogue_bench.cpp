// Loading a generated catalogue of 20 products x 30 releases x 4 builds, with its addons, from a
// directory and from a python3 http.server on 127.0.0.1, next to `xmllint --noout` on the same
// catalogue files (the floor for parsing them) and one curl fetching them one after another (the
// floor for transferring them).
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/Downloader.h"
#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/textutils.h"
#include "installer/BuildManager.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

namespace {

const size_t RELEASES = 20 * 30;

struct Catalogue {
    GeneratedMirror mirror{{"--scale", "20", "30", "4"}};
    LoopbackServer server = LoopbackServer::files(mirror.path());
    std::vector<std::string> files;  // what the loader reads: the index, product and addon files

    Catalogue()
    {
        // As in a run: the log has a file, at its default threshold.
        Log::openFile("/dev/null", false);
        files.push_back("products.inf3");
        for (const char* kind : {"products", "addons"})
            for (const std::string& reference : mirror.list(kind, "reference"))
                files.push_back(reference);
    }

    // The program with every file, each one under the prefix and followed by the suffix.
    std::string commandOver(const std::string& program, const std::string& prefix, const std::string& suffix) const
    {
        std::string command = program;
        for (const std::string& file : files)
            command += " " + shell_quote(prefix + file) + suffix;
        return command;
    }
};

Catalogue& catalogue()
{
    static Catalogue instance;
    return instance;
}

void load(benchmark::State& state, const std::string& source)
{
    size_t releases = 0;
    for (auto _ : state) {
        TempDir target;
        FileFetcher fetcher(SourceUrl(source), target.path());
        BuildManager loaded(fetcher, "");
        releases = loaded.getReleases(false).size();
    }
    if (releases != RELEASES)
        state.SkipWithError("releases were lost");
}

void BM_LoadFromDirectory(benchmark::State& state)
{
    load(state, catalogue().mirror.path() + "/");
}
BENCHMARK(BM_LoadFromDirectory)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_XmllintNoout(benchmark::State& state)
{
    const std::string command = catalogue().commandOver("xmllint --noout", catalogue().mirror.path() + "/", "");
    for (auto _ : state)
        if (system(command.c_str()) != 0)
            state.SkipWithError("xmllint failed");
}
BENCHMARK(BM_XmllintNoout)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

void BM_LoadOverHttp(benchmark::State& state)
{
    load(state, catalogue().server.url());
}
BENCHMARK(BM_LoadOverHttp)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_CurlOneAfterAnother(benchmark::State& state)
{
    const std::string command = catalogue().commandOver("curl -sf", catalogue().server.url(), " -o /dev/null");
    for (auto _ : state)
        if (system(command.c_str()) != 0)
            state.SkipWithError("curl failed");
}
BENCHMARK(BM_CurlOneAfterAnother)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
