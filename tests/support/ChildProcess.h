#ifndef KW_TESTS_SUPPORT_CHILDPROCESS_H
#define KW_TESTS_SUPPORT_CHILDPROCESS_H

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Runs test code in a forked child, for state that is process-wide (the log, the message
// catalog, the environment) or for fixed system paths, which the child sees through a private mount
// namespace so that the host is never changed.
struct ChildOptions {
    // Environment changes made in the child before the body runs; an entry without value unsets.
    std::vector<std::pair<std::string, const char*>> env;
    // Directories covered by a fresh tmpfs in a private mount namespace (e.g. "/var/log", "/tmp").
    std::vector<std::string> tmpfs;
    // The size limit of each of those tmpfs (e.g. "64k", to fill a disk); empty: tmpfs's default.
    std::string tmpfs_size;
    // Directories overlaid in place in a private mount namespace (e.g. "/etc", "/var"): the child
    // reads the host's files and writes into an upper layer that is deleted when it ends, so that it
    // can really install packages. The layers lie under the host's /tmp, which cannot be one of them.
    std::vector<std::string> overlays;
    // Files or directories bind-mounted over system paths: source -> target.
    std::vector<std::pair<std::string, std::string>> binds;
    // A private System V IPC namespace (shared memory segments).
    bool private_ipc = false;
    // A private network namespace: a loopback interface that is down, and whatever the body adds.
    bool private_net = false;
    // When not empty: a private UTS namespace whose host name is this.
    std::string hostname;
    // When set: the child's standard input is a pipe that carries this text. The pipe is closed
    // after the text, so that reading meets the end of the input, unless input_stays_open is set:
    // then it stays open until the child ends, and a read past the text waits (for a signal, say).
    // Unset: the child reads the parent's standard input.
    std::optional<std::string> input;
    bool input_stays_open = false;
};

struct ChildResult {
    int exit_code = -1;  // the child's exit status; 128 + signal when killed
    std::string out;     // what the child wrote to standard output
    std::string err;     // what the child wrote to standard error
};

// The body's return value becomes the exit code; an exception that escapes it is written to
// standard error and gives exit code 99.
ChildResult runInChild(const std::function<int()>& body, const ChildOptions& options = ChildOptions());

// Options for code that records progress: the shared status record and the installer lock, fixed
// names in /tmp and System V IPC, stay private to the child.
ChildOptions privateProgressOptions();

// Options for code that really installs or removes packages with the system's tools: /etc, /usr,
// /var and /root overlaid, and progress private as privateProgressOptions() keeps it.
ChildOptions overlayRootOptions();

// Runs gtest checks in a child: a failed EXPECT or ASSERT inside the body prints its message to the
// child's standard output, as in the parent, and makes the exit code 1.
ChildResult runChecksInChild(const std::function<void()>& body, const ChildOptions& options = ChildOptions());

// What a /bin/sh command line writes to standard output (popen), for tests that need a second
// process inside the namespaces of a child.
std::string shellOutput(const std::string& command);

#endif
