// The cost of reading a large build file: 2,000 components of 5 packages each, with key packages,
// relations and a settings element, read into its records next to `xmllint --noout` on the same
// file, the floor for merely parsing it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "common/Log.h"
#include "installer/BuildInfFile.h"
#include "installer/Options.h"

namespace {

const int COMPONENTS = 2000;
const int PACKAGES_PER_COMPONENT = 5;

// Written once per run, removed at exit.
const std::string& buildFile()
{
    static const std::string path = [] {
        char name[] = "/tmp/kw-buildinf-bench-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            abort();
        close(fd);
        std::ofstream out(name);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<build os_name=\"Linux\" os_vendor=\"Debian\" os_version=\"12\" os_arch=\"x86_64\" environment=\"\""
               " build_dir=\"debian/12/x86_64\" gpgcheck=\"yes\">\n"
               "  <product id=\"zanth\"><keypackages><keypackage>c0-p0</keypackage></keypackages>"
               "<release id=\"zanth-18\" version=\"18.0.61\"/></product>\n";
        char line[512];
        for (int c = 0; c < COMPONENTS; ++c) {
            snprintf(line, sizeof line,
                     "  <component name=\"c%d\" description=\"Component %d\" classes=\"aspect=panel,tier=%d\">\n"
                     "    <keypackages><keypackage name=\"c%d-p0\"/><nokeypackage name=\"c%d-old\"/></keypackages>\n"
                     "    <requires>c%d</requires><conflicts>c%d-legacy</conflicts>\n",
                     c, c, c % 3, c, c, (c + 1) % COMPONENTS, c);
            out << line;
            for (int p = 0; p < PACKAGES_PER_COMPONENT; ++p) {
                snprintf(line, sizeof line,
                         "    <package name=\"c%d-p%d\" version=\"18.0.%d\" release=\"1\" arch=\"amd64\""
                         " file=\"c%d-p%d_18.0.%d-1_amd64.deb\" md5=\"%032x\" buildtime=\"1700000000\" size=\"%d\"%s\n",
                         c, p, p, c, p, p, c * 8 + p, 1000 + p, p == 0 ? ">" : "/>");
                out << line;
                if (p == 0)
                    out << "      <settings><setting name=\"port\" type=\"int\" default=\"8443\"/></settings>\n"
                           "    </package>\n";
            }
            out << "  </component>\n";
        }
        out << "  <thirdparty thirdparty_dir=\"thirdparty\"/>\n  <extras extras_dir=\"extras\"/>\n</build>\n";
        static std::string kept = name;
        atexit([] { unlink(kept.c_str()); });
        return std::string(name);
    }();
    return path;
}

void BM_BuildInfFile(benchmark::State& state)
{
    const std::string& path = buildFile();
    // As in a run: the log file open at its default threshold.
    Log::openFile("/dev/null", false);
    Options::instance().workMode = Options::NON_INTERACTIVE;
    size_t components = 0;
    for (auto _ : state) {
        BuildInfFile file(path, "bench.inf3");
        components = file.components.size();
        benchmark::DoNotOptimize(components);
    }
    if (components != COMPONENTS)
        state.SkipWithError("components were lost");
}
BENCHMARK(BM_BuildInfFile)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_XmllintNoout(benchmark::State& state)
{
    const std::string command = "xmllint --noout " + buildFile();
    for (auto _ : state)
        if (system(command.c_str()) != 0)
            state.SkipWithError("xmllint failed");
}
BENCHMARK(BM_XmllintNoout)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
