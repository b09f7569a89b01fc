#include "common/ExtCatalogPackage.h"

namespace {
const char* const CODE = "EXT_CODE";
const char* const DISPLAY_NAME = "EXT_DISPLAY_NAME";
const char* const DOWNLOAD_URL = "EXT_DOWNLOAD_URL";
}  // namespace

ExtCatalogPackage::ExtCatalogPackage(const std::string& name_) : Package(name_, new Version()) {}

std::string ExtCatalogPackage::getCode() const
{
    return getProperty(CODE);
}

std::string ExtCatalogPackage::getDisplayName() const
{
    return getProperty(DISPLAY_NAME);
}

std::string ExtCatalogPackage::getDownloadUrl() const
{
    return getProperty(DOWNLOAD_URL);
}

void ExtCatalogPackage::setCode(const std::string& code)
{
    setProperty(CODE, code);
}

void ExtCatalogPackage::setDisplayName(const std::string& displayName)
{
    setProperty(DISPLAY_NAME, displayName);
}

void ExtCatalogPackage::setDownloadUrl(const std::string& url)
{
    setProperty(DOWNLOAD_URL, url);
}
