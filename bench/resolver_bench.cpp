// The package resolver on a generated universe of about 20,000 packages: 200 requested packages
// resolved the way the installer sets the resolver up (installed packages fixed, level 5, the
// server architecture), next to `apt-get -s install` of the same 200 packages and versions on the
// same universe, served as a local flat repository with the installed packages in a status file,
// all in private directories.
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/filesystem.hpp>

#include "common/Log.h"
#include "common/PkgManager.h"
#include "common/Repository.h"
#include "common/sysutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ResolverUniverse.h"
#include "tests/support/TempDir.h"

namespace {

const int AVAILABLE_NAMES = 14000;  // with their second versions, about 18,000 packages
const int INSTALLED = 2000;
const int REQUESTED = 200;

const PkgManager::Options INSTALLER_OPTIONS{PkgManager::RESOLVE_INSTALL, false, false};

// Resolves the start list; false when the resolver fails with a dependency problem.
bool resolve(Repository& repository, const cpkgs_t& start, cpkgs_t& result)
{
    result = start;
    PkgManager manager(&repository, &result, INSTALLER_OPTIONS);
    manager.level = 5;
    manager.osArch = "amd64";
    manager.addRequestedPackages(start);
    try {
        manager.findNecessaryPackages(false);
    } catch (const error& e) {
        if (e.e_class != E_DEPENDENCIES)
            throw;
        return false;
    }
    return true;
}

struct Universe {
    Repository repository;
    cpkgs_t request;
    TempDir apt;
    std::vector<std::string> aptOptions;

    Universe()
    {
        // As in the program the log has a file (here one that keeps nothing), so that the lines
        // do not pile up in memory waiting for one.
        Log::openFile("/dev/null", false);
        Log::mailLevel = -1;
        loadUniverse(repository, generateUniverse(20260101, AVAILABLE_NAMES, INSTALLED));
        cpkgs_t available;
        cpkgs_t installed;
        for (const Package* p : repository.getPackages())
            (p->getType() == 's' ? installed : available).push_back(p);

        // A request that can be met: random packages, each kept when the request with it still
        // resolves.
        std::mt19937 random(7);
        std::set<std::string> names;
        cpkgs_t result;
        while (static_cast<int>(request.size()) < REQUESTED) {
            const Package* p = available[random() % available.size()];
            if (!names.insert(p->getName().c_str()).second)
                continue;
            request.push_back(p);
            if (!resolve(repository, request, result))
                request.pop_back();
        }

        aptOptions = aptPrivateOptions(apt.path());
        writeWholeFile(apt / "status", dpkgStatus(installed));
        boost::filesystem::create_directories(apt / "repo");
        writeWholeFile(apt / "repo/Packages", aptPackagesIndex(available));
        writeWholeFile(apt / "sources.list", "deb [trusted=yes] file:" + apt.path() + "/repo ./\n");
        std::vector<std::string> update{"apt-get", "update", "-q"};
        update.insert(update.end(), aptOptions.begin(), aptOptions.end());
        std::cerr << shellOutput(shell_command(update) + " 2>&1");
        std::cerr << repository.getPackages().size() << " packages, " << installed.size() << " installed, "
                  << request.size() << " requested, " << result.size() << " in the resolver's result\n";
    }
};

Universe& universe()
{
    static Universe* u = new Universe;
    return *u;
}

void BM_ResolverInstall200(benchmark::State& state)
{
    Universe& u = universe();
    cpkgs_t result;
    for (auto _ : state) {
        if (!resolve(u.repository, u.request, result))
            state.SkipWithError("the request does not resolve");
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["result"] = static_cast<double>(result.size());
}
BENCHMARK(BM_ResolverInstall200)->Unit(benchmark::kMillisecond);

void BM_AptGetSimulateInstall200(benchmark::State& state)
{
    Universe& u = universe();
    std::vector<std::string> words{"apt-get", "-s", "-q", "install"};
    words.insert(words.end(), u.aptOptions.begin(), u.aptOptions.end());
    for (const Package* p : u.request)
        words.push_back(std::string(p->getName().c_str()) + "=" + p->getVersion().toString());
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
BENCHMARK(BM_AptGetSimulateInstall200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
