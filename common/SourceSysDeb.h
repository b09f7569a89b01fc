#ifndef KW_COMMON_SOURCESYSDEB_H
#define KW_COMMON_SOURCESYSDEB_H

#include <string>

#include "common/Source.h"

// The packages installed on a Debian or Ubuntu system, read through dpkg-query.
class SourceSysDeb : public Source {
public:
    explicit SourceSysDeb(Repository* repository);

    void readSystemPackagesBrief() override;
    void readPackagesFull() override;

    // The installed version of `name` without its Debian revision; "" when it is not installed.
    std::string getPkgVersionFromSystemDirectly(const std::string& name);

    // The shell pipeline that lists the installed packages as cache records.
    static const char BRIEF_QUERY[];
};

#endif
