// Reading a product repository's gzipped header file of 50,000 cache records into a repository,
// next to `gunzip --stdout file | wc -l` on the same file (the floor: the decompression alone).
#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

#include "bench/read_command.h"
#include "common/Log.h"
#include "common/Repository.h"
#include "common/textutils.h"
#include "installer/SourceZanthYum.h"
#include "tests/support/LoadedBuild.h"
#include "tests/support/TempDir.h"

namespace {

const int RECORDS = 50000;

struct Headers {
    TempDir dir;
    TempDir mirror;
    TempDir target;
    std::string file = mirror / "zanth/builds/10.0/d/headers.gz";
    boost::shared_ptr<Build> build = loadedBuild(dir, "build_dir=\"d\" headers_file=\"headers.gz\"");

    Headers()
    {
        Log::openFile("/dev/null", false);  // as in a run: the log has a file, at its default threshold
        const std::string plain = dir / "headers";
        FILE* out = fopen(plain.c_str(), "w");
        for (int i = 0; i < RECORDS; ++i)
            fprintf(out,
                    "F:zanth-pkg%d-10.0-1.x86_64.rpm\nN:zanth-pkg%d\nV:10.0\nL:1\nA:x86_64\nB:1700000000\ns:4096\n"
                    "M:0123456789abcdef0123456789abcdef\nR:zanth-pkg%d\nR:libc.so.6()(64bit)\nP:zanth-pkg%d\n"
                    "P:/usr/share/zanth/pkg%d\nm:33188\n5:0123456789abcdef0123456789abcdef\nX:\n",
                    i, i, (i + 1) % RECORDS, i, i);
        fclose(out);
        const std::string command = "mkdir -p " + shell_quote(mirror / "zanth/builds/10.0/d") + " && gzip -n -c " +
                                    shell_quote(plain) + " > " + shell_quote(file);
        if (system(command.c_str()) != 0)
            abort();
    }
};

Headers& headers()
{
    static Headers instance;
    return instance;
}

void BM_ReadProductHeaders(benchmark::State& state)
{
    Headers& h = headers();
    const FileFetcher fetcher(SourceUrl(h.mirror.path() + "/"), h.target.path());
    for (auto _ : state) {
        Repository repository;
        SourceZanthYum source(&repository, fetcher, h.build, 'b');
        source.loadFull();
        if (repository.getPackages().size() != RECORDS)
            state.SkipWithError("not every record was read");
    }
    state.counters["records"] = RECORDS;
}
BENCHMARK(BM_ReadProductHeaders)->Unit(benchmark::kMillisecond);

void BM_GunzipAlone(benchmark::State& state)
{
    const std::string command = "gunzip --stdout " + shell_quote(headers().file) + " | wc -l";
    readCommand(state, command.c_str());
}
BENCHMARK(BM_GunzipAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
