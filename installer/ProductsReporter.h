#ifndef KW_INSTALLER_PRODUCTSREPORTER_H
#define KW_INSTALLER_PRODUCTSREPORTER_H

#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class BuildManager;

// The answer to the products query: every product of the catalogue's release list, once, in the
// order of its first release.
class ProductsReporter : public Reporter {
public:
    explicit ProductsReporter(const BuildManager* catalogue);

    // An "upgrade" command without a product gets the listing and then its refusal.
    std::ostream& put(std::ostream& out) const override;

private:
    checked_pointer<const BuildManager> catalogue;
};

#endif
