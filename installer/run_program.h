#ifndef KW_INSTALLER_RUN_PROGRAM_H
#define KW_INSTALLER_RUN_PROGRAM_H

#include <functional>

namespace driver {

// The process entry around the whole run: calls `body` (the driver) and turns what leaves it into the
// exit code. A driver::SystemExit gives its own code; an interruption by signal, a standard exception
// and anything else are logged, answered with one error reply on standard output, and give 2, 1 and 1.
// The driver ends every run with an exception, so a body that returns gives 0, as a plain main would.
int run_program(const std::function<void(int, char**)>& body, int argc, char** argv);

}  // namespace driver

#endif
