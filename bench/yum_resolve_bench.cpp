// Resolving a selection on the RPM family: the backend's solve run of the dnf helper (its start, dnf's
// work, the parsing of its lines) next to dnf alone computing the same transaction. Runs as root in a
// child chrooted into a throw-away overlay of /, over the test fixture's rpm repositories.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <benchmark/benchmark.h>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Package.h"
#include "installer/ComponentManager.h"
#include "installer/Installer.h"
#include "installer/Options.h"
#include "installer/YumConfigurator.h"
#include "tests/support/TempDir.h"
#include "tests/support/YumProduct.h"

namespace {

const char DNF_ALONE[] =
    "dnf-3 --assumeno --allowerasing --setopt=install_weak_deps=0 --enablerepo=zanth-10 install kwt-a kwt-c-2.0 "
    "kwt-x kwt-e >/dev/null 2>&1";

YumConfigurator* configurator = nullptr;

const Package* productPackage(const char* name, const char* version, Package::type_t type)
{
    Package* package = new Package(name, version);
    package->setArch("noarch");
    package->setType(type);
    return package;
}

void BM_InstallYumResolve(benchmark::State& state)
{
    ComponentManager manager;
    manager.additionalPackages = {productPackage("kwt-a", "1.0-1", Package::TYPE_SYSTEM),
                                  productPackage("kwt-c", "2.0-1", Package::TYPE_BUILD),
                                  productPackage("kwt-x", "1.0-1", Package::TYPE_SYSTEM),
                                  productPackage("kwt-e", "1:3.0-1", Package::TYPE_BUILD)};
    for (auto _ : state) {
        std::unique_ptr<Installer> installer(configurator->createInstaller(&manager));
        // The request and its dependency kwt-b.
        if (installer->resolve().size() != 5) {
            state.SkipWithError(
                ("unexpected transaction of " + std::to_string(installer->getPackages().size())).c_str());
            return;
        }
    }
}
BENCHMARK(BM_InstallYumResolve)->Unit(benchmark::kMillisecond)->Iterations(10);

// dnf exits 1 when it answers no to the transaction it showed.
void BM_DnfAlone(benchmark::State& state)
{
    for (auto _ : state)
        if (WEXITSTATUS(std::system(DNF_ALONE)) != 1) {
            state.SkipWithError("dnf failed");
            return;
        }
}
BENCHMARK(BM_DnfAlone)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const TempDir dir("/var/tmp");
    // The child's own standard output is captured: the figures go to ours.
    const int console = dup(1);
    runChecksOnDnfSystem([&] {
        dup2(console, 1);
        Log::consoleLevel = -1;
        Options::instance().skipGpgCheck = true;
        YumProduct product(dir.path());
        YumConfigurator yum("", &product.sources, &product.repository);
        yum.configure();
        configurator = &yum;
        std::system(DNF_ALONE);  // dnf's metadata cache filled once for both
        benchmark::RunSpecifiedBenchmarks();
        std::fflush(stdout);
    });
    return ::testing::Test::HasFailure() ? 1 : 0;
}
