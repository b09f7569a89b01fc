#ifndef KW_BENCH_QUIET_MAIN_H
#define KW_BENCH_QUIET_MAIN_H

#include <benchmark/benchmark.h>

#include "bench/private_tmp.h"
#include "common/Log.h"

// The main() of a benchmark whose code records progress and logs as a run does: it runs in a private
// /tmp (enterPrivateTmp), and the log writes its lines nowhere at any level. As in a run without the
// debug option, the lines are made; with no log file open, no buffer grows either, which would
// otherwise blur the figures.
inline int quietBenchmarkMain(int argc, char** argv, const char* program)
{
    if (!enterPrivateTmp(program))
        return 1;
    Log::consoleLevel = -1;
    Log::fileLevel = -1;
    Log::mailLevel = -1;
    Log::captureLevel = -1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#endif
