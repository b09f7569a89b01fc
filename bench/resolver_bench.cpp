// The package resolver on a generated universe of about 20,000 packages: 200 requested packages
// resolved the way the installer sets the resolver up (installed packages fixed, level 5, the
// server architecture), next to `apt-get -s install` of the same 200 packages and versions on the
// same universe, served as a local flat repository with the installed packages in a status file,
// all in private directories.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/filesystem.hpp>

#include "bench/apt_simulate.h"
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

// Resolves the start list; false when the resolver fails with a dependency problem, or when it
// replaces a requested package by a newer one of its name (apt installs the versions asked for).
// The requested packages that it black-listed are added to `refused` when it is given.
bool resolve(Repository& repository, const cpkgs_t& start, cpkgs_t& result, cpkgs_t* refused = nullptr)
{
    result = start;
    PkgManager manager(&repository, &result, INSTALLER_OPTIONS);
    manager.level = 5;
    manager.osArch = "amd64";
    manager.addRequestedPackages(start);
    bool resolved = true;
    try {
        manager.findNecessaryPackages(false);
    } catch (const error& e) {
        if (e.e_class != E_DEPENDENCIES)
            throw;
        resolved = false;
    }
    for (const Package* p : start) {
        if (manager.blackList.count(p)) {
            resolved = false;
            if (refused)
                refused->push_back(p);
        }
    }
    return resolved;
}

enum Screening { RESOLVED, REFUSED, CONFLICTING, TOO_SLOW };

// Resolves the start list as `resolve` does (in a child of the caller's). A result that holds a
// package with a conflicts relation counts as CONFLICTING: the resolver settles every conflict
// between two packages it chose by resolving both sides in trial runs, each over a copy of the
// whole repository, and on this universe a request that meets a few of them takes minutes, or nests
// trials within trials for far longer.
Screening resolveScreened(Repository& repository, const cpkgs_t& start, cpkgs_t& refused)
{
    cpkgs_t result;
    if (!resolve(repository, start, result, &refused))
        return REFUSED;
    for (const Package* p : result)
        if (!repository.getConflicts(p).empty() || !repository.getBackConflicts(p).empty())
            return CONFLICTING;
    return RESOLVED;
}

// Screens each candidate as a request of its own, each within a second, in as few children as
// possible: a child writes the position it starts, then its verdict; one killed by the alarm is
// followed by a new child from the next position.
std::vector<Screening> screenEach(Repository& repository, const cpkgs_t& candidates)
{
    std::vector<Screening> verdicts;
    while (verdicts.size() < candidates.size()) {
        const std::size_t from = verdicts.size();
        const ChildResult child = runInChild([&] {
            for (std::size_t i = from; i < candidates.size(); ++i) {
                alarm(1);
                cpkgs_t refused;
                std::cout << resolveScreened(repository, {candidates[i]}, refused) << std::endl;
            }
            return 0;
        });
        std::istringstream lines(child.out);
        for (int verdict; lines >> verdict;)
            verdicts.push_back(static_cast<Screening>(verdict));
        if (child.exit_code == 128 + SIGALRM)
            verdicts.push_back(TOO_SLOW);
        else if (child.exit_code != 0)
            throw std::runtime_error("screening failed: " + child.err);
    }
    return verdicts;
}

// The combined request, in a child that has a minute.
Screening screenTogether(Repository& repository, const cpkgs_t& request, cpkgs_t& refused)
{
    const ChildResult child = runInChild([&] {
        alarm(60);
        cpkgs_t black;
        const Screening verdict = resolveScreened(repository, request, black);
        for (const Package* p : black)
            std::cout << std::find(request.begin(), request.end(), p) - request.begin() << "\n";
        return static_cast<int>(verdict);
    });
    if (child.exit_code == 128 + SIGALRM)
        return TOO_SLOW;
    if (child.exit_code < RESOLVED || child.exit_code > CONFLICTING)
        throw std::runtime_error("screening failed: " + child.err);
    std::istringstream positions(child.out);
    for (std::size_t i; positions >> i;)
        refused.push_back(request[i]);
    return static_cast<Screening>(child.exit_code);
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
        const auto started = std::chrono::steady_clock::now();
        loadUniverse(repository, generateUniverse(20260101, AVAILABLE_NAMES, INSTALLED));
        cpkgs_t available;
        cpkgs_t installed;
        for (const Package* p : repository.getPackages())
            (p->getType() == 's' ? installed : available).push_back(p);

        // A request that can be met: random packages that resolve on their own within a second and
        // without a conflicting package, then resolved together; those that the combined
        // resolution refuses (or the one added last, when it fails otherwise) make room for new
        // ones.
        std::mt19937 random(7);
        std::set<std::string> names;
        for (;;) {
            cpkgs_t candidates;
            while (static_cast<int>(request.size() + candidates.size()) < REQUESTED) {
                const Package* p = available[random() % available.size()];
                if (names.insert(p->getName().c_str()).second)
                    candidates.push_back(p);
            }
            const std::vector<Screening> verdicts = screenEach(repository, candidates);
            for (std::size_t i = 0; i < candidates.size(); ++i)
                if (verdicts[i] == RESOLVED)
                    request.push_back(candidates[i]);
            if (static_cast<int>(request.size()) < REQUESTED)
                continue;
            cpkgs_t refused;
            const Screening outcome = screenTogether(repository, request, refused);
            std::cerr << "a request of " << request.size() << " packages: "
                      << (outcome == RESOLVED      ? "resolved"
                          : outcome == REFUSED     ? "refused"
                          : outcome == CONFLICTING ? "meets a conflict"
                                                   : "too slow")
                      << "\n";
            if (outcome == RESOLVED)
                break;
            if (refused.empty())
                refused.push_back(request.back());
            for (const Package* p : refused)
                request.erase(std::find(request.begin(), request.end(), p));
        }
        cpkgs_t result;
        resolve(repository, request, result);

        aptOptions = aptPrivateOptions(apt.path());
        writeWholeFile(apt / "status", dpkgStatus(installed));
        boost::filesystem::create_directories(apt / "repo");
        writeWholeFile(apt / "repo/Packages", aptPackagesIndex(available));
        writeWholeFile(apt / "sources.list", "deb [trusted=yes] file:" + apt.path() + "/repo ./\n");
        std::vector<std::string> update{"apt-get", "update", "-q"};
        update.insert(update.end(), aptOptions.begin(), aptOptions.end());
        std::cerr << shellOutput(shell_command(update) + " 2>&1");
        std::cerr << "set up in " << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
                  << " s: " << repository.getPackages().size() << " packages, " << installed.size() << " installed, "
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
    std::vector<std::string> targets;
    for (const Package* p : u.request)
        targets.push_back(std::string(p->getName().c_str()) + "=" + p->getVersion().toString());
    timeAptSimulateInstall(state, u.aptOptions, targets);
}
BENCHMARK(BM_AptGetSimulateInstall200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
