#ifndef KW_COMMON_DEPENDENCYFILE_H
#define KW_COMMON_DEPENDENCYFILE_H

#include <cstddef>

#include "common/Dependency.h"
#include "common/PooledString.h"

// A file dependency: a path with the file's mode and digest as the package database lists it.
// A database lists one per packaged file, so objects and digests come from pools that are never
// returned to the system.
class DependencyFile : public Dependency {
public:
    // A 16-byte MD5 digest, allocated from its own pool (common/md5rep.h).
    struct md5rep_t;

    DependencyFile(const std::string& path, int mode, const std::string& digest, const Package* owner);
    ~DependencyFile() override;

    static void* operator new(std::size_t size);
    static void operator delete(void* slot);

    using Dependency::isSameTarget;
    using Dependency::isSatisfiedBy;

    std::string getName() const override;
    bool isSatisfiedBy(const Dependency* provide) const override;
    std::size_t hash() const override;
    bool isSameTarget(const Dependency* other) const override;
    bool equals(const boost::shared_ptr<Dependency>& other) const override;
    boost::shared_ptr<Dependency> clone() const override;
    std::ostream& print(std::ostream& out) const override;

    void setPath(const std::string& path);
    void setMode(int mode);
    // For a regular file the text is a digest in hexadecimal, otherwise the link target; an empty
    // text changes nothing.
    void setDigest(const std::string& text);

    int getMode() const { return mode; }
    // The file type from the mode's type bits: 1, 2, 4, 6, 10, 12, or 8 for anything else.
    int getFileType() const;
    bool isDirectory() const { return getFileType() == 4; }
    bool isRegular() const { return getFileType() == 8; }
    // The digest as 32 hexadecimal digits, or the link target when there is no digest.
    std::string getMd5String() const;

private:
    DependencyFile(const DependencyFile& other);

    PooledString directory;
    PooledString file;
    int mode;
    md5rep_t* digest;
    PooledString link;
};

#endif
