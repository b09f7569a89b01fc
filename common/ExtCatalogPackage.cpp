#include "common/ExtCatalogPackage.h"

ExtCatalogPackage::ExtCatalogPackage(const std::string& name_) : Package(name_, new Version())
{
    setArch("noarch");
}

void ExtCatalogPackage::setCode(const std::string& code)
{
    setProperty("EXT_CODE", code);
}

void ExtCatalogPackage::setDisplayName(const std::string& displayName)
{
    setProperty("EXT_DISPLAY_NAME", displayName);
}

void ExtCatalogPackage::setDownloadUrl(const std::string& url)
{
    setProperty("EXT_DOWNLOAD_URL", url);
}
