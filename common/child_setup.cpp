#include "common/child_setup.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace child_setup {

Environment::Environment(std::initializer_list<std::pair<const char*, const char*>> forced)
{
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* text = *entry;
        const char* equals = strchr(text, '=');
        const size_t name_length = equals ? static_cast<size_t>(equals - text) : strlen(text);
        bool replaced = false;
        for (const auto& var : forced)
            replaced = replaced || (strlen(var.first) == name_length && strncmp(var.first, text, name_length) == 0);
        if (!replaced)
            entries.push_back(text);
    }
    for (const auto& var : forced)
        entries.push_back(std::string(var.first) + "=" + var.second);
    for (std::string& entry : entries)
        pointers.push_back(&entry[0]);
    pointers.push_back(nullptr);
}

bool placeStandardStreams(int in, int out, int err)
{
    const int wanted[3] = {in, out, err};
    int moved[3] = {-1, -1, -1};
    // First out of the way of 0, 1 and 2, then onto them: no placement can overwrite a later source.
    for (int target = 0; target < 3; ++target)
        if (wanted[target] >= 0 && (moved[target] = fcntl(wanted[target], F_DUPFD_CLOEXEC, 3)) < 0)
            return false;
    for (int target = 0; target < 3; ++target)
        if (moved[target] >= 0 && dup2(moved[target], target) < 0)
            return false;
    return true;
}

int spawnShell(int in, int out, int err, const char* const argv[], const Environment& env, pid_t& pid)
{
    const int wanted[3] = {in, out, err};
    // A pipe end may itself be 0, 1 or 2 when the program runs with a standard stream closed: such an
    // end is first copied above 2, so that no placement overwrites a later source.
    int moved[3] = {-1, -1, -1};
    posix_spawn_file_actions_t actions;
    int result = posix_spawn_file_actions_init(&actions);
    if (result != 0)
        return result;
    for (int target = 0; target < 3 && result == 0; ++target) {
        if (wanted[target] < 0)
            continue;
        int source = wanted[target];
        if (source <= 2) {
            source = moved[target] = fcntl(source, F_DUPFD_CLOEXEC, 3);
            if (source < 0) {
                result = errno;
                break;
            }
        }
        // The copy on the standard descriptor survives the exec; the pipe ends are close-on-exec.
        result = posix_spawn_file_actions_adddup2(&actions, source, target);
    }
    // Default attributes: the child keeps the calling thread's signal mask and the ignored signals,
    // and glibc resets caught signals to their default, as an exec after fork does.
    if (result == 0)
        result = posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), env.get());
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : moved)
        if (fd >= 0)
            close(fd);
    return result;
}

void writeAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

void writeStderr(std::initializer_list<const char*> texts)
{
    for (const char* text : texts)
        writeAll(2, text, strlen(text));
}

const char* errorText(int err)
{
    const char* text = strerrordesc_np(err);
    return text ? text : "Unknown error";
}

}  // namespace child_setup
