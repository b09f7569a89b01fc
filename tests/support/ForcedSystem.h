#ifndef KW_TESTS_SUPPORT_FORCEDSYSTEM_H
#define KW_TESTS_SUPPORT_FORCEDSYSTEM_H

#include <functional>
#include <string>

#include "tests/support/ChildProcess.h"

// A running system forced through the operating-system overrides; an empty field is detected as
// usual. The system is detected once per process, so forced systems live in children.
struct ForcedSystem {
    std::string name, vendor, version, arch, environment;

    // Sets the overrides; call it before anything detects the system.
    void apply() const;
};

// Runs gtest checks (as runChecksInChild) in a child whose running system is `system`, detected
// before the body runs so that the detection's log line comes first.
ChildResult runChecksOnSystem(const ForcedSystem& system, const std::function<void()>& body,
                              const ChildOptions& options = ChildOptions());

#endif
