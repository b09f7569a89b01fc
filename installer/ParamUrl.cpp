#include "installer/ParamUrl.h"

#include "common/Regexp.h"

bool ParamUrl::validate(const std::string& text_)
{
    return Regexp("\\w+://.+/.*", false).match(text_.c_str());
}
