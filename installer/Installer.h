#ifndef KW_INSTALLER_INSTALLER_H
#define KW_INSTALLER_INSTALLER_H

#include "common/Package.h"
#include "common/checked_pointer.h"

class ComponentManager;
class ProductsProgress;
class Repository;
class SystemSpecificConfigurator;

// The package-installation backend of one run, made by the system configurator. The driver has it
// resolve the selection into the transaction's package list, vet the list, install it and, once the
// post-installation checks passed, commit the configurator's persistent changes. The installation
// flow lives here; a backend supplies the resolution, the package tool's own transaction and the
// download.
class Installer {
public:
    // The repository and the manager are not owned; the configurator may be null. Creates the
    // installation's progress per product.
    Installer(Repository* repository, ComponentManager* componentManager,
              checked_pointer<SystemSpecificConfigurator> configurator);
    virtual ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    // Fills the package list of the transaction from the selection; runs once.
    virtual cpkgs_t& resolve() = 0;
    // Refuses a list that would replace an installed package by an older version.
    virtual void checkPackageSet();
    // Downloads (and stops there in a download-only run), removes extensions, installs the
    // bootstrapper packages and runs the "prep" actions, installs the list, runs the "post" actions
    // and installs extensions. The installation-failure flag is set around the package tool's work.
    virtual void install();
    // The bootstrapper packages, then the "prep" actions.
    virtual void installPrep();
    virtual void installPackages(cpkgs_t& list) = 0;
    // The "post" actions; for every installed component after a failed earlier installation.
    virtual void installPost(bool previousFailed);
    virtual void download();

    cpkgs_t& getPackages();
    // The configurator keeps its persistent changes when it finishes.
    void commitChanges();

    // Sets (true) or clears (false) the flag file that outlives a failed installation. Setting tells
    // whether the flag of an earlier installation was found. Never throws: failures are logged.
    static bool processInstallationFailureFlag(bool set);
    static const char FAILURE_FLAG_DIR[];
    static const char FAILURE_FLAG_FILE[];

protected:
    checked_pointer<Repository> repository;
    checked_pointer<ComponentManager> componentManager;
    checked_pointer<SystemSpecificConfigurator> configurator;
    // What the bootstrapper actions of the selected components need; installed before them.
    cpkgs_t bootstrapperPackages;
    // The transaction: packages to install and removal markers.
    cpkgs_t packages;
    ProductsProgress* progress;  // owned
};

#endif
