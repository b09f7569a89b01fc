// The start-up check of the self-upgrade cache, which every start pays: with an empty cache (the usual
// case) and with a cached copy of the program's size that is not newer, next to a bare md5sum of
// that copy and a bare start of a program built like this one. The cache lies on a private tmpfs
// over /var/cache, so the host's cache is never touched.
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "bench/private_tmp.h"
#include "common/Log.h"
#include "common/fileops.h"
#include "common/sysutils.h"
#include "installer/Options.h"
#include "installer/SelfUpgrade.h"

namespace {

const char* const PROBE = KW_UPGRADE_PROBE;  // a program linked like this one, version 3.1.0

// Once per process, before the first benchmark: the private cache, and the start as the driver saves it.
bool ready(benchmark::State& state)
{
    static const bool entered = [] {
        if (!enterPrivateDir("selfupgrade_bench", "/var/cache"))
            return false;
        Log::consoleLevel = -1;
        static char self[] = "/usr/sbin/kitwright";
        static char* start[] = {self, nullptr};
        Options::argc = 1;
        Options::argv = start;
        return true;
    }();
    if (!entered)
        state.SkipWithError("private namespaces need root");
    return entered;
}

// The path of a cached copy named newer than this program that reports an older version, padded to
// the probe's size: the check hashes it, asks it for its version, and removes it.
std::string notNewerCopy()
{
    return SelfUpgrade::get_cache_dir() + SelfUpgrade::get_binary_name() + "_99.0.0";
}

void placeNotNewerCopy(const std::string& content, const std::string& md5)
{
    const std::string path = notNewerCopy();
    FILE* out = fopen(path.c_str(), "w");
    fwrite(content.data(), 1, content.size(), out);
    fclose(out);
    chmod(path.c_str(), 0500);
    out = fopen((path + ".md5sum").c_str(), "w");
    fputs(md5.c_str(), out);
    fclose(out);
}

std::string copyContent()
{
    std::string content = "#!/bin/sh\necho 0.1.0\nexit 0\n";
    content.resize(static_cast<size_t>(fileops::file_size(PROBE)), '#');
    return content;
}

void BM_StartWithEmptyCache(benchmark::State& state)
{
    if (!ready(state))
        return;
    for (auto _ : state)
        SelfUpgrade::run_cached_if_newer();
}
BENCHMARK(BM_StartWithEmptyCache)->Unit(benchmark::kMicrosecond);

void BM_StartWithNotNewerCopy(benchmark::State& state)
{
    if (!ready(state))
        return;
    const std::string content = copyContent();
    placeNotNewerCopy(content, "");
    const std::string md5 = get_file_md5(notNewerCopy());
    for (auto _ : state) {
        state.PauseTiming();
        placeNotNewerCopy(content, md5);
        state.ResumeTiming();
        SelfUpgrade::run_cached_if_newer();
    }
    state.counters["bytes"] = static_cast<double>(content.size());
}
BENCHMARK(BM_StartWithNotNewerCopy)->Unit(benchmark::kMillisecond);

// The references: the hash of the same copy by md5sum, and a bare start of the probe.
void BM_Md5sumOfTheCopy(benchmark::State& state)
{
    if (!ready(state))
        return;
    placeNotNewerCopy(copyContent(), "");
    const std::string command = shell_command({"md5sum", notNewerCopy()}) + " >/dev/null";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
}
BENCHMARK(BM_Md5sumOfTheCopy)->Unit(benchmark::kMillisecond);

void BM_BareStartOfTheProbe(benchmark::State& state)
{
    const std::string command = shell_command({PROBE, "--print-version-of-this-binary"}) + " >/dev/null";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
}
BENCHMARK(BM_BareStartOfTheProbe)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
