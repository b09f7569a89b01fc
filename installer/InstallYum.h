#ifndef KW_INSTALLER_INSTALLYUM_H
#define KW_INSTALLER_INSTALLYUM_H

#include <iosfwd>
#include <string>

#include "installer/Installer.h"

// The backend of the RPM family. It never calls yum or dnf itself: the helper script that the yum
// configurator installed computes the transaction ("--solve") and carries it out ("--perform").
class InstallYum : public Installer {
public:
    InstallYum(Repository* repository, ComponentManager* componentManager,
               checked_pointer<SystemSpecificConfigurator> configurator);
    ~InstallYum() override;

    // The component packages, then what the helper's solve run adds to them and removes.
    cpkgs_t& resolve() override;
    // One perform run of the helper; waiting for the package manager's lock is the helper's work.
    void installPackages(cpkgs_t& list) override;
    // Fetches the packages only in a download-only run; otherwise the helper fetches them.
    void download() override;

    // Runs the helper once in the mode ("solve" or "perform") over the list. Its standard output goes
    // into `output` when given. Failures are reported with the command and both output streams.
    void runHelper(const std::string& mode, const cpkgs_t& list, std::ostream* output);
};

#endif
