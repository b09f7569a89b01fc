// kw_upgrade_probe [ARG...]: a program of its own version (set when it is built) for the self-upgrade
// tests. It answers "--print-version-of-this-binary" before anything else, as the program does;
// otherwise it runs the start-up check of the cache and prints its version, then each of its
// arguments quoted, argv[0] first.
#include <cstring>
#include <iostream>

#include "common/ProgramVersion.h"
#include "installer/Options.h"
#include "installer/SelfUpgrade.h"

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--print-version-of-this-binary") == 0) {
        std::cout << ProgramVersion::version << std::endl;
        return 0;
    }
    Options::argc = argc;
    Options::argv = argv;
    SelfUpgrade::run_cached_if_newer();
    std::cout << ProgramVersion::version;
    for (int i = 0; i < argc; ++i)
        std::cout << " '" << argv[i] << "'";
    std::cout << std::endl;
    return 0;
}
