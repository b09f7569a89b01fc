#ifndef KW_INSTALLER_SOURCESYSZANTHEXT_H
#define KW_INSTALLER_SOURCESYSZANTHEXT_H

#include <memory>
#include <vector>

#include "common/Source.h"

class ComponentManager;

// The extensions installed by the product's extension tool, as installed packages "ext-<code>".
class SourceSysZanthExt : public Source {
public:
    // The component manager must be set by the time the list is read.
    SourceSysZanthExt(Repository* repository, ComponentManager* component_manager);

    void readSystemPackagesBrief() override;
    void readPackagesFull() override;

    // Runs the tool's listing. A missing tool is an empty list; a failing listing is logged and gives
    // the packages found before the failure.
    static std::vector<std::unique_ptr<Package>> detectInstalledExtensions();

private:
    ComponentManager* component_manager;
};

#endif
