#ifndef KW_INSTALLER_DUMMYCONFIGURATOR_H
#define KW_INSTALLER_DUMMYCONFIGURATOR_H

#include <string>
#include <vector>

#include "installer/SystemSpecificConfigurator.h"
#include "installer/auto_configurator.h"

// The configurator of a run for which no package system fits: it configures nothing, offers no
// packages and makes no installer.
class driver::auto_configurator::DummyConfigurator : public SystemSpecificConfigurator {
public:
    void configureSources() override;
    void prepareAvailablePackagesList(const std::vector<std::string>& names) override;
    Installer* createInstaller(ComponentManager* manager) override;

protected:
    const Package* doGetAvailablePackage(const std::string& name) override;
    void doConfigure() override;
    void doRemoveTemporarySources() override;
};

#endif
