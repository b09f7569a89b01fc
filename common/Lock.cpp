#include "common/Lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"

const char* const Lock::path = "/tmp/zorv-installer.lock";

namespace {

const Messages messages;

const unsigned long byte_count = 3;

// The one descriptor of the lock file (-1 while closed) and the number of Locks that hold a byte.
int lock_fd = -1;
int use_count = 0;

void openLockFile()
{
    if (lock_fd >= 0)
        return;
    // Close-on-exec: commands we start have no business with the installer's lock.
    int fd = open(Lock::path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_lock_file"), Lock::path, strerror(errno));
    }
    lock_fd = fd;
}

void checkByte(unsigned long semnum)
{
    if (semnum >= byte_count) {
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_bad_semnum");
    }
}

struct flock oneByte(short type, unsigned long semnum)
{
    struct flock request;
    memset(&request, 0, sizeof(request));
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = static_cast<off_t>(semnum);
    request.l_len = 1;
    return request;
}

}  // namespace

Lock::Lock(unsigned long semnum_, bool wait) : semnum(semnum_)
{
    openLockFile();
    checkByte(semnum_);
    struct flock request = oneByte(F_WRLCK, semnum_);
    while (fcntl(lock_fd, wait ? F_SETLKW : F_SETLK, &request) != 0) {
        const int err = errno;
        if (err == EINTR)
            continue;
        if (!wait && (err == EAGAIN || err == EACCES)) {
            throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NONE) << messages.get("err_lock_locked");
        }
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_lock_failed"), path, strerror(err));
    }
    ++use_count;
}

Lock::~Lock()
{
    if (lock_fd < 0)
        return;
    struct flock request = oneByte(F_UNLCK, static_cast<unsigned long>(semnum));
    int unlock_err = 0;
    while (fcntl(lock_fd, F_SETLK, &request) != 0 && (unlock_err = errno) == EINTR)
        unlock_err = 0;
    int close_err = 0;
    if (--use_count == 0) {
        if (close(lock_fd) != 0)
            close_err = errno;
        lock_fd = -1;
    }
    // Releasing must never end the program: the bytes are dropped at exit in any case.
    try {
        if (unlock_err)
            Log::stream(Log::LEVEL_INFO, true)
                << format_message(messages.get("err_unlock_failed"), path, strerror(unlock_err));
        if (close_err)
            Log::stream(Log::LEVEL_INFO, true)
                << format_message(messages.get("err_lock_shutdown"), path) << strerror(close_err);
    } catch (...) {
    }
}

pid_t Lock::test(unsigned long semnum)
{
    checkByte(semnum);
    openLockFile();
    struct flock request = oneByte(F_WRLCK, semnum);
    if (fcntl(lock_fd, F_GETLK, &request) != 0) {
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_lock_test"), path, strerror(errno));
    }
    return request.l_type == F_UNLCK ? 0 : request.l_pid;
}
