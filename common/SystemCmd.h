#ifndef KW_COMMON_SYSTEMCMD_H
#define KW_COMMON_SYSTEMCMD_H

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "common/checked_pointer.h"

namespace boost {
class thread;
}

// The two descriptors of one pipe(2) pair, closed with the object. Both ends are close-on-exec, so a
// command started elsewhere in the program never inherits them.
class Pipe {
public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int in() const;   // the write end
    int out() const;  // the read end
    void closeIn();
    void closeOut();

private:
    void closeEnd(int& end, const char* which);

    int read_end;   // -1 once closed
    int write_end;  // -1 once closed
};

// One shell command ("/bin/sh -c", LC_ALL=C, LANG=C) joined to the caller through a stdio stream: the
// caller reads the command's standard output (READ) or writes its standard input (WRITE).
// A thread of its own copies the command's standard error into the log while it runs. The caller
// collects the exit status with wait() or check(); the destructor reports a status nobody looked at.
class SystemCmd {
public:
    typedef int open_mode_t;

    static constexpr open_mode_t READ = 0;   // the caller reads the command's standard output
    static constexpr open_mode_t WRITE = 1;  // the caller writes the command's standard input (any value but READ)

    SystemCmd(const std::string& command, open_mode_t mode = READ);
    virtual ~SystemCmd();
    SystemCmd(const SystemCmd&) = delete;
    SystemCmd& operator=(const SystemCmd&) = delete;

    // Closes the stream, waits for the command once and returns its exit code; 127 when a signal
    // ended it.
    int wait();
    // wait(), raising error (4, 2, 2, 2) for an exit code other than 0.
    int check();
    // Copies what is left of the output into the log as output of a child (level 0 when important,
    // else 1).
    void copyOutputToLog(bool important);

    // The body of the thread that copies the command's standard error into the log until end of
    // file, or until it is told to stop; then it takes what the pipe still holds and ends.
    class StderrLogger {
    public:
        StderrLogger(int fd, int stop_fd) : fd(fd), stop_fd(stop_fd) {}
        void operator()() const;

    private:
        int fd;
        int stop_fd;
    };

    FILE* stream;  // the caller's end of the data pipe; null once wait() closed it

private:
    std::string command;
    pid_t pid;  // 0 when there is no child to wait for
    int status;
    bool exit_code_collected;
    Pipe data;
    Pipe errors;
    checked_autoclean_pointer<int> error_fd;
    checked_autoclean_pointer<boost::thread> logger;
    Pipe stopper;  // closing its write end tells the logger to finish
};

// The short name of a command line for error texts: its first word that is not "env", not "sh" and
// holds no '='; the whole line when there is none.
std::string command_name(const std::string& command);

#endif
