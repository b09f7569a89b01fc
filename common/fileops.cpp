#include "common/fileops.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include <boost/filesystem.hpp>

#include "common/FileHandle.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"

namespace fs = boost::filesystem;

namespace {

const Messages messages;

// The path's status with symbolic links followed, read without throwing.
fs::file_type status_type(const std::string& path)
{
    boost::system::error_code ec;
    return fs::status(path, ec).type();
}

// Whether a status is known and is not "not found": one that cannot be read counts as missing.
bool present(fs::file_type type)
{
    return type != fs::status_error && type != fs::file_not_found;
}

error system_error(int e_rep, const char* key, const std::string& path, int errno_value)
{
    return error(E_SYSTEM, e_rep, SYS_STABLE, SUPP_MAYBE)
           << format_message(messages.get(key), path, strerror(errno_value));
}

// An open descriptor, closed when the scope ends unless it was closed (and checked) before.
class Descriptor {
public:
    Descriptor(const std::string& path, int flags, mode_t mode = 0) : fd(open(path.c_str(), flags, mode)) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    // Closes now; false (with errno) when the close fails.
    bool close()
    {
        const int closing = fd;
        fd = -1;
        return ::close(closing) == 0;
    }

    int fd;
};

enum class CopyFault { none, read, write };

// Copies the rest of `in` into `out` in blocks of 4096 bytes; on a fault errno tells why.
CopyFault copy_content(int in, int out)
{
    char block[4096];
    while (true) {
        const ssize_t got = read(in, block, sizeof(block));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return CopyFault::read;
        if (got == 0)
            return CopyFault::none;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, block + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                if (put == 0)
                    errno = ENOSPC;
                return CopyFault::write;
            }
            done += put;
        }
    }
}

}  // namespace

namespace fileops {

bool exists(const std::string& path)
{
    Log::stream log(Log::LEVEL_DEBUG, true);
    log << "fileops::exists: " << path;
    if (path.compare(0, 7, "http://") == 0 || path.compare(0, 6, "ftp://") == 0) {
        log << "no (not local)";
        return false;
    }
    const bool found = present(status_type(path));
    log << (found ? " - yes" : " - no");
    return found;
}

bool is_directory(const std::string& path)
{
    try {
        return fs::is_directory(path);
    } catch (const fs::filesystem_error& e) {
        Log::stream(Log::LEVEL_DEBUG, true) << e.what();
        return false;
    }
}

bool is_file(const std::string& path)
{
    // One status read answers both questions; its non-throwing form leaves no library failure to log.
    const fs::file_type type = status_type(path);
    return present(type) && type != fs::directory_file;
}

uintmax_t file_size(const std::string& path)
{
    return fs::file_size(path);
}

time_t last_write_time(const std::string& path)
{
    return fs::last_write_time(path);
}

void remove(const std::string& path)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "fileops::remove(" << path << ")";
    // The link itself is what goes: a dangling symbolic link counts as present, so that no later
    // write (as in copy_file) follows it to wherever it points.
    boost::system::error_code ec;
    if (!present(fs::symlink_status(path, ec).type()))
        return;
    try {
        fs::remove(path);
    } catch (const fs::filesystem_error& e) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_rmfile2"), path, e.what());
    }
}

uintmax_t remove_all(const std::string& path)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "fileops::remove_all(" << path << ")";
    return fs::remove_all(path);
}

void rename(const std::string& from, const std::string& to)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "fileops::rename(" << from << ", " << to << ")";
    fs::rename(from, to);
}

void copy_file(const std::string& from, const std::string& to)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "fileops::copy_file(" << from << ", " << to << ")";
    if (!exists(from)) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << format_message(messages.get("err_copy1"), from);
    }
    if (is_directory(from)) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << format_message(messages.get("err_copy2"), from, to);
    }
    remove(to);
    sleep_milliseconds(100);
    if (exists(to)) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << format_message(messages.get("err_copy3"), from, to);
    }

    // Backups of configuration files are made with this copy and restored from it, so a copy that
    // fails half-way must fail loudly and leave nothing that looks like a copy.
    Descriptor in(from, O_RDONLY | O_CLOEXEC);
    if (in.fd < 0)
        throw system_error(REP_NONE, "err_fileread1", from, errno);
    Descriptor out(to, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out.fd < 0)
        throw system_error(REP_NONE, "err_filewrite1", to, errno);

    const CopyFault fault = copy_content(in.fd, out.fd);
    const int fault_errno = errno;
    if (fault == CopyFault::none && out.close())
        return;
    const int close_errno = errno;
    unlink(to.c_str());
    if (fault == CopyFault::read)
        throw system_error(REP_NONE, "err_fileread2", from, fault_errno);
    throw system_error(REP_NONE, "err_filewrite2", to, fault == CopyFault::write ? fault_errno : close_errno);
}

bool create_directory(const std::string& path)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "fileops::create_directory(" << path << ")";
    if (exists(path))
        return false;

    // Every '/' after the first character ends a prefix; the whole path is the last one.
    std::vector<std::string> prefixes;
    for (size_t end = 1; end < path.size(); ++end)
        if (path[end] == '/')
            prefixes.push_back(path.substr(0, end));
    prefixes.push_back(path);

    for (const std::string& prefix : prefixes) {
        struct stat info;
        if (stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        if (mkdir(prefix.c_str(), 0755) != 0) {
            const int mkdir_errno = errno;
            Log::stream(Log::LEVEL_INFO, true)
                << "Can't create directory " << path << ": error in create " << prefix << ": " << strerror(mkdir_errno);
            throw system_error(REP_NONE, "err_mkdir", path, mkdir_errno);
        }
    }
    return true;
}

void create_empty_file(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw system_error(REP_LATER, "err_filewrite1", path, errno);
    close(fd);
}

int create_private_file(const std::string& path)
{
    // Another process may put something back between the removal and the creation; try a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT)
            break;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            break;
    }
    throw system_error(REP_NONE, "err_filewrite1", path, errno);
}

int open_replacing_link(const std::string& path, mode_t mode)
{
    // With O_NOFOLLOW a link at the name fails with ELOOP: it is removed and the open tried again, a
    // few times, since another process may put one back.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0)
            return fd;
        if (errno != ELOOP || unlink(path.c_str()) != 0)
            break;
    }
    throw system_error(REP_NONE, "err_filewrite1", path, errno);
}

std::string dirname(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string path_dir(const std::string& path)
{
    return dirname(path);
}

std::string basename(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string path_file(const std::string& path)
{
    return basename(path);
}

void strip_trailing(std::string& text, char c)
{
    while (!text.empty() && text.back() == c)
        text.pop_back();
}

void ensure_trailing(std::string& text, char c)
{
    if (text.empty() || text.back() != c)
        text += c;
}

}  // namespace fileops

int copy_file_synced(const std::string& from, const std::string& to)
{
    Descriptor in(from, O_RDONLY | O_CLOEXEC);
    if (in.fd < 0)
        throw system_error(REP_LATER, "err_fileread1", from, errno);
    Descriptor out(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out.fd < 0)
        throw system_error(REP_LATER, "err_filewrite1", to, errno);

    const CopyFault fault = copy_content(in.fd, out.fd);
    if (fault == CopyFault::read)
        throw system_error(REP_LATER, "err_fileread2", from, errno);
    if (fault == CopyFault::write)
        throw system_error(REP_LATER, "err_filewrite2", to, errno);

    if (fsync(out.fd) != 0) {
        error e = system_error(REP_LATER, "err_filewrite2", to, errno);
        e.parts.back().insert(0, "[fsync] ");
        throw e;
    }
    if (!out.close()) {
        error e = system_error(REP_LATER, "err_filewrite2", to, errno);
        e.parts.back().insert(0, "[close] ");
        throw e;
    }
    if (!in.close()) {
        error e = system_error(REP_LATER, "err_fileread2", from, errno);
        e.parts.back().insert(0, "[close] ");
        throw e;
    }
    return 0;
}

bool file_contains_line(const char* path, const char* line)
{
    FileHandle handle(path, "r");
    char wanted[4096];
    std::strncpy(wanted, line, sizeof(wanted) - 1);
    wanted[sizeof(wanted) - 1] = '\0';
    trim_in_place(wanted);

    char chunk[4096];
    while (std::fgets(chunk, sizeof(chunk), handle.file)) {
        trim_in_place(chunk);
        if (std::strcmp(chunk, wanted) == 0)
            return true;
    }
    if (std::ferror(handle.file))
        throw system_error(REP_NONE, "err_fileread2", path, errno);
    return false;
}

std::string get_home_dir()
{
    // The password database walk is not reentrant.
    static std::mutex* mutex = new std::mutex;
    static std::string* home = new std::string;
    std::lock_guard<std::mutex> guard(*mutex);
    if (!home->empty())
        return *home;

    const uid_t uid = geteuid();
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: get_home_dir: myUID=" << uid;
    std::string result;
    setpwent();
    while (true) {
        const passwd* entry = getpwent();
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: get_home_dir: passwdLine=" << static_cast<const void*>(entry);
        if (!entry) {
            result = fileops::exists("/root") ? "/root" : "/";
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: get_home_dir: passwdLine is NULL, return " << result;
            break;
        }
        if (entry->pw_uid == uid) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG: get_home_dir: passwdLine not NULL, get value " << entry->pw_dir;
            result.assign(entry->pw_dir, strnlen(entry->pw_dir, 4095));
            break;
        }
    }
    endpwent();
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: get_home_dir: return " << result;
    *home = result;
    return result;
}
