#ifndef KW_TESTS_SUPPORT_TEMPDIR_H
#define KW_TESTS_SUPPORT_TEMPDIR_H

#include <string>

// A fresh directory under /tmp (or the parent given), removed with its contents when the object goes.
// Children that get a private /tmp see a directory under /var/tmp instead.
class TempDir {
public:
    explicit TempDir(const std::string& parent = "/tmp");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& content);

#endif
