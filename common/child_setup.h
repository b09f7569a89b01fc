#ifndef KW_COMMON_CHILD_SETUP_H
#define KW_COMMON_CHILD_SETUP_H

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// What a forked child of this (threaded) program may do before it executes a command. Another thread
// may have held the log mutex, the catalog mutex or a stdio lock at the moment of the fork, and the
// child would wait for it forever. So everything the child needs is prepared in the parent, and the
// child only makes system calls.
namespace child_setup {

// The program's environment with some variables forced to a value, prepared for execve.
class Environment {
public:
    explicit Environment(std::initializer_list<std::pair<const char*, const char*>> forced);
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    char* const* get() const { return pointers.data(); }

private:
    std::vector<std::string> entries;
    std::vector<char*> pointers;
};

// In the child: puts fds[i] on descriptor i for every fds[i] >= 0, whatever the numbers are (a pipe
// end may itself be 0, 1 or 2 when the program runs with a standard stream closed). The copies on
// 0, 1 and 2 survive exec; the pipes themselves are close-on-exec. False on failure, with errno set.
bool placeStandardStreams(int in, int out, int err);

// Starts "/bin/sh" with `argv` and `env` and with in, out and err (each -1 to keep the program's own)
// on descriptors 0, 1 and 2, like fork, placeStandardStreams and execve, without copying the
// program's page tables: the child gets the same descriptors, environment, signal mask, signal
// dispositions and working directory. Returns 0 and sets `pid`, or the error number of the start.
int spawnShell(int in, int out, int err, const char* const argv[], const Environment& env, pid_t& pid);

// Writes all of the data unless the descriptor fails (a signal does not stop it). Safe in the child.
void writeAll(int fd, const char* data, size_t length);

// In the child: writes the texts one after another to descriptor 2.
void writeStderr(std::initializer_list<const char*> texts);

// The system's English text for an error number; safe in the child (no locale, no allocation).
const char* errorText(int err);

}  // namespace child_setup

#endif
