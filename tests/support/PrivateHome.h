#ifndef KW_TESTS_SUPPORT_PRIVATEHOME_H
#define KW_TESTS_SUPPORT_PRIVATEHOME_H

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

// A home directory of root's own for the children of one test: a fresh directory bound over /root, a
// password file naming /root as root's home, and none of the settings variables of the caller's
// environment, so that no run ever reads the host administrator's settings. The directory goes with
// the object.
class PrivateHome {
public:
    PrivateHome();

    // Writes a file below the home directory, making its directories.
    void write(const std::string& relative, const std::string& content) const;
    // The settings dump program run in a child that sees this home.
    ChildResult dump(const std::vector<std::string>& args = {}) const;

    TempDir dir;
    // The child set-up that shows this home; callers may add to it.
    ChildOptions options;

private:
    TempDir etc;
};

#endif
