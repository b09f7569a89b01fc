#ifndef KW_INSTALLER_SUBPARAMS_H
#define KW_INSTALLER_SUBPARAMS_H

#include <map>
#include <string>

#include "installer/Param.h"

// A setting with further settings behind some of its values: each branch value names the settings
// that only matter when the setting holds that value.
class SubParams : public Param {
public:
    typedef std::map<std::string, params_t> branches_t;  // branch value -> settings, in definition order

    using Param::Param;

    // Unset is incomplete; a value without a branch is complete; otherwise its branch must be.
    bool isComplete() const override;

    // A copy of the branch's settings; an internal error for a value without a branch.
    params_t getBranch(const std::string& branch) const;
    void addToBranch(const std::string& branch, const param_ptr_t& setting);
    const branches_t& getBranches() const { return branches; }

private:
    branches_t branches;
};

#endif
