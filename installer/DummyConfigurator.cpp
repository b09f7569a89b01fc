#include "installer/DummyConfigurator.h"

namespace driver {

void auto_configurator::DummyConfigurator::configureSources() {}

void auto_configurator::DummyConfigurator::prepareAvailablePackagesList(const std::vector<std::string>&) {}

Installer* auto_configurator::DummyConfigurator::createInstaller(ComponentManager*)
{
    return nullptr;
}

const Package* auto_configurator::DummyConfigurator::doGetAvailablePackage(const std::string&)
{
    return nullptr;
}

void auto_configurator::DummyConfigurator::doConfigure() {}

void auto_configurator::DummyConfigurator::doRemoveTemporarySources() {}

}  // namespace driver
