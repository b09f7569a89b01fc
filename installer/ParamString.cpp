#include "installer/ParamString.h"

#include "common/Regexp.h"

ParamString::ParamString(const boost::shared_ptr<KwComponent>& owner, const std::string& id,
                         const std::string& min_length_, const std::string& max_length_, const std::string& regex_)
    : Param(owner, id), min_length(min_length_), max_length(max_length_), regex(regex_)
{
}

bool ParamString::validate(const std::string& text_)
{
    try {
        if (!min_length.empty() && text_.size() < lengthBound(min_length))
            return false;
        if (!max_length.empty() && text_.size() > lengthBound(max_length))
            return false;
        return regex.empty() || Regexp(regex.c_str(), false).match(text_.c_str());
    } catch (...) {
        return false;
    }
}
