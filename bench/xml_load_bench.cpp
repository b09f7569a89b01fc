// Loading an XML file, which every catalogue and build-file read waits for: the program's loader
// (its own read, the zero padding, TinyXML's parse) next to TinyXML's own LoadFile on the same file.
#include <unistd.h>

#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

#include "common/tinybind.h"

namespace {

const int PACKAGES = 5000;  // a large build file

const std::string& xmlFile()
{
    static const std::string path = [] {
        char name[] = "/tmp/kw-xml-bench-XXXXXX";
        const int fd = mkstemp(name);
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<build>\n";
        for (int i = 0; i < PACKAGES; ++i)
            text += "  <package name=\"zanth-module-" + std::to_string(i) + "\" file=\"zanth-module-" +
                    std::to_string(i) + "_18.0.1-1_amd64.deb\" version=\"18.0.1\" release=\"1\" arch=\"amd64\"" +
                    " md5=\"d41d8cd98f00b204e9800998ecf8427e\" buildtime=\"1700000000\" size=\"2048\">\n" +
                    "    <requires>zanth-core (&gt;= 18.0)</requires>\n  </package>\n";
        text += "</build>\n";
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return std::string();
        close(fd);
        return std::string(name);
    }();
    return path;
}

void BM_TinybindDocument(benchmark::State& state)
{
    for (auto _ : state) {
        tinybind::Document doc(xmlFile());
        benchmark::DoNotOptimize(doc.get_root("build"));
    }
}
BENCHMARK(BM_TinybindDocument)->Unit(benchmark::kMillisecond);

// The reference: TinyXML reads and parses the file itself.
void BM_TinyXmlLoadFile(benchmark::State& state)
{
    for (auto _ : state) {
        TiXmlDocument doc(xmlFile());
        if (!doc.LoadFile())
            state.SkipWithError("TinyXML cannot load the file");
        benchmark::DoNotOptimize(doc.RootElement());
    }
}
BENCHMARK(BM_TinyXmlLoadFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::remove(xmlFile().c_str());
    return 0;
}
