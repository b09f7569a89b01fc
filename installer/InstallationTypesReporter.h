#ifndef KW_INSTALLER_INSTALLATIONTYPESREPORTER_H
#define KW_INSTALLER_INSTALLATIONTYPESREPORTER_H

#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class ComponentManager;

// The answer to the installation-types query: the types offered per product that is not installed
// yet. Without such a product it refuses.
class InstallationTypesReporter : public Reporter {
public:
    explicit InstallationTypesReporter(const ComponentManager* components);

    std::ostream& put(std::ostream& out) const override;

private:
    checked_pointer<const ComponentManager> components;
};

#endif
