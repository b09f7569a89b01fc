// Reading the extension catalogue feed, which every build-file load with a catalogue section waits
// for: the JSON reader of the program next to Debian's python3 and its json module on the same text
// (interpreter start-up included, as a user of the tool pays it).
#include <unistd.h>

#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include "common/Log.h"
#include "installer/ExtCatalogFeed.h"

namespace {

const int ITEMS = 2000;  // more than a catalogue holds today

const std::string& feedText()
{
    static const std::string text = [] {
        std::string json = "[";
        for (int i = 0; i < ITEMS; ++i) {
            const std::string code = "extension-" + std::to_string(i * 7919 % ITEMS);
            json += std::string(i ? "," : "") + "\n{\"code\": \"" + code + "\", \"name\": \"Extension " +
                    std::to_string(i) + "\", \"download_url\": \"https://ext.example/packages/" + code +
                    "-1.2.3.zip\", \"description\": \"An extension of the panel\", \"version\": \"1.2.3\"}";
        }
        return json + "\n]\n";
    }();
    return text;
}

struct FixedDownloader : ExtCatalog::IFeedDownloader {
    std::string download(const std::string&, const std::string&, const std::string&) override { return feedText(); }
};

void BM_FeedRead(benchmark::State& state)
{
    Log::consoleLevel = -1;  // the progress line would only blur the figures
    ExtCatalog::Feed feed(boost::make_shared<FixedDownloader>());
    size_t items = 0;
    for (auto _ : state)
        items = feed.getPackages("unix", "18.0").size();
    state.counters["items"] = items;
}
BENCHMARK(BM_FeedRead)->Unit(benchmark::kMillisecond);

// The reference: python3 reads the same text into a map by code.
void BM_Python3JsonLoad(benchmark::State& state)
{
    char path[] = "/tmp/kw-feed-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, feedText().data(), feedText().size()) != static_cast<ssize_t>(feedText().size())) {
        state.SkipWithError("cannot write the feed");
        return;
    }
    close(fd);
    const std::string command = std::string(
                                    "/usr/bin/python3 -c 'import json, sys\n"
                                    "items = {i[\"code\"]: i for i in json.load(open(sys.argv[1]))}\n"
                                    "print(len(items))' ") +
                                path;
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        char line[64] = {0};
        benchmark::DoNotOptimize(fgets(line, sizeof(line), pipe));
        pclose(pipe);
    }
    unlink(path);
}
BENCHMARK(BM_Python3JsonLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
