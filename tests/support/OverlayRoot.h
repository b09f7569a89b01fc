#ifndef KW_TESTS_SUPPORT_OVERLAYROOT_H
#define KW_TESTS_SUPPORT_OVERLAYROOT_H

#include <functional>

#include "tests/support/ChildProcess.h"

// Runs gtest checks (as runChecksInChild) in a child chrooted into an overlay of / in a private mount
// namespace: whatever it installs, removes or writes (rpm and dnf databases, /etc, /opt, /var, the
// home directory) changes only the overlay's upper layer, deleted afterwards. /proc, /sys and /dev
// are the host's. Files of the root file system that the parent wrote before (fixtures under
// /var/tmp) are seen inside. Only the environment of the options applies.
ChildResult runChecksInOverlay(const std::function<void()>& body, const ChildOptions& options = ChildOptions());

// Inside an overlay: what Debian's dnf needs to act as on the RPM family. The release version that no
// release package provides ("/etc/dnf/vars/releasever", 8), the platform interpreter that the dnf
// helper names (a link to the python3 that can import dnf), and an empty "/etc/yum.repos.d".
void prepareDnfSystem();

#endif
