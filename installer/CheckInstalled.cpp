#include "installer/CheckInstalled.h"

#include "common/Messages.h"
#include "installer/ComponentsExamine.h"

ComponentManager::CheckInstalled::CheckInstalled(Repository* repository_, SystemSpecificConfigurator* configurator_)
    : repository(repository_), configurator(configurator_)
{
    const char* key = "checking_comps_status";
    logProgressStep(key, Messages().get(key));
}

void ComponentManager::CheckInstalled::visit(const boost::shared_ptr<KwComponent>& component)
{
    component->checkInstalled(repository, configurator);
}
