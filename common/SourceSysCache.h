#ifndef KW_COMMON_SOURCESYSCACHE_H
#define KW_COMMON_SOURCESYSCACHE_H

#include <string>

#include "common/Source.h"

// Installed packages read from a prepared file of cache records instead of the package database.
class SourceSysCache : public Source {
public:
    SourceSysCache(Repository* repository, const std::string& path);

    void readSystemPackagesBrief() override;
    void readPackagesFull() override;

private:
    std::string path;
};

#endif
