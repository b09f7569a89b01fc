#include "installer/ParamHostname.h"

#include <cctype>

#include "common/Regexp.h"
#include "installer/ParamDomain.h"

namespace {

// A name's last label is never a number: "10.0.0" is an address cut short, not a name.
bool numeric_last_label(const std::string& text)
{
    const std::string::size_type dot = text.rfind('.');
    const std::string last = dot == std::string::npos ? text : text.substr(dot + 1);
    for (char c : last)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

}  // namespace

bool ParamHostname::validate(const std::string& text_)
{
    if (ParamDomain::isRefusedName(text_))
        return false;
    if (ParamDomain::matchesDomainPattern(text_) && !numeric_last_label(text_))
        return true;
    // Not anchored: any text holding four dotted numbers passes as an address.
    return Regexp("\\d+\\.\\d+\\.\\d+\\.\\d+", false).match(text_.c_str());
}
