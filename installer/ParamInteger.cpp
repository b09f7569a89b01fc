#include "installer/ParamInteger.h"

#include "common/error.h"
#include "common/textutils.h"

ParamInteger::ParamInteger(const boost::shared_ptr<KwComponent>& owner, const std::string& id, const std::string& min_,
                           const std::string& max_)
    : Param(owner, id), min(min_), max(max_)
{
}

bool ParamInteger::validate(const std::string& text_)
{
    try {
        const long number = string_to_long(text_);
        if (!min.empty() && number < string_to_long(min))
            return false;
        return max.empty() || number <= string_to_long(max);
    } catch (const error&) {
        return false;
    }
}
