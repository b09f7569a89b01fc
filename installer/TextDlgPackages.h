#ifndef KW_INSTALLER_TEXTDLGPACKAGES_H
#define KW_INSTALLER_TEXTDLGPACKAGES_H

#include "installer/DlgPackages.h"
#include "installer/TextDialog.h"

// The last page before the installation: how many packages it installs, upgrades and removes, and
// the whole list through a pager on request.
class TextDlgPackages : public DlgPackages, public TextDialog {
public:
    using DlgPackages::DlgPackages;

    // FORWARD, BACK or QUIT; "S" shows the list and then the page again.
    DialogResult run() override;
    void show();
    // Through "less" when it runs, else "/bin/more", else on standard output; without less the
    // user is asked to press Enter. The pager quitting before reading everything ends the showing.
    void showPackageList();
};

#endif
