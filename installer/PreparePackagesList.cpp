#include "installer/PreparePackagesList.h"

void ComponentManager::PreparePackagesList::visit(const boost::shared_ptr<KwComponent>& component)
{
    component->getKeypackages(names);
}
