#include "common/SystemCmd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <boost/thread/thread.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/child_setup.h"
#include "common/error.h"
#include "common/format_message.h"

namespace {

const Messages messages;

}  // namespace

Pipe::Pipe() : read_end(-1), write_end(-1)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NONE) << "Pipe: Can't create pipe: " << strerror(errno);
    }
    read_end = fds[0];
    write_end = fds[1];
}

Pipe::~Pipe()
{
    if (read_end >= 0)
        close(read_end);
    if (write_end >= 0)
        close(write_end);
}

int Pipe::in() const
{
    if (write_end < 0) {
        throw error(E_INTERNAL, REP_LATER, SYS_STABLE, SUPP_NEED) << "Pipe: in() end is already closed";
    }
    return write_end;
}

int Pipe::out() const
{
    if (read_end < 0) {
        throw error(E_INTERNAL, REP_LATER, SYS_STABLE, SUPP_NEED) << "Pipe: out() end is already closed";
    }
    return read_end;
}

void Pipe::closeIn()
{
    closeEnd(write_end, "in");
}

void Pipe::closeOut()
{
    closeEnd(read_end, "out");
}

void Pipe::closeEnd(int& end, const char* which)
{
    if (end < 0)
        return;
    // The descriptor is gone after close(2) even when it fails: never close the number twice.
    const int fd = end;
    end = -1;
    if (close(fd) != 0) {
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NONE)
            << "Pipe: " << static_cast<const void*>(this) << " Can't close " << which << " fd " << fd << ":"
            << strerror(errno);
    }
}

SystemCmd::SystemCmd(const std::string& command_, open_mode_t mode)
    : stream(nullptr), command(command_), pid(0), status(0), exit_code_collected(false)
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "kitwright: read output of " << command;

    const bool reading = mode == READ;
    const child_setup::Environment env({{"LC_ALL", "C"}, {"LANG", "C"}});
    const char* const argv[] = {"sh", "-c", command.c_str(), nullptr};

    const int started =
        child_setup::spawnShell(reading ? -1 : data.out(), reading ? data.in() : -1, errors.in(), argv, env, pid);
    if (started == EAGAIN || started == ENOMEM) {
        // No process could be made: what a failed fork reports.
        pid = 0;
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NONE)
            << messages.get("err_exec_forkfail") << format_message(messages.get("err_exec_cmd"), command);
    }
    if (started != 0) {
        // The shell could not be executed: the child is gone and reads as one that ended with 127,
        // and the log shows what it would have written to its standard error.
        pid = 0;
        status = W_EXITCODE(127, 0);
        const std::string text = messages.get("err_exec_execfail") + " (" + child_setup::errorText(started) + ")\n";
        Log::stream(Log::LEVEL_ERROR, Log::LINE_PART).write(text.data(), static_cast<int>(text.size()));
    }
    errors.closeIn();
    const int end = reading ? data.out() : data.in();
    // The stream gets its own descriptor: fclose closes that one, the pipe closes its end now.
    const int fd = fcntl(end, F_DUPFD_CLOEXEC, 0);
    stream = fd < 0 ? nullptr : fdopen(fd, reading ? "r" : "w");
    if (!stream) {
        const int err = errno;
        if (fd >= 0)
            close(fd);
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NONE)
            << "SystemCmd: Can't create FILE from FD: " << strerror(err);
    }
    data.closeIn();
    data.closeOut();

    error_fd.reset(new int(errors.out()));
    logger.reset(new boost::thread(StderrLogger(*error_fd, stopper.out())));
}

SystemCmd::~SystemCmd()
{
    try {
        Log::stream(Log::LEVEL_DEBUG, true) << "SystemCmd::~SystemCmd() entry";
    } catch (...) {
    }
    if (!exit_code_collected) {
        try {
            Log::stream(Log::LEVEL_VERBOSE, true) << "Warning: SystemCmd exit code was not checked. "
                                                  << "(Command was: '" << command << "').";
        } catch (...) {
        }
        const int result = wait();
        try {
            if (result != 0)
                Log::stream(Log::LEVEL_INFO, true)
                    << "Warning: unhandled error in execution of command (" << result << ") : " << command;
        } catch (...) {
        }
    }
    // The command has ended and everything it wrote is in the pipe; a descendant that still holds
    // standard error open must not keep us here, so the logger takes what is there and stops.
    if (logger) {
        try {
            stopper.closeIn();
            logger->join();
        } catch (...) {
        }
    }
    try {
        Log::stream(Log::LEVEL_DEBUG, true) << "SystemCmd::~SystemCmd() out";
    } catch (...) {
    }
}

int SystemCmd::wait()
{
    exit_code_collected = true;
    if (stream) {
        fclose(stream);
        stream = nullptr;
    }
    if (pid != 0) {
        while (waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                status = W_EXITCODE(127, 0);  // the child is lost: never report that as success
                break;
            }
        }
        pid = 0;
    }
    if ((status & 0x7f) != 0)
        return 127;
    return (status >> 8) & 0xff;
}

int SystemCmd::check()
{
    const int code = wait();
    if (code != 0) {
        throw error(E_SYSTEM, REP_LATER, SYS_UNSURE, SUPP_MAYBE)
            << "Error " << code << " in execution of " << command_name(command);
    }
    return 0;
}

void SystemCmd::copyOutputToLog(bool important)
{
    if (!stream)
        return;
    char block[4096];
    for (;;) {
        const size_t n = fread(block, 1, sizeof(block), stream);
        if (n > 0) {
            Log::stream line(important ? Log::LEVEL_ERROR : Log::LEVEL_INFO, Log::LINE_PART);
            line.write(block, static_cast<int>(n));
        }
        // A short block means end of file or a read error; either ends the copy.
        if (n < sizeof(block))
            return;
    }
}

void SystemCmd::StderrLogger::operator()() const
{
    char block[4096];
    for (;;) {
        pollfd entries[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        // The data first: a stop request only ends the copy once the pipe is empty.
        if (entries[0].revents) {
            const ssize_t n = read(fd, block, sizeof(block));
            if (n > 0) {
                Log::stream line(Log::LEVEL_ERROR, Log::LINE_PART);
                line.write(block, static_cast<int>(n));
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            return;
        }
        if (entries[1].revents)
            return;
    }
}

std::string command_name(const std::string& command)
{
    size_t pos = 0;
    while (pos < command.size()) {
        if (command[pos] == ' ') {
            ++pos;
            continue;
        }
        size_t end = command.find(' ', pos);
        if (end == std::string::npos)
            end = command.size();
        const std::string word = command.substr(pos, end - pos);
        if (word != "env" && word != "sh" && word.find('=') == std::string::npos)
            return word;
        pos = end;
    }
    return command;
}
