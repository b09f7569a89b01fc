#ifndef KW_INSTALLER_EXTCATALOGCURLFEEDDOWNLOADER_H
#define KW_INSTALLER_EXTCATALOGCURLFEEDDOWNLOADER_H

#include <string>

#include "installer/ExtCatalogFeed.h"

namespace ExtCatalog {

// The feed over the program's HTTP downloader, with its retries and its progress line.
class CurlFeedDownloader : public IFeedDownloader {
public:
    // The base URL of the service; it must not be empty.
    explicit CurlFeedDownloader(const std::string& url);

    // GETs <url>/api/<apiVersion>/packages?platform=<platform>&version=<version>&kw-compatible, the
    // values inserted as given; each must be non-empty.
    std::string download(const std::string& platform, const std::string& version,
                         const std::string& apiVersion) override;

private:
    std::string url;
};

}  // namespace ExtCatalog

#endif
