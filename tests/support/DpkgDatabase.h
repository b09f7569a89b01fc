#ifndef KW_TESTS_SUPPORT_DPKGDATABASE_H
#define KW_TESTS_SUPPORT_DPKGDATABASE_H

#include <string>

#include "tests/support/TempDir.h"

struct ChildOptions;

// A dpkg database of a test's own (status, available, info/, updates/), removed with the object. A
// child sees it in place of the system's through `useIn`; dpkg and dpkg-query reach it with
// "--admindir" and `path`. It lies under /var/tmp, since children often get a private /tmp.
class DpkgDatabase {
public:
    DpkgDatabase();

    const std::string& path() const { return dir.path(); }
    // Replaces the status file.
    void writeStatus(const std::string& text) const;
    // Mounts the database over /var/lib/dpkg in the child.
    void useIn(ChildOptions& options) const;

    // One status record, with an empty line after it; no Version field when the version is empty.
    static std::string entry(const std::string& name, const std::string& status, const std::string& version,
                             const std::string& more = "");

private:
    TempDir dir;
};

#endif
