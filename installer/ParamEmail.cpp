#include "installer/ParamEmail.h"

#include "common/Regexp.h"

bool ParamEmail::validate(const std::string& text_)
{
    try {
        return Regexp("^([^\\@]+){1}\\@([^\\@]+){1}$", false).match(text_.c_str());
    } catch (...) {
        return false;
    }
}
