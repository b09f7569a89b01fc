#ifndef KW_TESTS_SUPPORT_COMMANDLINE_H
#define KW_TESTS_SUPPORT_COMMANDLINE_H

#include <string>
#include <vector>

#include "installer/Options.h"

// The settings record as the program makes it from its command line: the words after the program's
// own name, parsed in the calling process.
Options optionsFromCommandLine(std::vector<std::string> args);

#endif
