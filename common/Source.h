#ifndef KW_COMMON_SOURCE_H
#define KW_COMMON_SOURCE_H

#include <cstdio>
#include <ostream>

class Package;
class Repository;

// The base of every package source. A source belongs to one repository, puts its packages into it
// and takes them out again when it is destroyed, so it must not outlive the repository.
class Source {
public:
    explicit Source(Repository* repository);
    virtual ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Fetches the package's file; the base has nothing to fetch.
    virtual void downloadPackage(Package* pkg);
    virtual bool isDownloadable() const;
    virtual std::ostream& print(std::ostream& out) const;
    virtual void readSystemPackagesBrief() = 0;
    virtual void readPackagesFull() = 0;

    // Each reads once; a flag is set only after a reading that returned normally, so a failed load is
    // tried again by the next call.
    void loadBrief();
    void loadFull();
    void reloadBrief();
    // Marks every package of this source dropped and purges them from the repository.
    void dropPackages();

protected:
    // Makes the catalog text of `key` the current progress step, under that name, and logs it.
    static void logStep(const char* key);
    // Reads the cache records of an open file as installed packages of this source and closes it;
    // false when closing fails. The file is closed on a failure of the reading too.
    bool readInstalledFromFile(FILE* file, int dups_mode /* a Repository::dups_mode_t */);

    Repository* repository;
    bool brief_loaded;
    bool full_loaded;
};

#endif
