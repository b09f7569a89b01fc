#include "installer/ParamFileSaver.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>

#include "common/FileHandle.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/KwComponent.h"
#include "installer/ParamHidden.h"
#include "installer/ParamStatic.h"

namespace {

// The file's name below the home directory, as messages give it.
const char* const OPTIONS_INI = ".kitwright/options.ini";

// What the settings reader takes as a setting's name: letters, digits, '_' and '-'.
bool readable_id(const std::string& id)
{
    if (id.empty())
        return false;
    for (char c : id)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'))
            return false;
    return true;
}

// A section header ends at the first ']' and a line at its end.
bool readable_product(const std::string& product)
{
    return product.find_first_of("]\n\r") == std::string::npos;
}

// Sets the umask for the life of the object.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : saved(umask(mask)) {}
    ~UmaskScope() { umask(saved); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

private:
    mode_t saved;
};

void log_error(const std::string& text)
{
    Log::stream(Log::LEVEL_ERROR, true) << ("ERROR: " + text);
}

}  // namespace

void ParamManager::ParamFileSaver::visit(param_ptr_t setting)
{
    if (boost::dynamic_pointer_cast<ParamStatic>(setting) || boost::dynamic_pointer_cast<ParamHidden>(setting))
        return;
    if (!setting->Param::isComplete() || setting->getBehaviour() != Param::REGULAR)
        return;
    const std::string product = setting->getComponents().front()->getProductId();
    if (product.empty()) {
        log_error("ParamManager: param " + setting->getId() + " without product ID");
        return;
    }
    // Saved, it would make every later start fail or read a different setting.
    if (!readable_id(setting->getId()) || !readable_product(product)) {
        Log::stream(Log::LEVEL_VERBOSE, true)
            << ("ParamManager: param " + quote_c_string(setting->getId()) + " of product " + quote_c_string(product) +
                " is not saved: the settings file could not be read back");
        return;
    }
    products[product].push_back(setting);
}

void ParamManager::ParamFileSaver::write(std::ostream& out) const
{
    for (const auto& product : products) {
        out << "[" << product.first << "]\n";
        for (const param_ptr_t& setting : product.second)
            out << setting->getId() << "=" << quote_c_string(setting->getStoredValue()) << "\n";
        out << "\n\n\n";
    }
}

std::string ParamManager::optionsIniPath()
{
    return get_home_dir() + "/" + OPTIONS_INI;
}

void ParamManager::saveToFile()
{
    const UmaskScope private_files(077);
    // Walked first: a run with nothing to save (a listing, an upgrade) keeps the earlier answers.
    ParamFileSaver saver;
    walk(saver, param_ptr_t(), true);
    if (saver.empty()) {
        Log::stream(Log::LEVEL_DEBUG, true) << "ParamManager::ParamFileSaver::~ParamFileSaver: nothing to dump";
        return;
    }

    const std::string path = optionsIniPath();
    const std::string dir = fileops::dirname(path);
    if (fileops::exists(dir) && !fileops::is_directory(dir)) {
        log_error("path " + dir + " exists, but it is not directory");
        return;
    }
    try {
        fileops::create_directory(dir);
    } catch (const error& e) {
        log_error(e.getText());
        return;
    }

    std::ostringstream content;
    saver.write(content);
    const std::string data = content.str();
    // Written beside the file and renamed over it: a failure leaves the earlier answers whole.
    const std::string temporary = path + ".tmp";
    try {
        {
            FileHandle out(fileops::create_private_file(temporary), temporary, "w");
            if (std::fwrite(data.data(), 1, data.size(), out.file) != data.size() || std::fflush(out.file) != 0)
                throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << temporary;
        }
        fileops::rename(temporary, path);
    } catch (...) {
        log_error(format_message(Messages().get("err_file_create"), OPTIONS_INI));
        try {
            fileops::remove(temporary);
        } catch (...) {
            // Nothing more to do: the failure is logged and the earlier file stands.
        }
    }
}
