#ifndef KW_INSTALLER_COMMANDDESCRIPTION_H
#define KW_INSTALLER_COMMANDDESCRIPTION_H

#include <cstdint>
#include <string>

#include <boost/program_options/options_description.hpp>
#include <boost/program_options/positional_options.hpp>

class Options;

// What one command of the command syntax accepts and how its help reads, at one verbosity: 0 the
// command's own options, 1 also the common groups, 2 also their verbose options, 100 and above the
// positional words too (the form that parses).
class CommandDescription {
public:
    // The values are bound to the members of `options`. With detectedDefaults the operating-system
    // overrides show the running system as their defaults, which detects it: only help text asks so,
    // because a parse must store the overrides before anything detects the system.
    CommandDescription(Options& options, const std::string& command, uint64_t verbosity, bool detectedDefaults);

    // The known commands, in the order of their help.
    static bool isCommand(const std::string& name);

    boost::program_options::options_description options;
    boost::program_options::positional_options_description positional;
    std::string synopsis;
    std::string description;  // the command's text with the example product, version and release filled in
    std::string verboseHint;  // empty unless the help leaves options out
};

#endif
