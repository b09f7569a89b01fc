#include "common/sysutils.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include <boost/thread/thread.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/textutils.h"

namespace {

const Messages messages;

winsize terminal_size()
{
    winsize size;
    if (ioctl(1, TIOCGWINSZ, &size) != 0)
        return winsize{};
    return size;
}

std::string address_text(int family, const void* address, char* text, socklen_t size)
{
    if (!inet_ntop(family, address, text, size)) {
        throw error() << "inet_ntop failed: " << strerror(errno);
    }
    return text;
}

}  // namespace

std::string shell_command(const std::vector<std::string>& words)
{
    std::string command;
    for (const std::string& word : words) {
        if (!command.empty())
            command += ' ';
        command += shell_word(word);
    }
    return command;
}

void sleep_milliseconds(int milliseconds)
{
    boost::this_thread::interruption_point();
    if (milliseconds <= 0)
        return;
    // Like usleep, without its 32-bit range of microseconds; a signal ends the sleep early.
    const timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&wait, nullptr);
}

void sleep_seconds(int seconds)
{
    sleep_milliseconds(seconds * 1000);
}

void set_env(const char* name, const std::string& value)
{
    setenv(name, value.c_str(), 1);
}

void unset_env(const char* name)
{
    unsetenv(name);
}

std::string get_env(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

int get_terminal_width()
{
    return terminal_size().ws_col;
}

int get_terminal_height()
{
    return terminal_size().ws_row;
}

void put_console_char(int c)
{
    std::putchar(c);
    std::fflush(stdout);
}

void send_mail(const std::string& address, const std::string& subject, const std::string& body)
{
    // The command runs as root through the shell: both texts are quoted. An address that the mail
    // command would take for an option is no recipient at all.
    if (address.empty() || address[0] == '-') {
        Log::stream(Log::LEVEL_INFO, true) << messages.get("err_send_mail");
        return;
    }
    const std::string command = shell_command({"mail", "-s", subject, address});

    FILE* mail = popen(command.c_str(), "w");
    if (!mail) {
        std::fputs("Can't run mail command, mail not sent.\n", stderr);
        std::fputs(("Mail cmd failed: " + command + "\n").c_str(), stderr);
        std::fputs(("The body of mail:\n" + body).c_str(), stderr);
        std::fflush(stderr);
        return;
    }
    int status;
    {
        SigpipeBlock block;
        std::fputs(body.c_str(), mail);
        status = pclose(mail);
    }
    if (status != 0)
        Log::stream(Log::LEVEL_INFO, true) << messages.get("err_send_mail");
}

char* md5_file(const char* path, char* buffer)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return nullptr;

    // Large reads straight into our own buffer: stdio's buffer would only add a copy.
    const size_t block_size = 65536;
    std::unique_ptr<unsigned char[]> block(new unsigned char[block_size]);
    std::setvbuf(file, nullptr, _IONBF, 0);
    md5_context context;
    md5_init(context);
    size_t length;
    while ((length = std::fread(block.get(), 1, block_size, file)) != 0)
        md5_update(context, block.get(), length);

    // A digest of part of the file is no digest of the file: a read error gives null like an open error.
    const bool read_failed = std::ferror(file) != 0;
    const int saved_errno = errno;
    std::fclose(file);
    errno = saved_errno;
    return read_failed ? nullptr : md5_hex_digest(context, buffer);
}

std::string get_file_md5(const std::string& path)
{
    char buffer[33];
    const char* digest = md5_file(path.c_str(), buffer);
    return digest ? digest : "";
}

std::string sockaddr_to_string(const sockaddr* address)
{
    if (!address) {
        throw error() << "Socket address is NULL";
    }
    char text[47];
    switch (address->sa_family) {
    case AF_INET:
        return address_text(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof(text));
    case AF_INET6:
        return address_text(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof(text));
    default: {
        throw error() << "Unexpected protocol family: " << address->sa_family;
    }
    }
}

std::string addrinfo_to_string(const addrinfo* info)
{
    if (info->ai_family == AF_INET) {
        char text[16];
        return address_text(AF_INET, &reinterpret_cast<const sockaddr_in*>(info->ai_addr)->sin_addr, text,
                            sizeof(text));
    }
    if (info->ai_family == AF_INET6) {
        char text[46];
        return address_text(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(info->ai_addr)->sin6_addr, text,
                            sizeof(text));
    }
    throw error() << "Unknown protocol family " << info->ai_family;
}

SigpipeBlock::SigpipeBlock()
{
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &saved);
}

SigpipeBlock::~SigpipeBlock()
{
    // Take only a SIGPIPE that the writing raised; one pending before belongs to someone else.
    sigset_t pending;
    sigpending(&pending);
    if (!was_pending && sigismember(&pending, SIGPIPE) == 1) {
        const timespec no_wait = {0, 0};
        sigtimedwait(&pipe_signal, nullptr, &no_wait);
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}
