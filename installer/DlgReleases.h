#ifndef KW_INSTALLER_DLGRELEASES_H
#define KW_INSTALLER_DLGRELEASES_H

#include "installer/Dialog.h"

class BuildManager;
class Repository;

// The releases page's data, and the check before the wizard goes on with the selection.
class DlgReleases : public Dialog {
public:
    // The repository may be null here; canContinue needs it.
    DlgReleases(BuildManager* builds, Repository* repository);

    // Whether the wizard may go on: something is selected, the user wants every major upgrade, and
    // the selected releases fit together (warnings confirmed). Tells the user why not; changes no
    // selection.
    bool canContinue();

    BuildManager* builds;           // not owned
    Repository* repository;         // not owned
    Dialog* advSettings = nullptr;  // the settings page the page offers, when the driver sets one
};

#endif
