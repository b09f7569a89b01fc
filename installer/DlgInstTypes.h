#ifndef KW_INSTALLER_DLGINSTTYPES_H
#define KW_INSTALLER_DLGINSTTYPES_H

#include <string>
#include <utility>
#include <vector>

#include "common/checked_pointer.h"
#include "installer/Dialog.h"

class BuildManager;
class ComponentManager;

// The installation type chosen for each product to install.
class DlgInstTypes : public Dialog {
public:
    typedef std::vector<std::pair<std::string, std::string>> chosen_t;  // product id, type name

    // Each product starts with its first installation type.
    DlgInstTypes(BuildManager* builds, ComponentManager* components);

    // The entry of the product; a product not in the list is appended with an empty name.
    std::string& chosenFor(const std::string& productId);

    checked_pointer<ComponentManager> components;
    BuildManager* builds;
    chosen_t chosen;             // in the order of the component manager's installation types
    bool componentList = false;  // the user asked for the components pages of every product
};

#endif
