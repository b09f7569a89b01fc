#include "installer/Component.h"

#include "common/DebPackage.h"
#include "common/Messages.h"
#include "common/RPMPackage.h"
#include "common/error.h"
#include "common/format_message.h"

namespace {
const Messages messages;
}

Component::Component(const char* text)
{
    const std::string whole = text ? text : "";
    const std::string::size_type blank = whole.find(' ');
    name = whole.substr(0, blank);
    if (name.empty())
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NONE) << messages.get("err_bad_component");
    if (blank != std::string::npos)
        description = whole.substr(blank + 1);
    // Kept as it has always read, without a blank or closing parenthesis.
    if (description.empty())
        description = name + "(no description available";
}

const Package* Component::firstPackage() const
{
    if (packages.empty())
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
            << format_message(messages.get("err_empty_comp"), name);
    return packages.front();
}

bool Component::isDebian() const
{
    return dynamic_cast<const DebPackage*>(firstPackage()) != nullptr;
}

bool Component::isRPM() const
{
    return dynamic_cast<const RPMPackage*>(firstPackage()) != nullptr;
}
