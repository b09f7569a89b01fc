#include "installer/ParamGroup.h"

ParamGroup::ParamGroup(const boost::shared_ptr<KwComponent>& owner, const std::string& description)
    : SubParams(owner, "__SUBGROUP")
{
    setTexts("__group_cant_have_name__", description, "__group_cant_have_errmsg__");
}
