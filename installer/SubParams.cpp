#include "installer/SubParams.h"

#include "common/Log.h"
#include "common/error.h"

bool SubParams::isComplete() const
{
    if (!Param::isComplete())
        return false;
    const branches_t::const_iterator branch = branches.find(value);
    if (branch == branches.end())
        return true;
    for (const param_ptr_t& setting : branch->second)
        if (!setting->isComplete())
            return false;
    return true;
}

params_t SubParams::getBranch(const std::string& branch) const
{
    Log::stream(Log::LEVEL_DEBUG, true) << ("DEBUG: SubParams::getBranch: br=" + branch + ", param ID " + getId());
    const branches_t::const_iterator found = branches.find(branch);
    if (found == branches.end())
        throw KW_INTERNAL_ERROR();
    return found->second;
}

void SubParams::addToBranch(const std::string& branch, const param_ptr_t& setting)
{
    branches[branch].push_back(setting);
}
