#ifndef KW_TESTS_SUPPORT_LOGFILE_H
#define KW_TESTS_SUPPORT_LOGFILE_H

#include <string>
#include <vector>

#include "tests/support/TempDir.h"

// The process log written to a fresh file of a temporary directory at the given threshold, read
// back as the lines written since, without their timestamps. The previous file threshold returns when the object goes.
class LogFile {
public:
    explicit LogFile(int level = 3);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    std::vector<std::string> lines() const;
    // Whether some line equals the text.
    bool has(const std::string& line) const;

private:
    TempDir dir;
    int saved_level;
    size_t skipped;
};

#endif
