#ifndef KW_INSTALLER_TEXTDLGADVSETTINGS_H
#define KW_INSTALLER_TEXTDLGADVSETTINGS_H

#include "installer/DlgAdvSettings.h"
#include "installer/TextDialog.h"

// The settings page: the source, the download directory, the proxy and the retries, and where
// they are set. The proxy password is never shown.
class TextDlgAdvSettings : public DlgAdvSettings, public TextDialog {
public:
    using DlgAdvSettings::DlgAdvSettings;

    void show();
    // BACK or QUIT; only QUIT with noBack.
    DialogResult run() override;
};

#endif
