// The selection operations of the component manager: requests over a part of the forest, the
// installation types, the packages of upgrades and what required components need.
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/Log.h"
#include "common/error.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"

namespace {

void setRequestOf(KwComponent& target, request_mode_t request, bool skipHidden)
{
    if (skipHidden && !target.isShown())
        return;
    if (target.getInstallMode() == KwComponent::ERROR)
        return;
    if (request == REQ_LEAVE && target.isRequired())
        return;
    target.setRequest(request);
}

// What the required component reaches: the components it has to be checked with, then the ones
// those have to be checked with, and so on.
class ComponentsForCheckWith : public ComponentManager::Visitor {
public:
    explicit ComponentsForCheckWith(const comp_cptr_t& component_) : component(component_) {}

    void visit(const boost::shared_ptr<KwComponent>& c) override
    {
        if (c->getInstallMode() == KwComponent::UP2DATE || c == component)
            return;
        if (component->mustCheckWith(c, nullptr))
            found.push_back(c);
        else
            candidates[c] = true;
    }

    std::vector<std::string> names()
    {
        std::vector<std::string> result;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const comp_cptr_t entry = found[i];
            for (auto& candidate : candidates) {
                if (candidate.second && entry->mustCheckWith(candidate.first, nullptr)) {
                    found.push_back(candidate.first);
                    candidate.second = false;
                }
            }
            if (entry->getRequest() != REQ_INSTALL)
                result.push_back(entry->name);
        }
        return result;
    }

private:
    comp_cptr_t component;
    std::vector<comp_cptr_t> found;
    std::map<comp_cptr_t, bool> candidates;  // component -> still free to take
};

}  // namespace

void ComponentManager::setRequestMode(nodes_t::const_iterator first, nodes_t::const_iterator last,
                                      request_mode_t request, const std::string& productId, bool skipHidden)
{
    for (; first != last; ++first) {
        const boost::shared_ptr<KwCompNode>& node = *first;
        if (!productId.empty() && node->getProductId() != productId)
            continue;
        if (const KwSubGroup* sub = dynamic_cast<const KwSubGroup*>(node.get()))
            setRequestMode(sub->children.begin(), sub->children.end(), request, "", skipHidden);
        else if (const KwRadioGroup* radio = dynamic_cast<const KwRadioGroup*>(node.get()))
            setRequestOf(*radio->getSelectedOrDefault(nullptr), request, skipHidden);
        else if (KwComponent* component = dynamic_cast<KwComponent*>(node.get()))
            setRequestOf(*component, request, skipHidden);
        else
            throw KW_INTERNAL_ERROR();
    }
}

void ComponentManager::selectByInstallationType(const std::string& typeName, const std::string& productId)
{
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "Select components by installation type: product = " + productId + ", installation type = " + typeName;
    instTypeByProduct[productId] = typeName;
    const InstTypes::product_t& product = instTypes.getProduct(productId);
    const InstTypes::type_t& type = InstTypes::getType(product, typeName);
    if (type.mode == InstTypes::FULL) {
        setRequestMode(roots.begin(), roots.end(), REQ_INSTALL, "", false);
        return;
    }
    // A custom choice starts from the product's first type.
    const std::vector<std::string>& names =
        type.mode == InstTypes::CUSTOM ? product.types.front().components : type.components;
    if (type.mode == InstTypes::CUSTOM && names.empty()) {
        changeComponentState(getBaseComponent(productId), REQ_INSTALL);
        return;
    }
    ComponentsChangeset changeset;
    ComponentsChangeset::MarkComponentsByName mark(&changeset, productId, names, REQ_INSTALL, true);
    walk(mark);
    resolveAndApply(&changeset);
}

void ComponentManager::markAdditionalPackagesForUpgrade(const cpkgs_t& packages)
{
    std::ostringstream line;
    line << "DEBUG ComponentManager::markAdditionalPackagesForUpgrade: ";
    for (const Package* package : packages)
        line << *package << " ";
    if (packages.empty())
        line << "(empty)";
    Log::stream(Log::LEVEL_DEBUG, true) << line.str();
    additionalPackagesForUpgrade.insert(additionalPackagesForUpgrade.end(), packages.begin(), packages.end());
}

std::vector<std::string> ComponentManager::getComponentsForCheckWith(
    const boost::shared_ptr<KwComponent>& component) const
{
    ComponentsForCheckWith search(component);
    walk(search);
    return search.names();
}
