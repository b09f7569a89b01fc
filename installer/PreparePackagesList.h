#ifndef KW_INSTALLER_PREPAREPACKAGESLIST_H
#define KW_INSTALLER_PREPAREPACKAGESLIST_H

#include <string>
#include <vector>

#include "installer/ComponentManager.h"

// Collects the key-package names of every component walked, so that the configurator can ask the
// package system for all their candidates at once.
class ComponentManager::PreparePackagesList : public ComponentManager::Visitor {
public:
    void visit(const boost::shared_ptr<KwComponent>& component) override;

    const std::vector<std::string>& getNames() const { return names; }

private:
    std::vector<std::string> names;
};

#endif
