#ifndef KW_BENCH_READ_COMMAND_H
#define KW_BENCH_READ_COMMAND_H

#include <cstdio>

#include <benchmark/benchmark.h>

// Reads a command's whole output in each iteration, as the program reads the package list.
inline void readCommand(benchmark::State& state, const char* command)
{
    for (auto _ : state) {
        FILE* pipe = popen(command, "r");
        char buffer[65536];
        size_t total = 0;
        for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
            total += n;
        pclose(pipe);
        benchmark::DoNotOptimize(total);
    }
}

#endif
