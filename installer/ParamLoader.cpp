#include "installer/ParamLoader.h"

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/KwComponent.h"
#include "installer/Options.h"
#include "installer/ParamHidden.h"
#include "installer/ParamStatic.h"

ParamManager::ParamLoader::ParamLoader(const values_t& values_) : values(values_) {}

void ParamManager::ParamLoader::visit(param_ptr_t setting)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "ParamManager::ParamLoader::visit: entry";
    // Their values come from the build file alone.
    if (boost::dynamic_pointer_cast<ParamStatic>(setting) || boost::dynamic_pointer_cast<ParamHidden>(setting))
        return;
    const std::string product = setting->getComponents().front()->getProductId();
    if (product.empty())
        throw KW_INTERNAL_ERROR();
    const values_t::const_iterator product_values = values.find(product);
    if (product_values == values.end())
        return;
    const std::map<std::string, std::string>::const_iterator found = product_values->second.find(setting->getId());
    if (found == product_values->second.end())
        return;
    const std::string& value = found->second;
    const std::string line = "[" + product + "][" + setting->getId() + "]=" + value;
    if (setting->is_readonly()) {
        Log::stream(Log::LEVEL_VERBOSE, true) << ("DEBUG: ParamLoader: skip of set read-only option: " + line);
        return;
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << ("DEBUG: ParamLoader: set component from option: " + line);
    if (setting->setValue(value))
        return;
    Log::stream(Log::LEVEL_DEBUG, true) << ("DEBUG: ParamLoader: Set param error: " + setting->getErrorMessage());
    refusals += format_message(Messages().get("err_param_invalid"), setting->getId(), value) + " : " +
                setting->getErrorMessage() + "\n";
}

void ParamManager::loadFromOptions()
{
    ParamLoader loader(Options::instance().componentSettings);
    walk(loader);
    const std::string& refusals = loader.getRefusals();
    // The error ends its text with a line end of its own.
    if (!refusals.empty())
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE) << refusals.substr(0, refusals.size() - 1);
}
