// What the user waits for on an apt system before anything installs: the resolution of a request of a
// few hundred packages through apt-get's simulation, and the candidate versions of every installed
// package through apt-cache, each next to the bare tool on the same input. The program runs itself
// inside a throw-away overlay of the system (scripts/overlay-root.sh), whose apt sources name only a
// generated repository, so the host's apt configuration stays untouched.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/read_command.h"
#include "common/Log.h"
#include "common/Repository.h"
#include "installer/ComponentManager.h"
#include "installer/DebianAPTConfigurator.h"
#include "installer/InstallDeb.h"
#include "installer/KwComponent.h"
#include "installer/SourceManager.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/TempDir.h"

namespace {

const int REQUESTED = 300;
const char REPOSITORY[] = "/var/tmp/kw-apt-bench";

std::string requested(int i)
{
    return "kwb-" + std::to_string(i);
}

// A flat repository index of the requested packages, each depending on a library package of its own;
// apt's simulation needs no package files.
void writeRepository()
{
    std::string index;
    for (int i = 0; i < REQUESTED; ++i)
        for (const std::string& name : {requested(i), "libkwb-" + std::to_string(i)})
            index += "Package: " + name + "\nVersion: 1.0-1\nArchitecture: all\nMaintainer: Kitwright <k@invalid>\n" +
                     (name == requested(i) ? "Depends: libkwb-" + std::to_string(i) + "\n" : "") + "Filename: ./" +
                     name + "_1.0-1_all.deb\nSize: 100\nDescription: bench\n\n";
    std::system((std::string("rm -rf ") + REPOSITORY + " && mkdir -p " + REPOSITORY).c_str());
    writeWholeFile(std::string(REPOSITORY) + "/Packages", index);
    writeWholeFile("/etc/apt/sources.list.d/kwb.list", std::string("deb [trusted=yes] file:") + REPOSITORY + " ./\n");
    std::system("apt-get -qq update >/dev/null 2>&1");
}

// resolve of a selection whose base component names every requested package.
void BM_InstallDebResolve(benchmark::State& state)
{
    Log::consoleLevel = -1;
    Repository repository;
    SourceManager sources(&repository);
    DebianAPTConfigurator configurator("", nullptr, &sources, &repository);
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    const boost::shared_ptr<KwComponent> base = componentInMode(repository, build, "base", KwComponent::INSTALL);
    for (int i = 0; i < REQUESTED; ++i)
        base->packages.push_back(offerPackage(repository, requested(i), "1.0-1"));
    base->requestInstall();
    ComponentManager manager;
    manager.roots.push_back(base);
    size_t planned = 0;
    for (auto _ : state) {
        InstallDeb installer(&repository, &manager, &configurator);
        planned = installer.resolve().size();
    }
    if (planned != 2 * REQUESTED)
        state.SkipWithError("the plan misses packages");
}
BENCHMARK(BM_InstallDebResolve)->Unit(benchmark::kMillisecond);

// The reference: the bare simulation of the same request.
void BM_AptGetJustPrint(benchmark::State& state)
{
    std::string command = "LANG=C apt-get --assume-yes --just-print install";
    for (int i = 0; i < REQUESTED; ++i)
        command += " " + requested(i) + ":all=1.0-1";
    command += " 2>&1";
    readCommand(state, command.c_str());
}
BENCHMARK(BM_AptGetJustPrint)->Unit(benchmark::kMillisecond);

std::vector<std::string> installedNames()
{
    std::vector<std::string> names;
    std::istringstream lines(shellOutput("dpkg-query -W -f '${Package}\\n'"));
    for (std::string line; std::getline(lines, line);)
        names.push_back(line);
    return names;
}

// The candidate batch over the names of every installed package.
void BM_CandidateBatch(benchmark::State& state)
{
    Log::consoleLevel = -1;
    const std::vector<std::string> names = installedNames();
    Repository repository;
    SourceManager sources(&repository);
    for (auto _ : state) {
        DebianAPTConfigurator configurator("", nullptr, &sources, &repository);
        configurator.prepareAvailablePackagesList(names);
    }
    state.counters["names"] = names.size();
}
BENCHMARK(BM_CandidateBatch)->Unit(benchmark::kMillisecond);

// The reference: the bare apt-cache policy of the same names.
void BM_AptCachePolicy(benchmark::State& state)
{
    std::string command = "LANG=C apt-cache policy";
    for (const std::string& name : installedNames())
        command += " " + name;
    command += " 2>/dev/null";
    readCommand(state, command.c_str());
}
BENCHMARK(BM_AptCachePolicy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    // Once more inside the overlay; the variable tells that run it is there.
    if (!getenv("KW_APT_BENCH_IN_OVERLAY")) {
        std::vector<char*> args = {const_cast<char*>(KW_OVERLAY_ROOT_SH), const_cast<char*>("env"),
                                   const_cast<char*>("KW_APT_BENCH_IN_OVERLAY=1")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(args[0], args.data());
        fprintf(stderr, "%s: cannot start %s: %s\n", argv[0], KW_OVERLAY_ROOT_SH, strerror(errno));
        return 1;
    }
    std::system(
        "rm -rf /etc/apt/sources.list /etc/apt/sources.list.d/* /var/lib/apt/lists/* && "
        "mkdir -p /var/lib/apt/lists/partial");
    writeRepository();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
