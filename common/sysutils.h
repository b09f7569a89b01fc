#ifndef KW_COMMON_SYSUTILS_H
#define KW_COMMON_SYSUTILS_H

#include <csignal>
#include <string>
#include <vector>

#include "common/md5.h"

struct addrinfo;
struct sockaddr;

// The /bin/sh command line that runs the words as they are: each word passes through `shell_word`,
// so a plain word stays as it is and any other comes back to the command unchanged, whatever it
// holds (blanks, quotes, '$', backquotes, line ends). Shell syntax (pipes, redirections) is no word:
// the caller appends it from a named constant.
std::string shell_command(const std::vector<std::string>& words);

// Both are Boost.Thread interruption points: an interrupted thread leaves with boost::thread_interrupted.
void sleep_milliseconds(int milliseconds);
void sleep_seconds(int seconds);

void set_env(const char* name, const std::string& value);
void unset_env(const char* name);
// The value, or the empty text when the variable is not set.
std::string get_env(const char* name);

// The columns or rows of the terminal on descriptor 1; 0 when it is no terminal.
int get_terminal_width();
int get_terminal_height();
void put_console_char(int c);

// Sends one mail through the "mail" command; never throws. A failure to start the command is written
// to standard error with the body, a failing command is logged.
void send_mail(const std::string& address, const std::string& subject, const std::string& body);

// The MD5 digest of the file as 32 lower-case hexadecimal digits and a zero into buffer (33 bytes, or
// a new malloc'ed one when null); null, with errno, when the file cannot be opened or read.
char* md5_file(const char* path, char* buffer);
// The digest text, or the empty text when the file cannot be opened or read.
std::string get_file_md5(const std::string& path);

// The numeric text of an IPv4 or IPv6 address; other families throw an error.
std::string sockaddr_to_string(const sockaddr* address);
std::string addrinfo_to_string(const addrinfo* info);

// Holds SIGPIPE back from this thread while it writes into a pipe whose reader may be gone: the
// failed write then shows in the command's status instead of ending the process.
class SigpipeBlock {
public:
    SigpipeBlock();
    ~SigpipeBlock();
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

private:
    sigset_t pipe_signal;
    sigset_t saved;
    bool was_pending;
};

#endif
