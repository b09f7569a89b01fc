#include "messages/CatalogFillers.h"

#include <map>

namespace {

#define KW_FILLERS_ENTRY(code) {#code, {fillGeneralCatalog_##code, fillWebCatalog_##code, fillErrorsCatalog_##code}},

const std::map<std::string, TableFillers>& registry()
{
    static const std::map<std::string, TableFillers>* fillers =
        new std::map<std::string, TableFillers>{KW_FILLERS_ENTRY(en_US) KW_TRANSLATED_LOCALES(KW_FILLERS_ENTRY)};
    return *fillers;
}

#define KW_CODE_ENTRY(code) #code,

}  // namespace

const TableFillers* catalogFillers(const std::string& code)
{
    auto found = registry().find(code);
    return found == registry().end() ? nullptr : &found->second;
}

const std::vector<std::string>& translatedLocaleCodes()
{
    static const std::vector<std::string>* codes = new std::vector<std::string>{KW_TRANSLATED_LOCALES(KW_CODE_ENTRY)};
    return *codes;
}
