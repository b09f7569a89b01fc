#ifndef KW_INSTALLER_PRODUCTINF3FILEGUARD_H
#define KW_INSTALLER_PRODUCTINF3FILEGUARD_H

#include <string>

#include "common/FileFetcher.h"

// Notes the checksum of a loaded build file and, when released at the end of the work, fetches the
// file again: a different checksum means the source published a new build while this run worked.
class ProductInf3FileGuard {
public:
    // Fetches and checksums the file; throws the fetcher's error, or "err_md5_pre".
    ProductInf3FileGuard(const FileFetcher& fetcher, const std::string& path);
    // The check; skipped after an acted-on signal and while an exception propagates. Never throws.
    ~ProductInf3FileGuard();
    ProductInf3FileGuard(const ProductInf3FileGuard&) = delete;
    ProductInf3FileGuard& operator=(const ProductInf3FileGuard&) = delete;

    // The file as fetched at construction.
    const std::string& getLocalFile() const { return local_file; }

    // Set by the first guard that sees a changed file; never cleared.
    static bool newBuildAvailable;

private:
    void checkForNewBuild();

    FileFetcher fetcher;  // a copy, with a progress line of its own
    std::string path;
    std::string local_file;
    std::string md5;
    int exceptions_at_construction;
};

#endif
