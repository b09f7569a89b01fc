#ifndef KW_BENCH_PRIVATE_TMP_H
#define KW_BENCH_PRIVATE_TMP_H

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// Reading the installed packages records a progress step in the shared status record under the
// installer lock in /tmp: a benchmark first moves into private mount and IPC namespaces (as root) with
// a tmpfs of its own on /tmp, so the host's record and lock stay untouched.
inline bool enterPrivateTmp(const char* program)
{
    if (unshare(CLONE_NEWNS | CLONE_NEWIPC) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") != 0) {
        fprintf(stderr, "%s: private namespaces need root: %s\n", program, strerror(errno));
        return false;
    }
    return true;
}

#endif
