#include "installer/ParamDomain.h"

#include "common/Regexp.h"
#include "common/textutils.h"

namespace {

// Labels of letters, digits and hyphens. The hyphen stands last in its bracket class: under POSIX
// rules a backslash there is a literal and would let "\" into names.
const char* const DOMAIN_PATTERN =
    "^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9]){0,1}(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9]){0,1}){1,}$";

}  // namespace

bool ParamDomain::isRefusedName(const std::string& text)
{
    return text.size() > 255 || text == "localhost.rev" || ends_with(text, ".in-addr.arpa");
}

bool ParamDomain::matchesDomainPattern(const std::string& text)
{
    return Regexp(DOMAIN_PATTERN, false).match(text.c_str());
}

bool ParamDomain::validate(const std::string& text_)
{
    return !isRefusedName(text_) && matchesDomainPattern(text_);
}
