#ifndef KW_COMMON_FILEOPS_H
#define KW_COMMON_FILEOPS_H

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

// Operations on local files and paths. Most of them log their call at level 3 and raise `error`s with
// catalog texts; those that say so let Boost.Filesystem's exception pass.
namespace fileops {

// False for texts beginning "http://" or "ftp://" and for paths whose status cannot be read.
bool exists(const std::string& path);
bool is_directory(const std::string& path);
// The path exists and is no directory: devices and pipes count as files.
bool is_file(const std::string& path);
uintmax_t file_size(const std::string& path);
time_t last_write_time(const std::string& path);

void remove(const std::string& path);
uintmax_t remove_all(const std::string& path);
void rename(const std::string& from, const std::string& to);
// Replaces `to` with a copy of `from`; a copy that cannot be completed leaves no `to` behind.
void copy_file(const std::string& from, const std::string& to);
// Creates the directory and its missing parents (mode 0755 under the umask); false when it existed.
bool create_directory(const std::string& path);
void create_empty_file(const std::string& path);
// Creates `path` afresh as an empty file of mode 0600 and returns its open descriptor (write only,
// close-on-exec). Whatever stood at the path is removed first and the file is made exclusively without
// following symbolic links, so a fixed name in a shared directory such as /tmp cannot be turned by
// another user into a link to a file of root's. Raises "err_filewrite1" (4, 1, 1, 2) when it fails.
int create_private_file(const std::string& path);
// Opens `path` for writing, emptied, and made with `mode` under the umask when missing; returns the
// descriptor (close-on-exec). A symbolic link at the path is replaced by a new file, never followed,
// so a link planted at a download's name cannot send root's writing elsewhere. Raises "err_filewrite1"
// (4, 1, 1, 2) when it fails.
int open_replacing_link(const std::string& path, mode_t mode);

// The text before the last '/', empty without one.
std::string dirname(const std::string& path);
std::string path_dir(const std::string& path);
// The text after the last '/', the whole path without one.
std::string basename(const std::string& path);
std::string path_file(const std::string& path);
void strip_trailing(std::string& text, char c);
void ensure_trailing(std::string& text, char c);

}  // namespace fileops

// Copies through descriptors and forces the copy to disk; returns 0.
int copy_file_synced(const std::string& from, const std::string& to);
// True when a line of the file equals the given line, both trimmed of white space.
bool file_contains_line(const char* path, const char* line);
// The home directory of the effective user from the password database ("/root" or "/" when the user
// is not listed), worked out once per process.
std::string get_home_dir();

#endif
