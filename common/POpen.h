#ifndef KW_COMMON_POPEN_H
#define KW_COMMON_POPEN_H

#include <sys/types.h>

#include <iosfwd>
#include <string>
#include <vector>

#include "common/checked_pointer.h"

// One shell command ("/bin/sh -c", LC_ALL=C, LANG=C, LANGUAGE=C) with all three standard streams on
// pipes. wait() feeds the child's input from the caller's stream and copies its output and error into
// the caller's streams until the child has ended; a cancellable run stops the child when the user
// cancels (Progress::takeCancelRequest).
class POpen {
public:
    struct rep;

    // The three streams must not be null. The child starts in the current directory, or in workdir
    // when it is not empty (and exists).
    POpen(const std::string& command, std::istream* input, std::ostream* output, std::ostream* errors);
    POpen(const std::string& command, std::istream* input, std::ostream* output, std::ostream* errors,
          const std::string& workdir);
    // Closes what is still open; does not wait for the child.
    ~POpen();
    POpen(const POpen&) = delete;
    POpen& operator=(const POpen&) = delete;

    // Pumps the streams until the child has ended and returns its raw wait status. Everything the
    // child wrote before it ended reaches the streams; a descendant that keeps the pipes open does not
    // hold the caller. With echo the fed input also goes to our standard error and the child's output
    // and error to the log. A cancellable run ends with Progress::Interrupted when it was cancelled.
    int wait(bool echo);
    void setCancellable(bool cancellable);

private:
    checked_autoclean_pointer<rep> r;
};

// Runs the command through a cancellable POpen and returns its exit code. A signal that ended the
// child and a failed exec always raise an error; with check, so do exit code 127 (command not found)
// and any other code but 0. A null output or errors stream discards that stream.
int exec_command(const std::string& command, bool echo, bool check, std::ostream* output = nullptr,
                 std::ostream* errors = nullptr);

// The output lines of command + " " + arguments (the command alone when arguments is empty), each
// trimmed, run through popen with the program's environment; lines of 4096 bytes or more come in
// pieces. The command's standard error is the program's own. A non-zero exit raises error (4, 2, 2, 2).
std::vector<std::string> get_command_output(const std::string& command, const std::string& arguments = std::string());
// The same, appending the lines to `lines`.
void get_command_output(std::vector<std::string>& lines, const std::string& command,
                        const std::string& arguments = std::string());
// The first output line; no line at all raises "err_empty_output".
std::string get_command_output_line(const std::string& command, const std::string& arguments = std::string());

// Starts the command fully detached (a grandchild whose parent has ended, out of the service's control
// group), with "/dev/null" on its standard output and error and, when input is given, that text on its
// standard input. Returns once the intermediate child has ended; the exit code is never known.
void exec_detached(const std::string& command, const std::string* input = nullptr);

// Moves this process out of the service manager's control group, so that stopping the service that
// started the program does not take the installation down with it.
void detach_from_cgroups();

#endif
