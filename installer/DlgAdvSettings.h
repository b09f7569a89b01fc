#ifndef KW_INSTALLER_DLGADVSETTINGS_H
#define KW_INSTALLER_DLGADVSETTINGS_H

#include <string>

#include "common/Downloader.h"
#include "installer/Dialog.h"

// Where packages come from and where downloads go: shown, not changed.
class DlgAdvSettings : public Dialog {
public:
    DlgAdvSettings(const std::string& source_, const std::string& target_, const Downloader::Proxy& proxy_)
        : source(source_), target(target_), proxy(proxy_)
    {
    }

    std::string source;  // a URL or a local path
    std::string target;  // the download directory
    Downloader::Proxy proxy;
    // Set by whoever shows the page after a failure: there is no page to go back to.
    bool noBack = false;
};

#endif
