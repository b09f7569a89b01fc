#include "common/DebPackage.h"

DebPackage::DebPackage(const std::string& name_, const std::string& version_)
    : Package(name_, new DebVersion(version_))
{
}
