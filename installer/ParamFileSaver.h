#ifndef KW_INSTALLER_PARAMFILESAVER_H
#define KW_INSTALLER_PARAMFILESAVER_H

#include <map>
#include <ostream>
#include <string>

#include "installer/ParamManager.h"

// Collects the answers that the settings file keeps, per product, and writes them in its format: a
// "[product]" line, one id="value" line per setting in walk order, three empty lines; products in
// byte order.
class ParamManager::ParamFileSaver : public ParamManager::Visitor {
public:
    // Static and hidden settings, those without an accepted value and secure or detectable ones are
    // not kept; nor is what the settings reader could not read back.
    void visit(param_ptr_t setting) override;

    bool empty() const { return products.empty(); }
    void write(std::ostream& out) const;

private:
    std::map<std::string, params_t> products;
};

#endif
