#include "installer/ParamPath.h"

#include <boost/filesystem/path.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Regexp.h"
#include "common/fileops.h"

namespace {

const char* const PATH_PATTERN = "^/[[:alnum:]_[:blank:]()\\/-]+$";

}  // namespace

ParamPath::ParamPath(const boost::shared_ptr<KwComponent>& owner, const std::string& id, bool must_exist_)
    : Param(owner, id), must_exist(must_exist_)
{
}

bool ParamPath::validate(const std::string& text_)
{
    // Looked up now: the user reads the detail in the language of the moment.
    const Messages messages;
    detail.clear();
    try {
        if (!boost::filesystem::path(text_).has_root_directory()) {
            detail = messages.get("param_path_not_full");
            return false;
        }
    } catch (...) {
        detail = messages.get("param_path_not_valid");
        return false;
    }
    if (fileops::exists(text_) && !fileops::is_directory(text_)) {
        detail = messages.get("param_path_not_directory");
        return false;
    }
    if (!Regexp(PATH_PATTERN, false).match(text_.c_str())) {
        detail = messages.get("param_path_contains_invalid_characters");
        Log::stream(Log::LEVEL_DEBUG, true)
            << (std::string("DEBUG: The regular expression ") + PATH_PATTERN + " did not match the pattern " + text_);
        return false;
    }
    if (must_exist && !fileops::exists(text_)) {
        detail = messages.get("param_path_not_exists");
        return false;
    }
    return true;
}

void ParamPath::store(const std::string& text_)
{
    std::string path = text_;
    fileops::strip_trailing(path, '/');
    Param::store(path);
}
