#ifndef KW_COMMON_FILEHANDLE_H
#define KW_COMMON_FILEHANDLE_H

#include <cstdio>
#include <string>

// An owning handle of a C stream. Its destructor throws when the stream cannot be closed (for a
// written file that is where a full disk shows), unless an exception is already propagating.
class FileHandle {
public:
    FileHandle(const std::string& path, const char* mode);
    // A stream on an open descriptor; path only names it in error texts.
    FileHandle(int fd, const std::string& path, const char* mode);
    ~FileHandle() noexcept(false);
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    FILE* file;
    std::string path;
    bool for_writing;  // the open mode contains 'w'

private:
    // Takes the result of fopen or fdopen; null throws the open error.
    FileHandle(FILE* opened, const std::string& path, const char* mode);

    int exceptions_at_open;
};

#endif
