#ifndef KW_INSTALLER_OSLISTREPORTER_H
#define KW_INSTALLER_OSLISTREPORTER_H

#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class BuildManager;

// The answer to the operating-systems query: one line per build of each selected release. There is
// no XML form: asked for one, it refuses before printing anything.
class OSListReporter : public Reporter {
public:
    explicit OSListReporter(const BuildManager* catalogue);

    std::ostream& put(std::ostream& out) const override;

private:
    checked_pointer<const BuildManager> catalogue;
};

#endif
