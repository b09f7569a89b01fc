#ifndef KW_BENCH_PRIVATE_TMP_H
#define KW_BENCH_PRIVATE_TMP_H

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// Moves into private namespaces (`flags`, a private mount namespace at least) with a fresh tmpfs over
// `dir`, so that what a benchmark writes there never reaches the host.
inline bool enterPrivateDir(const char* program, const char* dir, int flags = CLONE_NEWNS)
{
    if (unshare(flags) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", dir, "tmpfs", 0, "mode=1777") != 0) {
        fprintf(stderr, "%s: private namespaces need root: %s\n", program, strerror(errno));
        return false;
    }
    return true;
}

// Reading the installed packages records a progress step in the shared status record under the
// installer lock in /tmp: a benchmark first moves into private mount and IPC namespaces (as root) with
// a tmpfs of its own on /tmp, so the host's record and lock stay untouched.
inline bool enterPrivateTmp(const char* program)
{
    return enterPrivateDir(program, "/tmp", CLONE_NEWNS | CLONE_NEWIPC);
}

#endif
