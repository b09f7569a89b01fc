// kw_driver_probe [ARG]...: the program's driver with fake flows in place of the real ones, chosen
// by the environment variable KW_FAKE_FLOW, for the tests of the driver's guards, exits and signals.
// KW_FAKE_WORK_MODE, when set, replaces the work mode that the settings chose.
//   ok                  returns
//   error, http404-default, http404-other, tinybind, unhappy, need-self-upgrade, runtime, int
//                       throws that kind of exception
//   stdin               waits on standard input, acting on signals at its safe point
//   unsafe-sleep        marks cancelling unsafe, then sleeps a second without acting on signals
//   hold                writes /tmp/kw-flow-started, waits for /tmp/kw-flow-release, then writes
//                       /tmp/kw-flow-done with its working directory and the targets of its streams
// Every flow first writes /tmp/kw-flow-started.
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string>

#include "common/PkgManager.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/http_error.h"
#include "common/tinybind.h"
#include "installer/Options.h"
#include "installer/SelfUpgrade.h"
#include "installer/driver_main.h"
#include "installer/flows.h"
#include "installer/run_program.h"

namespace {

std::string kind;

bool exists(const char* path)
{
    return access(path, F_OK) == 0;
}

std::string linkTarget(const std::string& path)
{
    char target[PATH_MAX] = {};
    return readlink(path.c_str(), target, sizeof(target) - 1) < 0 ? "?" : target;
}

void fakeFlow()
{
    std::ofstream("/tmp/kw-flow-started") << getpid() << "\n";
    if (kind == "ok")
        return;
    if (kind == "error")
        throw error(E_REPOSITORY, REP_LATER, SYS_UNSURE, SUPP_MAYBE) << "fake failure";
    if (kind == "http404-default" || kind == "http404-other") {
        const std::string base = kind == "http404-default" ? Options::DEFAULT_SOURCE_URL : "https://mirror.test/";
        throw http_error(base + "products.inf3", 404) << "fake 404";
    }
    if (kind == "tinybind")
        throw tinybind::err(3, "fake XML failure");
    if (kind == "unhappy")
        throw PkgManager::unhappy();
    if (kind == "need-self-upgrade")
        throw SelfUpgrade::NeedSelfUpgrade();
    if (kind == "runtime")
        throw std::runtime_error("fake runtime failure");
    if (kind == "int")
        throw 7;
    if (kind == "stdin") {
        char c;
        for (;;) {
            const ssize_t n = read(0, &c, 1);
            if (n < 0 && errno == EINTR)
                Progress().checkInterrupted();
            else if (n <= 0)
                return;
        }
    }
    if (kind == "unsafe-sleep") {
        Progress().markCancelUnsafe();
        const time_t end = time(nullptr) + 2;
        while (time(nullptr) < end)
            usleep(100000);
        Progress().checkInterrupted();
        return;
    }
    if (kind == "hold") {
        while (!exists("/tmp/kw-flow-release"))
            usleep(20000);
        char cwd[PATH_MAX] = {};
        std::ofstream("/tmp/kw-flow-done") << (getcwd(cwd, sizeof(cwd)) ? cwd : "?") << "\n"
                                           << linkTarget("/proc/self/fd/0") << "\n"
                                           << linkTarget("/proc/self/fd/1") << "\n"
                                           << linkTarget("/proc/self/fd/2") << "\n";
        return;
    }
    throw std::logic_error("kw_driver_probe: unknown KW_FAKE_FLOW " + kind);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* flow = getenv("KW_FAKE_FLOW");
    kind = flow ? flow : "ok";
    driver::flows().nonInteractive = fakeFlow;
    driver::flows().interactive = fakeFlow;
    if (const char* mode = getenv("KW_FAKE_WORK_MODE")) {
        Options::argc = argc;
        Options::argv = argv;
        Options::instance().workMode = static_cast<Options::WorkMode>(std::atoi(mode));
    }
    return driver::run_program(driver::main, argc, argv);
}
