#include "installer/MarkNeedForRequired.h"

#include "common/Log.h"
#include "installer/MarkSpecifiedNamesComponents.h"

ComponentManager::MarkNeedForRequired::MarkNeedForRequired(ComponentManager* manager_) : manager(manager_) {}

void ComponentManager::MarkNeedForRequired::visit(const boost::shared_ptr<KwComponent>& component)
{
    if (!component->isRequired())
        return;
    const std::vector<std::string> names = manager->getComponentsForCheckWith(component);
    std::string line = "MarkNeedForRequired: for " + component->name + " " + component->description + " also need: ";
    for (const std::string& name : names)
        line += " '" + name + "'";
    Log::stream(Log::LEVEL_DEBUG, true) << line;
    MarkSpecifiedNamesComponents mark(manager, component->getProductId(), names, REQ_INSTALL);
    manager->walk(mark);
}
