#ifndef KW_TESTS_SUPPORT_TOOL_H
#define KW_TESTS_SUPPORT_TOOL_H

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

// Runs a program with the arguments, without a shell, in a child set up as `options` says.
ChildResult runProgram(const std::string& path, const std::vector<std::string>& args,
                       const ChildOptions& options = ChildOptions());

// Runs one of the test tools of tests/tools (kw_options_dump, kw_reply_probe, kw_entry_probe).
ChildResult runTool(const std::string& name, const std::vector<std::string>& args,
                    const ChildOptions& options = ChildOptions());

#endif
