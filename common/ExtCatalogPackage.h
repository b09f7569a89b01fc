#ifndef KW_COMMON_EXTCATALOGPACKAGE_H
#define KW_COMMON_EXTCATALOGPACKAGE_H

#include "common/Package.h"

// A package of the extension catalogue. Its code, display name and download URL are kept as the
// package properties "EXT_CODE", "EXT_DISPLAY_NAME" and "EXT_DOWNLOAD_URL".
class ExtCatalogPackage : public Package {
public:
    // The name is "ext-" and the extension code; the version is empty. Type and architecture keep the
    // package defaults: the creators set them.
    explicit ExtCatalogPackage(const std::string& name);

    // Each getter gives "" when its property is not set.
    std::string getCode() const;
    std::string getDisplayName() const;
    std::string getDownloadUrl() const;

    void setCode(const std::string& code);
    void setDisplayName(const std::string& displayName);
    void setDownloadUrl(const std::string& url);
};

#endif
