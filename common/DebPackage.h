#ifndef KW_COMMON_DEBPACKAGE_H
#define KW_COMMON_DEBPACKAGE_H

#include "common/Package.h"

// A ".deb" package: its version compares by the Debian rules.
class DebPackage : public Package {
public:
    DebPackage(const std::string& name, const std::string& version);

    // Name, version and architecture from the control data of the package file, which dpkg reads,
    // then the file's time, digest and size.
    void readInfo() override;

private:
    // The install time becomes the file's modification time; the digest and the size are the file's.
    void readFileInfo();
};

#endif
