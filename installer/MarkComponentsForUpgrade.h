#ifndef KW_INSTALLER_MARKCOMPONENTSFORUPGRADE_H
#define KW_INSTALLER_MARKCOMPONENTSFORUPGRADE_H

#include <string>
#include <vector>

#include "common/Package.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"

// Collects the upgrade of the components installed in an older version: walk the forest with it,
// then apply it. With classes, a component of none of them upgrades only its packages of those
// classes.
class ComponentManager::MarkComponentsForUpgrade : public ComponentManager::Visitor {
public:
    // No classes: no limit.
    explicit MarkComponentsForUpgrade(const std::vector<std::string>& classes);

    void visit(const boost::shared_ptr<KwComponent>& component) override;
    // Resolves and applies the collected requests, then hands the collected packages to the manager.
    virtual void apply(ComponentManager& manager);

private:
    std::vector<std::string> classes;
    ComponentsChangeset changeset;
    cpkgs_t packages;
};

#endif
