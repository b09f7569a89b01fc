#ifndef KW_INSTALLER_TEXTDLGINSTTYPES_H
#define KW_INSTALLER_TEXTDLGINSTTYPES_H

#include <string>

#include "installer/DlgInstTypes.h"
#include "installer/TextDialog.h"

// The page of the installation type of each product. With several products the products are
// numbered first, then the types of the product shown; with one, only its types.
class TextDlgInstTypes : public DlgInstTypes, public TextDialog {
public:
    TextDlgInstTypes(BuildManager* builds, ComponentManager* components);

    // FORWARD (also with the component-list flag set by "L"), BACK or QUIT; FORWARD at once
    // without products.
    DialogResult run() override;
    void show();
    // A product number makes that product the one shown, a type number chooses that type for it;
    // false for a number that names nothing.
    bool selectNumber(int number);

    std::string currentProduct;
    int lastNumber = 0;  // the highest number on the screen
};

#endif
