#ifndef KW_COMMON_DEBPACKAGE_H
#define KW_COMMON_DEBPACKAGE_H

#include "common/Package.h"

// A ".deb" package: its version compares by the Debian rules.
class DebPackage : public Package {
public:
    DebPackage(const std::string& name, const std::string& version);
};

#endif
