#ifndef KW_TESTS_SUPPORT_LOGGEDRUN_H
#define KW_TESTS_SUPPORT_LOGGEDRUN_H

#include <functional>
#include <string>

#include "tests/support/ChildProcess.h"

struct LoggedRun {
    int exit_code = -1;  // 0 when the checks passed, 1 after a failed check, 99 after an escaped exception
    std::string out;     // the checks' failure messages and whatever else the body printed
    // Every line the body logged, in order, as its level, a blank and its text.
    std::string log;
    std::string console;  // the raw standard error of the child
};

// Runs gtest checks in a child (runChecksInChild) with the log's four sinks set to the thresholds 3
// (console), 2 (file), 1 (mail) and 0 (web capture), and tells each logged line's level from the
// sinks that received it.
LoggedRun runLogged(const std::function<void()>& checks, const ChildOptions& options = ChildOptions());

// The lines of a levelled log whose text (after the level) matches the regular expression (Perl
// syntax) somewhere: a test keeps the lines of the code it checks.
std::string linesMatching(const std::string& log, const std::string& pattern);

#endif
