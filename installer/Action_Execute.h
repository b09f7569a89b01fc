#ifndef KW_INSTALLER_ACTION_EXECUTE_H
#define KW_INSTALLER_ACTION_EXECUTE_H

#include <string>

#include "installer/Action.h"

// A program run by a package action ("execute" element).
class Action_Execute : public BaseAction {
public:
    // Reads "program" and "command-line" (required), then "working-dir", "context" and "arch".
    void load(TiXmlElement* element, const Package* package) override;
    // Runs the program with the command line, both expanded, in the expanded working directory (the
    // current one when empty) and returns the raw wait status: exit code 1 gives 256.
    int execute() override;

    std::string command_line;
    std::string program;
    std::string working_dir;
    std::string context;  // context and arch are only described, they restrict nothing
    std::string arch;
};

#endif
