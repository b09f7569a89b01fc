#include "common/FileHandle.h"

#include <cerrno>
#include <cstring>
#include <exception>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"

namespace {

const Messages messages;

}  // namespace

FileHandle::FileHandle(const std::string& path_, const char* mode)
    : FileHandle(std::fopen(path_.c_str(), mode), path_, mode)
{
}

FileHandle::FileHandle(int fd, const std::string& path_, const char* mode) : FileHandle(fdopen(fd, mode), path_, mode)
{
}

FileHandle::FileHandle(FILE* opened, const std::string& path_, const char* mode)
    : file(opened), path(path_), for_writing(std::strchr(mode, 'w') != nullptr),
      exceptions_at_open(std::uncaught_exceptions())
{
    if (!file) {
        const int open_errno = errno;
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << format_message(
            messages.get(for_writing ? "err_filewrite1" : "err_fileread1"), path, strerror(open_errno));
    }
}

FileHandle::~FileHandle() noexcept(false)
{
    if (std::fclose(file) == 0)
        return;
    const int close_errno = errno;
    error e(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE);
    e << format_message(messages.get(for_writing ? "err_filewrite2" : "err_fileread2"), path, strerror(close_errno));
    // Throwing while another exception unwinds this scope would end the process.
    if (std::uncaught_exceptions() > exceptions_at_open) {
        Log::stream(Log::LEVEL_INFO, true) << e.getFullText();
        return;
    }
    throw e;
}
