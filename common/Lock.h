#ifndef KW_COMMON_LOCK_H
#define KW_COMMON_LOCK_H

#include <sys/types.h>

#include <cstdint>

// A write lock (fcntl record lock) on one byte of the installer lock file, held from construction to
// destruction. Byte 0: one installer per server; byte 2: the shared status record.
//
// Record locks belong to the process: two Lock objects of one process on the same byte do not
// exclude each other, and closing any descriptor of the file would drop all of them. So the process
// keeps one descriptor, open while any Lock lives. The descriptor and the use count are not guarded:
// callers do not construct or destroy Locks on two threads at the same moment.
class Lock {
public:
    static const char* const path;

    // Takes byte `semnum` (0 to 2). With `wait` it blocks until the byte is free; without it a byte
    // held by another process raises error (4, 2, 1, 1) at once.
    Lock(unsigned long semnum, bool wait);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // The id of another process that holds a write lock on byte `semnum`, or 0. Never our own pid:
    // a process's own locks do not conflict with its request.
    static pid_t test(unsigned long semnum);

private:
    uint64_t semnum;
};

#endif
