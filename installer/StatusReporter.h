#ifndef KW_INSTALLER_STATUSREPORTER_H
#define KW_INSTALLER_STATUSREPORTER_H

#include "installer/Reporter.h"

// The answer to the status query: the lock state, then how far the running (or the last) installer
// got, as it published that in the shared status record.
class StatusReporter : public Reporter {
public:
    StatusReporter(int status, const std::string& message);

    // Holds the status lock while it reads, so the installer's step is never seen half written.
    std::ostream& put(std::ostream& out) const override;
};

#endif
