#ifndef KW_COMMON_RPMPACKAGE_H
#define KW_COMMON_RPMPACKAGE_H

#include "common/Package.h"

// An ".rpm" package: its version compares by the RPM rules.
class RPMPackage : public Package {
public:
    RPMPackage(const std::string& name, const std::string& version);
    ~RPMPackage() override;

    // The package file cannot be read; this only says so in the log.
    void readInfo() override;
};

#endif
