// kw_entry_probe KIND: opens the log file at its usual place, runs the program entry with a body that
// ends as KIND says, and exits with the entry's code. KIND: exit:N, interrupted, runtime:ERRNO, int.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include <boost/exception/enable_current_exception.hpp>

#include "common/Log.h"
#include "common/Progress.h"
#include "common/fileops.h"
#include "installer/SystemExit.h"
#include "installer/run_program.h"

namespace {

const char* const LOG_DIR = "/var/log/zanth/install";

void body(const std::string& kind)
{
    if (kind.compare(0, 5, "exit:") == 0)
        throw boost::enable_current_exception(driver::SystemExit{std::atoi(kind.c_str() + 5)});
    if (kind == "interrupted")
        throw Progress::Interrupted(SIGINT);
    if (kind.compare(0, 8, "runtime:") == 0) {
        std::runtime_error failure("probe failure");
        errno = std::atoi(kind.c_str() + 8);
        throw failure;
    }
    if (kind == "int")
        throw 7;
    std::cerr << "kw_entry_probe: unknown kind " << kind << std::endl;
    std::exit(64);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: kw_entry_probe exit:N|interrupted|runtime:ERRNO|int" << std::endl;
        return 64;
    }
    fileops::create_directory(LOG_DIR);
    Log::openFile(std::string(LOG_DIR) + "/kitwright3.log", false);
    const std::string kind = argv[1];
    return driver::run_program([&kind](int, char**) { body(kind); }, argc, argv);
}
