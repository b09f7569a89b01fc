#include "installer/KwSubGroup.h"

KwSubGroup::KwSubGroup(const boost::shared_ptr<Build>& build_, const std::string& name_,
                       const std::string& description_)
    : KwGroup(build_, name_, description_)
{
}

char KwSubGroup::getStatusChar() const
{
    if (children.empty())
        return ' ';
    const char first = children.front()->getStatusChar();
    for (children_t::const_iterator child = children.begin() + 1; child != children.end(); ++child)
        if ((*child)->getStatusChar() != first)
            return '.';
    return first;
}

bool KwSubGroup::isEmpty() const
{
    return children.empty();
}
