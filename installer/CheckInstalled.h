#ifndef KW_INSTALLER_CHECKINSTALLED_H
#define KW_INSTALLER_CHECKINSTALLED_H

#include "installer/ComponentManager.h"

// Determines the installed state of every component walked, against the installed packages and
// what the package system offers.
class ComponentManager::CheckInstalled : public ComponentManager::Visitor {
public:
    // Publishes the progress step "checking_comps_status". The configurator may be null.
    CheckInstalled(Repository* repository, SystemSpecificConfigurator* configurator);

    void visit(const boost::shared_ptr<KwComponent>& component) override;

private:
    Repository* repository;
    SystemSpecificConfigurator* configurator;
};

#endif
