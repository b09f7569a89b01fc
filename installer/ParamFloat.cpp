#include "installer/ParamFloat.h"

#include <sstream>

#include "common/Regexp.h"

namespace {

// Formatted input from the start of the text; 0 when it does not start with a number.
float read_float(const std::string& text)
{
    float number = 0;
    std::istringstream in(text);
    in >> number;
    return number;
}

}  // namespace

ParamFloat::ParamFloat(const boost::shared_ptr<KwComponent>& owner, const std::string& id, const std::string& min_,
                       const std::string& max_)
    : Param(owner, id), min(min_), max(max_)
{
}

bool ParamFloat::validate(const std::string& text_)
{
    try {
        if (!Regexp("[-+]?(\\d+(\\.\\d*)?|\\d*\\.\\d+)([eE][-+]?\\d+)?", false).match(text_.c_str()))
            return false;
        const float number = read_float(text_);
        if (!min.empty() && read_float(min) > number)
            return false;
        return max.empty() || number <= read_float(max);
    } catch (...) {
        return false;
    }
}
