// The build loader over a generated catalogue of 40 products with one release each (four builds per
// release, two addons): the catalogue loaded from a directory, every release selected, and the
// Debian 12 build file of each loaded into the component forest, as a run does before the components
// page. Next to it, on the same files (the catalogue files and the build files the loader reads):
// `xmllint --noout`, the floor for parsing them, and python3's xml.etree parsing them in one process.
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/quiet_main.h"
#include "common/textutils.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LoadedForest.h"

namespace {

const ForcedSystem DEBIAN{"Linux", "Debian", "12", "x86_64", ""};
const size_t PRODUCTS = 40;

struct Catalogue {
    GeneratedMirror mirror{{"--scale", std::to_string(PRODUCTS), "1", "4"}};
    std::vector<std::string> releases;
    std::vector<std::string> files;  // what the loader reads, relative to the mirror

    Catalogue()
    {
        files.push_back("products.inf3");
        for (const char* kind : {"products", "addons"})
            for (const std::string& reference : mirror.list(kind, "reference"))
                files.push_back(reference);
        for (const auto& product : mirror.manifest().get_child("products"))
            for (const auto& release : product.second.get_child("releases")) {
                releases.push_back(release.second.get<std::string>("id"));
                for (const auto& build : release.second.get_child("builds"))
                    if (build.second.get<std::string>("os_vendor") == "Debian")
                        files.push_back(build.second.get<std::string>("config"));
            }
    }

    // The program followed by every file, quoted.
    std::string commandOver(const std::string& program) const
    {
        std::string command = program;
        for (const std::string& file : files)
            command += " " + shell_quote(mirror.path() + "/" + file);
        return command;
    }
};

Catalogue& catalogue()
{
    static Catalogue instance;
    return instance;
}

void BM_BuildLoader(benchmark::State& state)
{
    const Catalogue& c = catalogue();
    size_t buildFiles = 0;
    for (auto _ : state) {
        LoadedForest forest(c.mirror.path());
        forest.load(c.releases);
        buildFiles = forest.guards.size();
    }
    // Every release's build file is read; the forest keeps the first product's components only, as a
    // later build's components of a name already loaded stay out.
    if (buildFiles != PRODUCTS)
        state.SkipWithError(("build files were lost: " + std::to_string(buildFiles)).c_str());
}
BENCHMARK(BM_BuildLoader)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_XmllintNoout(benchmark::State& state)
{
    const std::string command = catalogue().commandOver("xmllint --noout");
    for (auto _ : state)
        if (system(command.c_str()) != 0)
            state.SkipWithError("xmllint failed");
}
BENCHMARK(BM_XmllintNoout)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

void BM_PythonElementTree(benchmark::State& state)
{
    const std::string command = catalogue().commandOver(
        "python3 -c 'import sys, xml.etree.ElementTree as ET\nfor f in sys.argv[1:]: ET.parse(f)'");
    for (auto _ : state)
        if (system(command.c_str()) != 0)
            state.SkipWithError("python3 failed");
}
BENCHMARK(BM_PythonElementTree)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    DEBIAN.apply();
    // The loader's settings are saved into the home directory when they go: a private one.
    if (!enterPrivateDir("buildloader_bench", "/root"))
        return 1;
    return quietBenchmarkMain(argc, argv, "buildloader_bench");
}
