#ifndef KW_INSTALLER_PARAMLOADER_H
#define KW_INSTALLER_PARAMLOADER_H

#include <map>
#include <string>

#include "installer/ParamManager.h"

// Gives every setting the value that the run's settings hold for its product and id, and collects
// the refusals as one text, a line each.
class ParamManager::ParamLoader : public ParamManager::Visitor {
public:
    typedef std::map<std::string, std::map<std::string, std::string>> values_t;  // product -> id -> value

    explicit ParamLoader(const values_t& values);

    void visit(param_ptr_t setting) override;

    const std::string& getRefusals() const { return refusals; }

private:
    const values_t& values;
    std::string refusals;
};

#endif
