#ifndef KW_INSTALLER_MARKSPECIFIEDNAMESCOMPONENTS_H
#define KW_INSTALLER_MARKSPECIFIEDNAMESCOMPONENTS_H

#include <set>
#include <string>
#include <vector>

#include "installer/ComponentManager.h"

// Puts one request on the components and radio groups named, each name at its first match in walk
// order, through the components' own request operations, and warns about the names found nowhere.
class ComponentManager::MarkSpecifiedNamesComponents : public ComponentManager::Visitor {
public:
    // An empty product id matches every product.
    MarkSpecifiedNamesComponents(ComponentManager* manager, const std::string& productId,
                                 const std::vector<std::string>& names, request_mode_t request);

    // Unavailable components are skipped; an install of an up-to-date component and a removal of
    // one that is not installed become a leave.
    void visit(const boost::shared_ptr<KwComponent>& component) override;
    // A group to install gets its selected or default member unless one will be installed already;
    // a group to remove loses the member that will be installed.
    void beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group) override;
    void finish() override;

private:
    // Whether the node is of the product and its name is still to find; a found name is taken out.
    bool takeName(const KwCompNode& node, const std::string& name);

    std::string productId;
    request_mode_t request;
    std::set<std::string> names;  // still to find
};

#endif
