#include "installer/KwGroup.h"

KwGroup::KwGroup(const boost::shared_ptr<Build>& build_, const std::string& name_, const std::string& description_)
    : name(name_), description(description_), build(build_)
{
}

std::string KwGroup::getDescription() const
{
    return description;
}

std::string KwGroup::getProductId() const
{
    return productIdOf(build.get());
}
