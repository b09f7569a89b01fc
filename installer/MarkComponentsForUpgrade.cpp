#include "installer/MarkComponentsForUpgrade.h"

#include <algorithm>

ComponentManager::MarkComponentsForUpgrade::MarkComponentsForUpgrade(const std::vector<std::string>& classes_)
    : classes(classes_)
{
}

namespace {

// Whether `has` holds for one of the classes.
template <typename Has>
bool anyOf(const std::vector<std::string>& classes, const Has& has)
{
    return std::any_of(classes.begin(), classes.end(), has);
}

}  // namespace

void ComponentManager::MarkComponentsForUpgrade::visit(const boost::shared_ptr<KwComponent>& component)
{
    if (component->getInstallMode() != KwComponent::UPGRADE)
        return;
    if (classes.empty() || anyOf(classes, [&component](const std::string& c) { return component->classes.count(c); })) {
        changeset.requests[component] = REQ_INSTALL;
        return;
    }
    bool collected = false;
    for (const Package* package : component->packages) {
        if (!anyOf(classes, [package](const std::string& c) { return package->hasClass(c); }))
            continue;
        packages.push_back(package);
        collected = true;
    }
    // Its component-level actions then run for the packages upgraded alone.
    if (collected)
        component->setNeedsUpgrade(true);
}

void ComponentManager::MarkComponentsForUpgrade::apply(ComponentManager& manager)
{
    manager.resolveAndApply(&changeset);
    manager.markAdditionalPackagesForUpgrade(packages);
}
