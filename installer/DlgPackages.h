#ifndef KW_INSTALLER_DLGPACKAGES_H
#define KW_INSTALLER_DLGPACKAGES_H

#include "common/Package.h"
#include "installer/Dialog.h"

class Repository;

// The packages of the transaction, counted by what happens to them.
class DlgPackages : public Dialog {
public:
    // Counts the list now: a removal marker is a removal, a package whose name is installed an
    // upgrade, any other real package an installation.
    DlgPackages(const cpkgs_t* packages, Repository* repository);

    const cpkgs_t* packages;  // the caller's list, not a copy
    Repository* repository;
    int toInstall = 0;
    int toUpgrade = 0;
    int toRemove = 0;
};

#endif
