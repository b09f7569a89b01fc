#include "common/RPMPackage.h"

#include "common/Log.h"

RPMPackage::RPMPackage(const std::string& name_, const std::string& version_) : Package(name_, version_) {}

RPMPackage::~RPMPackage() = default;

void RPMPackage::readInfo()
{
    Log::stream(Log::LEVEL_ERROR, true) << "RPMPackage compiled without librpm support";
}
