// Throughput of the package model's hot paths: version comparison (the repository and the resolver
// compare versions all the time) and reading installed-package cache records (every run reads the
// whole package database in this form). The package tools' own libraries compare the same pairs for
// reference: libapt-pkg the Debian texts, librpm the RPM ones (epoch, then rpmvercmp of version and
// release).
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <apt-pkg/debversion.h>
#include <benchmark/benchmark.h>
#include <rpm/rpmver.h>

#include "common/Package.h"
#include "common/Version.h"

namespace {

std::vector<std::string> versionTexts(bool debian)
{
    std::mt19937 random(1);
    std::uniform_int_distribution<int> number(0, 30);
    std::uniform_int_distribution<int> coin(0, 3);
    std::vector<std::string> texts;
    for (int i = 0; i < 1024; ++i) {
        std::string text;
        if (coin(random) == 0)
            text += std::to_string(number(random) % 3) + ":";
        text += std::to_string(number(random)) + "." + std::to_string(number(random)) + "." +
                std::to_string(number(random));
        if (coin(random) == 0)
            text += debian ? "~rc" + std::to_string(number(random)) : "rc" + std::to_string(number(random));
        text += "-" + std::to_string(number(random)) + (debian ? "+deb12u" : ".el9_") + std::to_string(coin(random));
        texts.push_back(text);
    }
    return texts;
}

// Every benchmark of a version order walks the same pairs of the same 1,024 texts.
template <typename T, typename Compare>
void comparePairs(benchmark::State& state, const std::vector<T>& versions, Compare compare)
{
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(compare(versions[i % versions.size()], versions[(i * 7 + 3) % versions.size()]));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

template <typename V>
void compareVersions(benchmark::State& state)
{
    std::vector<std::unique_ptr<Version>> versions;
    for (const std::string& text : versionTexts(std::is_same<V, DebVersion>::value))
        versions.emplace_back(new V(text));
    comparePairs(state, versions,
                 [](const std::unique_ptr<Version>& a, const std::unique_ptr<Version>& b) { return a->compare(*b); });
}

void BM_VersionCompare(benchmark::State& state)
{
    compareVersions<Version>(state);
}
BENCHMARK(BM_VersionCompare);

void BM_DebVersionCompare(benchmark::State& state)
{
    compareVersions<DebVersion>(state);
}
BENCHMARK(BM_DebVersionCompare);

void BM_LibaptDebianCompare(benchmark::State& state)
{
    const std::vector<std::string> texts = versionTexts(true);
    comparePairs(state, texts, [](const std::string& a, const std::string& b) {
        return debVS.DoCmpVersion(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
    });
}
BENCHMARK(BM_LibaptDebianCompare);

// The RPM texts split as the package header holds them: epoch, version, release.
struct RpmEvr {
    unsigned long epoch;
    std::string version;
    std::string release;
};

void BM_LibrpmCompare(benchmark::State& state)
{
    std::vector<RpmEvr> versions;
    for (const std::string& text : versionTexts(false)) {
        Version v(text);
        versions.push_back({static_cast<unsigned long>(v.getEpoch()), v.getVersion(), v.getRelease()});
    }
    comparePairs(state, versions, [](const RpmEvr& a, const RpmEvr& b) {
        if (a.epoch != b.epoch)
            return a.epoch < b.epoch ? -1 : 1;
        int result = rpmvercmp(a.version.c_str(), b.version.c_str());
        return result ? result : rpmvercmp(a.release.c_str(), b.release.c_str());
    });
}
BENCHMARK(BM_LibrpmCompare);

void BM_VersionParse(benchmark::State& state)
{
    const std::vector<std::string> texts = versionTexts(false);
    size_t i = 0;
    for (auto _ : state) {
        Version v(texts[i++ % texts.size()]);
        benchmark::DoNotOptimize(v.getRelease().data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VersionParse);

// Records like those of the installed-package queries: the brief Debian form (a few provides)
// and the full rpm form (requirements and a group per packaged file).
std::string cacheRecords(int count, int files)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        const std::string name = "package" + std::to_string(i % 400);
        if (files == 0) {
            text += "F:" + name + "_installed.deb\nN:" + name + "\nV:1:2." + std::to_string(i % 17) +
                    "-3+deb12u1\nA:amd64\nP:" + name + "-abi (= 2)\nP:virtual-" + std::to_string(i % 9) + "\nX:\n";
            continue;
        }
        text += "F:system_installed_" + name + "-2.4-1.el9.x86_64.rpm\nN:" + name +
                "\nE:(none)\nV:2.4\nL:1.el9\nA:x86_64\nf:1700000000\nB:1690000000\n";
        text += "R:/bin/sh\nR:libc.so.6()(64bit)\nR:rpmlib(CompressedFileNames) <= 3.0.4-1\nR:glibc >= 2.34\n";
        text += "P:" + name + " = 2.4-1.el9\nP:" + name + "(x86-64) = 2.4-1.el9\n";
        for (int f = 0; f < files; ++f)
            text += "P:/usr/share/" + name + "/file" + std::to_string(f) +
                    "\nm:33188\n5:0123456789abcdef0123456789abcdef\n";
        text += "X:\n";
    }
    return text;
}

void readRecords(benchmark::State& state, int files)
{
    const int count = 1000;
    std::string text = cacheRecords(count, files);
    for (auto _ : state) {
        FILE* in = fmemopen(&text[0], text.size(), "r");
        int lines = 0;
        for (int i = 0; i < count; ++i)
            delete Package::createFromCache(in, &lines);
        fclose(in);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_CacheRecordsBrief(benchmark::State& state)
{
    readRecords(state, 0);
}
BENCHMARK(BM_CacheRecordsBrief)->Unit(benchmark::kMillisecond);

// File dependencies are never freed (their pools only grow), so this one runs a bounded number of
// times.
void BM_CacheRecordsFull(benchmark::State& state)
{
    readRecords(state, 20);
}
BENCHMARK(BM_CacheRecordsFull)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
