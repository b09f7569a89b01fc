#include "installer/MarkSpecifiedNamesComponents.h"

#include "common/Log.h"
#include "common/error.h"
#include "installer/KwRadioGroup.h"

ComponentManager::MarkSpecifiedNamesComponents::MarkSpecifiedNamesComponents(ComponentManager*,
                                                                             const std::string& productId_,
                                                                             const std::vector<std::string>& names_,
                                                                             request_mode_t request_)
    : productId(productId_), request(request_), names(names_.begin(), names_.end())
{
}

bool ComponentManager::MarkSpecifiedNamesComponents::takeName(const KwCompNode& node, const std::string& name)
{
    if (names.count(name) == 0 || (!productId.empty() && node.getProductId() != productId))
        return false;
    names.erase(name);
    return true;
}

void ComponentManager::MarkSpecifiedNamesComponents::visit(const boost::shared_ptr<KwComponent>& component)
{
    if (!takeName(*component, component->name))
        return;
    const KwComponent::install_mode_t mode = component->getInstallMode();
    if (mode == KwComponent::ERROR) {
        Log::stream(Log::LEVEL_VERBOSE, true) << " skip component " + component->name + ": not available";
        return;
    }
    switch (request) {
    case REQ_LEAVE: component->requestLeave(); break;
    case REQ_INSTALL:
        if (mode == KwComponent::UP2DATE)
            component->requestLeave();
        else
            component->requestInstall();
        break;
    case REQ_REMOVE:
        if (mode == KwComponent::INSTALL)
            component->requestLeave();
        else
            component->requestRemove();
        break;
    default:
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
            << "MarkSpecifiedNamesComponents::visit: unexpected request_mode_t: " << request;
    }
}

void ComponentManager::MarkSpecifiedNamesComponents::beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group)
{
    if (!takeName(*group, group->name))
        return;
    if (request == REQ_INSTALL) {
        if (group->hasSelected(nullptr))
            return;
        const boost::shared_ptr<KwComponent> chosen = group->getSelectedOrDefault(nullptr);
        if (chosen->getInstallMode() != KwComponent::ERROR)
            chosen->requestInstall();
    } else if (request == REQ_REMOVE) {
        const boost::shared_ptr<KwComponent> selected = group->getSelected(nullptr);
        if (selected && selected->getInstallMode() != KwComponent::ERROR)
            selected->requestRemove();
    }
}

void ComponentManager::MarkSpecifiedNamesComponents::finish()
{
    if (names.empty())
        return;
    std::string line = productId.empty() ? std::string("Warning: following component(s) not found: ")
                                         : "Warning: following component(s) not found in product " + productId + ": ";
    for (const std::string& name : names)
        line += " '" + name + "'";
    Log::stream(Log::LEVEL_VERBOSE, true) << line;
}
