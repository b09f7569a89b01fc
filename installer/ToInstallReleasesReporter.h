#ifndef KW_INSTALLER_TOINSTALLRELEASESREPORTER_H
#define KW_INSTALLER_TOINSTALLRELEASESREPORTER_H

#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class BuildManager;

// The releases an installation was about to install or update, one line each, for the error report.
// Always text, whatever the XML switch says; it writes no status record.
class ToInstallReleasesReporter : public Reporter {
public:
    explicit ToInstallReleasesReporter(const BuildManager* catalogue);

    // A release whose state cannot be told gets its error's text in its line; the others follow.
    std::ostream& put(std::ostream& out) const override;

private:
    checked_pointer<const BuildManager> catalogue;
};

#endif
