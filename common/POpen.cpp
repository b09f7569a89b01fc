#include "common/POpen.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/SystemCmd.h"
#include "common/child_setup.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"

namespace {

const Messages messages;

const int exec_failed_status = 251;

void closeFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void echoToLog(const char* data, ssize_t length)
{
    Log::stream line(Log::LEVEL_ERROR, Log::LINE_PART);
    line.write(data, static_cast<int>(length));
}

error execError(int e_class, int e_rep, int e_sys, int e_supp, const std::string& text, const std::string& command)
{
    return error(e_class, e_rep, e_sys, e_supp) << text << format_message(messages.get("err_exec_cmd"), command);
}

error forkError(int err, const std::string& command)
{
    Log::stream(Log::LEVEL_INFO, true) << messages.get("err_exec_forkfail") << " (" << strerror(err) << ").";
    return execError(E_SYSTEM, REP_NONE, SYS_UNSET, SUPP_MAYBE, messages.get("err_exec_forkfail"), command);
}

// The processes below `root`, from the parent links in /proc; collected before any of them is
// signalled, since a killed parent's children are handed to another.
std::vector<pid_t> descendantsOf(pid_t root)
{
    std::multimap<pid_t, pid_t> children;
    if (DIR* dir = opendir("/proc")) {
        while (const dirent* entry = readdir(dir)) {
            char* end = nullptr;
            const long pid = strtol(entry->d_name, &end, 10);
            if (pid <= 0 || *end != '\0')
                continue;
            std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
            std::string line;
            std::getline(stat, line);
            // The command name in parentheses may hold blanks and parentheses itself.
            const size_t name_end = line.rfind(')');
            if (name_end == std::string::npos)
                continue;
            std::istringstream rest(line.substr(name_end + 1));
            char state = 0;
            long parent = 0;
            if (rest >> state >> parent)
                children.emplace(static_cast<pid_t>(parent), static_cast<pid_t>(pid));
        }
        closedir(dir);
    }
    std::vector<pid_t> found;
    std::vector<pid_t> pending(1, root);
    while (!pending.empty()) {
        const pid_t parent = pending.back();
        pending.pop_back();
        const auto range = children.equal_range(parent);
        for (auto it = range.first; it != range.second; ++it) {
            found.push_back(it->second);
            pending.push_back(it->second);
        }
    }
    return found;
}

// Stops a cancelled command. The shell does not pass SIGTERM on to the program it runs, so the
// program and whatever it started get the signal as well; otherwise they would go on working (and
// holding their locks) after the installer has stopped.
void terminateCommand(pid_t pid)
{
    const std::vector<pid_t> descendants = descendantsOf(pid);
    kill(pid, SIGTERM);
    for (pid_t descendant : descendants)
        kill(descendant, SIGTERM);
}

const char* const cgroup_files[] = {
    "/sys/fs/cgroup/unified/system.slice/cgroup.procs",
    "/sys/fs/cgroup/systemd/system.slice/tasks",
};

enum cgroup_result_t { CGROUP_NOT_WRITABLE, CGROUP_JOINED, CGROUP_WRITE_FAILED };

// Writes "0" (this process) into a control group's member list. Raw system calls only: the detached
// grandchild of exec_detached calls it too.
cgroup_result_t joinCgroup(const char* path)
{
    if (access(path, W_OK) != 0)
        return CGROUP_NOT_WRITABLE;
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return CGROUP_WRITE_FAILED;
    ssize_t n;
    while ((n = write(fd, "0", 1)) < 0 && errno == EINTR) {
    }
    const bool closed = close(fd) == 0;
    return n == 1 && closed ? CGROUP_JOINED : CGROUP_WRITE_FAILED;
}

// Reads the command's output as fgets with a buffer of 4096 bytes would (pieces of at most 4095
// bytes, each ending at a line end), but goes on after a signal interrupted the read: the installer's
// handlers do not restart system calls, and a lost piece would be a silently shortened answer.
bool readPieces(FILE* pipe, std::vector<std::string>& lines)
{
    const size_t piece_size = 4095;
    std::string piece;
    char block[4096];
    const int fd = fileno(pipe);
    auto add = [&lines, &piece]() {
        piece.push_back('\0');
        trim_in_place(&piece[0]);
        lines.push_back(piece.c_str());
        piece.clear();
    };
    for (;;) {
        const ssize_t n = read(fd, block, sizeof(block));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (!piece.empty())
                add();
            return n == 0;
        }
        for (ssize_t i = 0; i < n; ++i) {
            piece.push_back(block[i]);
            if (block[i] == '\n' || piece.size() == piece_size)
                add();
        }
    }
}

}  // namespace

struct POpen::rep {
    rep(std::istream* input_, std::ostream* output_, std::ostream* errors_)
        : pid(-1), input(input_), output(output_), errors(errors_), cancellable(false)
    {
    }
    ~rep()
    {
        for (int* pipe : {errors_pipe, output_pipe, input_pipe}) {
            closeFd(pipe[0]);
            closeFd(pipe[1]);
        }
    }

    int input_pipe[2] = {-1, -1};  // read end, write end
    int output_pipe[2] = {-1, -1};
    int errors_pipe[2] = {-1, -1};
    pid_t pid;
    std::istream* input;
    std::ostream* output;
    std::ostream* errors;
    bool cancellable;
};

POpen::POpen(const std::string& command, std::istream* input, std::ostream* output, std::ostream* errors)
    : POpen(command, input, output, errors, std::string())
{
}

POpen::POpen(const std::string& command, std::istream* input, std::ostream* output, std::ostream* errors,
             const std::string& workdir)
{
    if (!input || !output || !errors)
        throw KW_INTERNAL_ERROR();
    r.reset(new rep(input, output, errors));
    for (int* pipe : {r->input_pipe, r->output_pipe, r->errors_pipe})
        if (pipe2(pipe, O_CLOEXEC) != 0)
            throw execError(E_SYSTEM, REP_NONE, SYS_UNSET, SUPP_MAYBE, messages.get("err_exec_pipefail"), command);

    const child_setup::Environment env({{"LC_ALL", "C"}, {"LANG", "C"}, {"LANGUAGE", "C"}});
    const char* const argv[] = {"sh", "-c", command.c_str(), nullptr};

    r->pid = fork();
    if (r->pid < 0)
        throw forkError(errno, command);
    if (r->pid == 0) {
        if (!child_setup::placeStandardStreams(r->input_pipe[0], r->output_pipe[1], r->errors_pipe[1])) {
            child_setup::writeStderr(
                {"POpen: can't set up the standard streams: ", child_setup::errorText(errno), "\n"});
            _exit(exec_failed_status);
        }
        if (!workdir.empty() && chdir(workdir.c_str()) != 0) {
            // The command then runs in the inherited directory.
        }
        execve("/bin/sh", const_cast<char* const*>(argv), env.get());
        child_setup::writeStderr({"execl: ", child_setup::errorText(errno), "\n"});
        _exit(exec_failed_status);
    }

    Log::stream(Log::LEVEL_DEBUG, true) << "POpen (child pid=" << r->pid << "): " << command;
    // The pump must never block in a read or a write: it also has to watch for the child's end.
    for (int fd : {r->input_pipe[1], r->output_pipe[0], r->errors_pipe[0]})
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

POpen::~POpen() {}

void POpen::setCancellable(bool cancellable)
{
    r->cancellable = cancellable;
}

namespace {

// One read of at most 8192 bytes from a readable child stream into its sink. End of file or an
// error closes the stream. A hang-up alone does not: the data before it is read in the next passes.
void pumpStream(pollfd& entry, int& fd, std::ostream& sink, bool echo)
{
    if (fd < 0)
        return;
    if (entry.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
        char block[8192];
        const ssize_t n = read(fd, block, sizeof(block));
        if (n > 0) {
            sink.write(block, n);
            if (echo)
                echoToLog(block, n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            closeFd(fd);
            entry.fd = -1;
        }
    }
}

// After the child has ended: everything it wrote is in the pipe. Take it, without waiting for an end
// of file that a descendant holding the pipe would never give.
void drainStream(int& fd, std::ostream& sink, bool echo)
{
    char block[8192];
    while (fd >= 0) {
        const ssize_t n = read(fd, block, sizeof(block));
        if (n > 0) {
            sink.write(block, n);
            if (echo)
                echoToLog(block, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n == 0 || errno != EAGAIN)
                closeFd(fd);
            return;
        }
    }
}

}  // namespace

int POpen::wait(bool echo)
{
    rep& p = *r;
    pollfd entries[3] = {{p.input_pipe[1], POLLOUT, 0}, {p.output_pipe[0], POLLIN, 0}, {p.errors_pipe[0], POLLIN, 0}};
    auto closeInput = [&p, &entries]() {
        closeFd(p.input_pipe[1]);
        entries[0].fd = -1;
    };
    char input_block[4096];
    size_t filled = 0;
    size_t sent = 0;
    int status = 0;
    for (;;) {
        if (entries[0].fd < 0 && entries[1].fd < 0 && entries[2].fd < 0) {
            while (waitpid(p.pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        for (pollfd& entry : entries)
            entry.revents = 0;
        poll(entries, 3, 1);

        if (entries[0].revents & POLLOUT) {
            if (sent >= filled) {
                if (!p.input->good()) {
                    closeInput();
                } else {
                    p.input->read(input_block, sizeof(input_block));
                    filled = static_cast<size_t>(p.input->gcount());
                    sent = 0;
                    if (filled == 0 && !p.input->good())
                        closeInput();
                }
            }
            if (entries[0].fd >= 0 && sent < filled) {
                const ssize_t n = write(p.input_pipe[1], input_block + sent, filled - sent);
                if (n < 0) {
                    if (errno != EAGAIN && errno != EINTR)
                        closeInput();
                } else {
                    if (echo)
                        child_setup::writeAll(2, input_block + sent, static_cast<size_t>(n));
                    sent += static_cast<size_t>(n);
                }
            }
        }
        if (entries[0].fd >= 0 && (entries[0].revents & (POLLHUP | POLLERR | POLLNVAL)))
            closeInput();

        pumpStream(entries[1], p.output_pipe[0], *p.output, echo);
        pumpStream(entries[2], p.errors_pipe[0], *p.errors, echo);

        if (p.cancellable && Progress().takeCancelRequest()) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG: send SIGTERM to child process " << p.pid << " because Zanth Installer was canceled by user.";
            terminateCommand(p.pid);
        }

        const pid_t ended = waitpid(p.pid, &status, WNOHANG);
        if (ended == p.pid)
            break;
        if (ended < 0 && errno == ECHILD) {
            // Somebody else collected the child: its status is lost, which must not read as success.
            status = W_EXITCODE(255, 0);
            break;
        }
    }
    drainStream(p.output_pipe[0], *p.output, echo);
    drainStream(p.errors_pipe[0], *p.errors, echo);

    if (p.cancellable)
        Progress().checkInterrupted();
    return status;
}

int exec_command(const std::string& command, bool echo, bool check, std::ostream* output, std::ostream* errors)
{
    std::istringstream no_input;
    std::ostringstream discarded_output;
    std::ostringstream discarded_errors;
    POpen child(command, &no_input, output ? output : &discarded_output, errors ? errors : &discarded_errors);
    child.setCancellable(true);
    int status = 0;
    try {
        status = child.wait(echo);
    } catch (const error&) {
        if (check)
            throw;
        status = 0;
    }
    Progress().checkInterrupted();

    const int low_bits = status & 0x7f;
    if (low_bits != 0 && low_bits != 0x7f) {
        Log::stream(Log::LEVEL_INFO, true) << messages.get("err_exec_signal") << " (" << low_bits << ")";
        throw execError(E_SYSTEM, REP_LATER, SYS_UNSET, SUPP_MAYBE, messages.get("err_exec_signal"), command);
    }
    if (low_bits != 0)
        Log::stream(Log::LEVEL_DEBUG, true)
            << "DEBUG: child exit status is " << status << ", but I expected WIFEXITED(status)";

    const int code = (status >> 8) & 0xff;
    if (code == exec_failed_status)
        throw execError(E_SYSTEM, REP_NONE, SYS_UNSET, SUPP_NEED, messages.get("err_exec_execfail"), command);
    if (check && code == 127)
        throw execError(E_SYSTEM, REP_NONE, SYS_UNSET, SUPP_NEED,
                        format_message(messages.get("err_exec_cmd_not_found"), command_name(command)), command);
    if (check && code != 0)
        throw execError(E_UNSET, REP_UNSET, SYS_UNSET, SUPP_UNSET,
                        format_message(messages.get("err_exec_non_zero"), command_name(command), code), command);
    return code;
}

void get_command_output(std::vector<std::string>& lines, const std::string& command, const std::string& arguments)
{
    const std::string full = arguments.empty() ? command : command + " " + arguments;
    Log::stream(Log::LEVEL_DEBUG, true) << "Get output from command '" << full << "'";
    errno = 0;
    FILE* pipe = popen(full.c_str(), "re");
    if (!pipe) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "popen() error: " << strerror(errno);
        throw error(E_SYSTEM, REP_LATER, SYS_UNSURE, SUPP_MAYBE) << "Can't execute '" << command_name(full) << "'";
    }
    const bool complete = readPieces(pipe, lines);
    const int result = pclose(pipe);
    if (result != 0 || !complete) {
        if (errno != 0)
            Log::stream(Log::LEVEL_VERBOSE, true) << "pclose() error: " << strerror(errno);
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Execution of '" << command_name(full) << "' via popen() failed - pclose() returned " << result;
        throw error(E_SYSTEM, REP_LATER, SYS_UNSURE, SUPP_MAYBE)
            << "Error in execution of '" << command_name(full) << "'";
    }
}

std::vector<std::string> get_command_output(const std::string& command, const std::string& arguments)
{
    std::vector<std::string> lines;
    get_command_output(lines, command, arguments);
    return lines;
}

std::string get_command_output_line(const std::string& command, const std::string& arguments)
{
    const std::vector<std::string> lines = get_command_output(command, arguments);
    if (lines.empty()) {
        throw error() << format_message(messages.get("err_empty_output"), command_name(command))
                      << format_message(messages.get("err_exec_cmd"), command);
    }
    return lines.front();
}

void exec_detached(const std::string& command, const std::string* input)
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Execute command " << command;
    int input_pipe[2] = {-1, -1};
    if (input && pipe2(input_pipe, O_CLOEXEC) != 0)
        throw execError(E_SYSTEM, REP_NONE, SYS_UNSET, SUPP_MAYBE, messages.get("err_exec_pipefail"), command);

    const std::string exec_failed = messages.get("err_exec_execfail");
    const pid_t pid = fork();
    if (pid < 0) {
        const error e = forkError(errno, command);
        closeFd(input_pipe[0]);
        closeFd(input_pipe[1]);
        throw e;
    }
    if (pid == 0) {
        // Read-write: the command's writes to its standard output and error must succeed (and vanish),
        // not fail and make a careful script give up.
        const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null_fd < 0) {
            child_setup::writeStderr({"Unable to read from '/dev/null'\n"});
            _exit(1);
        }
        if (input)
            close(input_pipe[1]);
        if (!child_setup::placeStandardStreams(input ? input_pipe[0] : -1, null_fd, null_fd))
            _exit(1);
        if (fork() == 0) {
            for (const char* path : cgroup_files)
                if (joinCgroup(path) == CGROUP_JOINED)
                    break;
            execl("/bin/sh", "/bin/sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            child_setup::writeStderr({exec_failed.c_str(), " (", child_setup::errorText(errno), ")\n"});
            _exit(exec_failed_status);
        }
        _exit(0);
    }

    if (input) {
        closeFd(input_pipe[0]);
        {
            SigpipeBlock block;  // a command that ends without reading its input must not kill us
            child_setup::writeAll(input_pipe[1], input->data(), input->size());
        }
        closeFd(input_pipe[1]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    closeFd(input_pipe[0]);
    closeFd(input_pipe[1]);
}

void detach_from_cgroups()
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: detaching from current cgroups";
    for (const char* path : cgroup_files) {
        const cgroup_result_t result = joinCgroup(path);
        if (result == CGROUP_JOINED)
            return;
        if (result == CGROUP_WRITE_FAILED)
            Log::stream(Log::LEVEL_VERBOSE, true) << "Error writing file " << path;
    }
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "Warning: Failed to detach from parents cgroup, installer might be unexpectedly killed "
           "later by the system";
}
