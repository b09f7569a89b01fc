#ifndef KW_COMMON_SOURCESYSRPM_H
#define KW_COMMON_SOURCESYSRPM_H

#include <string>

#include "common/Source.h"

// The packages installed on an RPM-family system, read through rpm: in brief (names, versions and
// provides) or in full (with requirements, files, conflicts and obsoletes).
class SourceSysRPM : public Source {
public:
    explicit SourceSysRPM(Repository* repository);

    void readSystemPackagesBrief() override;
    void readPackagesFull() override;

    // The installed version of `name` without release or epoch; "" when it is not installed once.
    std::string getPkgVersionFromSystemDirectly(const std::string& name);

    // Where the full query writes its records.
    static const char CACHE_FILE[];
};

#endif
