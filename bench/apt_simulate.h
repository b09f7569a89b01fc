#ifndef KW_BENCH_APT_SIMULATE_H
#define KW_BENCH_APT_SIMULATE_H

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/sysutils.h"
#include "tests/support/ChildProcess.h"

// Times `apt-get -s install` of the targets ("name" or "name=version") under apt's private options
// in each iteration; the "result" counter is the number of packages apt would install.
inline void timeAptSimulateInstall(benchmark::State& state, const std::vector<std::string>& aptOptions,
                                   const std::vector<std::string>& targets)
{
    std::vector<std::string> words{"apt-get", "-s", "-q", "install"};
    words.insert(words.end(), aptOptions.begin(), aptOptions.end());
    words.insert(words.end(), targets.begin(), targets.end());
    const std::string command = shell_command(words) + " 2>&1; echo \"exit=$?\"";
    std::string output;
    for (auto _ : state)
        output = shellOutput(command);
    if (output.find("exit=0") == std::string::npos)
        state.SkipWithError(
            ("apt-get failed: " + output.substr(output.size() > 2000 ? output.size() - 2000 : 0)).c_str());
    std::size_t installs = 0;
    for (std::size_t at = 0; (at = output.find("\nInst ", at)) != std::string::npos; ++at)
        ++installs;
    state.counters["result"] = static_cast<double>(installs);
}

#endif
