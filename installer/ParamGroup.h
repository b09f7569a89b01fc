#ifndef KW_INSTALLER_PARAMGROUP_H
#define KW_INSTALLER_PARAMGROUP_H

#include <string>

#include "installer/SubParams.h"

// A group of settings shown together; its settings hang under the branch "".
class ParamGroup : public SubParams {
public:
    // Groups have no id, name or error message of their own: only the description is defined.
    ParamGroup(const boost::shared_ptr<KwComponent>& owner, const std::string& description);

    std::string getTypeName() const override { return "__group_no_type__doh1Oolo__"; }
    bool validate(const std::string&) override { return true; }
};

#endif
