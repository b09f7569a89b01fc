#ifndef KW_INSTALLER_TOINSTALLCOMPONENTSREPORTER_H
#define KW_INSTALLER_TOINSTALLCOMPONENTSREPORTER_H

#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class ComponentManager;

// Every component with what an installation was about to do to it, one line each, for the error
// report. Always text, whatever the XML switch says; it writes no status record.
class ToInstallComponentsReporter : public Reporter {
public:
    explicit ToInstallComponentsReporter(const ComponentManager* components);

    // A component whose state cannot be told gets its error's text in its line; the others follow.
    std::ostream& put(std::ostream& out) const override;

private:
    checked_pointer<const ComponentManager> components;
};

#endif
