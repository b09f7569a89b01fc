// Setting up the product's signing keys, which every configuration of an apt system waits for: the
// key manager (a temporary home, two imports, the keyring export) next to the same work done by gpg
// alone from one shell line.
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "common/Log.h"
#include "installer/GpgKeyManager.h"

namespace {

const std::string KEYS = KW_BENCH_KEYS_DIR;

std::string readKey(const std::string& name)
{
    std::string text;
    if (FILE* file = fopen((KEYS + "/" + name).c_str(), "r")) {
        char block[4096];
        for (size_t n; (n = fread(block, 1, sizeof block, file)) > 0;)
            text.append(block, n);
        fclose(file);
    }
    return text;
}

void BM_AptGpgKeyManager(benchmark::State& state)
{
    Log::consoleLevel = -1;
    const std::string product = readKey("product.asc");
    const std::string security = readKey("product-security.asc");
    for (auto _ : state) {
        AptGpgKeyManager manager;
        manager.importKey(product);
        manager.importKey(security);
        manager.exportKeyring("/tmp/kw-keys-bench/zanth.gpg");
    }
    std::system("rm -rf /tmp/kw-keys-bench");
}
BENCHMARK(BM_AptGpgKeyManager)->Unit(benchmark::kMillisecond);

// The reference: gpg imports both keys in one call and exports them, in a home of its own.
void BM_GpgAlone(benchmark::State& state)
{
    const std::string command =
        "h=$(mktemp -d) && gpg --no-options --homedir $h --batch --quiet --import " + KEYS + "/product.asc " + KEYS +
        "/product-security.asc 2>/dev/null && mkdir -p /tmp/kw-keys-ref && " +
        "gpg --no-options --homedir $h --batch --yes --export -o /tmp/kw-keys-ref/zanth.gpg && rm -rf $h";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("gpg failed");
            return;
        }
    std::system("rm -rf /tmp/kw-keys-ref");
}
BENCHMARK(BM_GpgAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
