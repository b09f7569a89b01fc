#include "installer/ParamPassword.h"

#include "common/Messages.h"
#include "common/Regexp.h"
#include "common/format_message.h"

ParamPassword::ParamPassword(const boost::shared_ptr<KwComponent>& owner, const std::string& id,
                             const std::string& min_length_, const std::string& max_length_, const std::string& regex_)
    : Param(owner, id), min_length(min_length_), max_length(max_length_), regex(regex_)
{
}

bool ParamPassword::validate(const std::string& text_)
{
    // Looked up now: the user reads the detail in the language of the moment.
    const Messages messages;
    detail.clear();
    try {
        if (!min_length.empty() && text_.size() < lengthBound(min_length)) {
            detail = format_message(messages.get("param_password_too_short"), min_length);
            return false;
        }
        if (!max_length.empty() && text_.size() > lengthBound(max_length)) {
            detail = format_message(messages.get("param_password_too_long"), max_length);
            return false;
        }
        if (regex.empty() || Regexp(regex.c_str(), false).match(text_.c_str()))
            return true;
        detail = messages.get("param_password_contains_invalid_characters");
        return false;
    } catch (...) {
        detail = messages.get("param_password_validation_failed");
        return false;
    }
}
