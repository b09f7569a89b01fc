#ifndef KW_INSTALLER_RELEASESREPORTER_H
#define KW_INSTALLER_RELEASESREPORTER_H

#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class BuildManager;

// The answer to the release queries: the releases of the catalogue's list, or the updates they offer.
class ReleasesReporter : public Reporter {
public:
    enum Mode { LIST = 0, UPDATES = 1 };

    ReleasesReporter(const BuildManager* catalogue, int mode);

    // Only the releases of the selected products when the run has release selectors. An "upgrade"
    // command without a release gets the listing and then its refusal.
    std::ostream& put(std::ostream& out) const override;

private:
    checked_pointer<const BuildManager> catalogue;
    int mode;
};

#endif
