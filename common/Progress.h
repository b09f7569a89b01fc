#ifndef KW_COMMON_PROGRESS_H
#define KW_COMMON_PROGRESS_H

#include <cstddef>
#include <mutex>
#include <string>

#include "common/Lock.h"

// The status record that other processes (the status query) read: one System V shared-memory segment.
// Integers in the machine's byte order; texts NUL-terminated and cut to their size minus one.
struct ProgressStatus {
    unsigned int stage;
    unsigned int stage_n;
    char stage_id[80];
    char stage_title[4096];
    unsigned int step;
    unsigned int step_n;
    char step_id[80];
    char step_title[4096];
    bool finished;
    bool failed;
    char error[8096];
    char reserved[4096];
};

// Other processes read the record by these offsets: the layout is an external interface.
static_assert(sizeof(unsigned int) == 4 && sizeof(bool) == 1, "status record field sizes");
static_assert(offsetof(ProgressStatus, stage) == 0, "status record layout");
static_assert(offsetof(ProgressStatus, stage_n) == 4, "status record layout");
static_assert(offsetof(ProgressStatus, stage_id) == 8, "status record layout");
static_assert(offsetof(ProgressStatus, stage_title) == 88, "status record layout");
static_assert(offsetof(ProgressStatus, step) == 4184, "status record layout");
static_assert(offsetof(ProgressStatus, step_n) == 4188, "status record layout");
static_assert(offsetof(ProgressStatus, step_id) == 4192, "status record layout");
static_assert(offsetof(ProgressStatus, step_title) == 4272, "status record layout");
static_assert(offsetof(ProgressStatus, finished) == 8368, "status record layout");
static_assert(offsetof(ProgressStatus, failed) == 8369, "status record layout");
static_assert(offsetof(ProgressStatus, error) == 8370, "status record layout");
static_assert(offsetof(ProgressStatus, reserved) == 16466, "status record layout");
static_assert(sizeof(ProgressStatus) == 20564, "status record size");

// Scoped access to the status record: byte 2 of the installer lock file serialises the processes,
// and the segment is attached for the guard's life. Without a segment, a zeroed record private to
// this process stands in.
class ProgressStatusGuard {
public:
    static const int key = 0x4e7b0;

    ProgressStatusGuard();
    ~ProgressStatusGuard();
    ProgressStatusGuard(const ProgressStatusGuard&) = delete;
    ProgressStatusGuard& operator=(const ProgressStatusGuard&) = delete;

    ProgressStatus& data();

private:
    // Record locks do not exclude the threads of one process, and Lock objects must not be made on
    // two threads at once: the threads take turns here first.
    std::unique_lock<std::recursive_mutex> threads;
    Lock lock;
    bool attached;
    int shmid;
    void* address;
};

// The facade over the status record and over signal handling. It has no data: callers make a local
// Progress and call its operations. Signal handlers only record the signal (signalReceived); the
// long-running code acts on it at safe points (checkInterrupted).
class Progress {
public:
    enum stage_t { STAGE_INIT = 0, STAGE_PREP = 1, STAGE_RESOLV = 2, STAGE_DOWNLOAD = 3, STAGE_INST = 4 };

    // The exception of a run stopped by a signal. Thrown so that a stored copy can be rethrown on
    // another thread (boost::current_exception).
    class Interrupted {
    public:
        explicit Interrupted(int signal);
        // The text of "user_canceled".
        std::string message() const;

        int signal;  // 0 when none was recorded
    };

    // Recording progress never throws and never stops an installation.
    void stage(unsigned stage, unsigned steps);
    void step(const std::string& id, const std::string& title);
    void fail(const std::string& text);
    void finish();

    // Async-signal-safe: the only thing a signal handler calls.
    void signalReceived(int signal);
    bool mayStop();
    // True once for a pending signal that may stop the operation; the caller then stops its child
    // process or transfer.
    bool takeCancelRequest();
    // The safe point: throws Interrupted when a recorded signal may stop the operation.
    void checkInterrupted();
    bool isInterrupted();

    // SIGHUP stops the program only while cancelling is marked safe; SIGINT and SIGTERM always.
    void markCancelSafe();
    void markCancelUnsafe();
};

#endif
