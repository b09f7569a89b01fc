#include "common/Messages.h"

#include <cstdlib>
#include <locale>
#include <mutex>
#include <stdexcept>

#include <boost/regex.hpp>

#include "common/Log.h"
#include "common/error.h"
#include "messages/CatalogFillers.h"

namespace {

// The current catalog and every catalog it replaced. A replaced catalog stays alive until the
// process ends: another thread may still hold a text it handed out. The mutex guards the swap and
// the insertion of missing keys; it is never held while logging, because the log asks for the
// locale while it holds its own mutex.
struct CatalogState {
    std::mutex mutex;
    Messages::messages_rep* current = nullptr;
    std::vector<Messages::messages_rep*> retired;
};

CatalogState& catalogs()
{
    static CatalogState* s = new CatalogState;
    return *s;
}

const CatalogState& catalogs_made_early = catalogs();

Messages::messages_rep& current()
{
    {
        std::lock_guard<std::mutex> guard(catalogs().mutex);
        if (catalogs().current)
            return *catalogs().current;
    }
    Messages::createDefault();
    std::lock_guard<std::mutex> guard(catalogs().mutex);
    return *catalogs().current;
}

void install(Messages::messages_rep* rep)
{
    std::lock_guard<std::mutex> guard(catalogs().mutex);
    if (catalogs().current)
        catalogs().retired.push_back(catalogs().current);
    catalogs().current = rep;
}

// Lays the tables of a locale code over the catalog; every code asked for is compiled in.
void fillTables(CatalogTable& table, const std::string& code)
{
    const TableFillers* fillers = catalogFillers(code);
    if (!fillers)
        throw KW_INTERNAL_ERROR();
    fillers->fill(table);
}

}  // namespace

Messages::messages_rep::messages_rep(const std::string& locale_name) : locale(locale_name)
{
    fillTables(*this, "en_US");

    if (locale == "C" || locale == "POSIX" || locale == "en_US" || locale == "en_US.UTF-8")
        return;

    for (const std::string& code : translatedLocaleCodes()) {
        if (locale == code + ".UTF-8") {
            fillTables(*this, code);
            return;
        }
    }

    static const boost::regex arabic("ar_..\\.UTF-8");
    if (boost::regex_match(locale, arabic)) {
        fillTables(*this, "ar");
        locale = "ar";
        return;
    }

    Log::stream(Log::LEVEL_INFO, true) << "Warning: Locale " << locale << " is not supported, used en_US.";
    Log::stream(Log::LEVEL_INFO, true)
        << "Supported locales are: ar_*.UTF-8 ca_ES.UTF-8 cs_CZ.UTF-8 da_DK.UTF-8 de_DE.UTF-8 "
           "el_GR.UTF-8 en_US.UTF-8 es_ES.UTF-8 fi_FI.UTF-8 fr_FR.UTF-8 he_IL.UTF-8 hu_HU.UTF-8 "
           "id_ID.UTF-8 it_IT.UTF-8 ja_JP.UTF-8 ko_KR.UTF-8 ms_MY.UTF-8 nb_NO.UTF-8 nl_NL.UTF-8 "
           "pl_PL.UTF-8 pt_BR.UTF-8 pt_PT.UTF-8 ro_RO.UTF-8 ru_RU.UTF-8 sv_SE.UTF-8 th_TH.UTF-8 "
           "tl_PH.UTF-8 tr_TR.UTF-8 uk_UA.UTF-8 vi_VN.UTF-8 zh_CN.UTF-8 zh_TW.UTF-8 ";
    locale = "en_US";
}

const std::string& Messages::messages_rep::getMessage(const char* key)
{
    const std::string* text;
    bool inserted = false;
    {
        std::lock_guard<std::mutex> guard(catalogs().mutex);
        auto found = messages.find(key);
        if (found == messages.end()) {
            found = messages.emplace(key, std::string(key) + "_(non_localized)").first;
            inserted = true;
        }
        text = &found->second;
    }
    if (inserted)
        Log::stream(Log::LEVEL_INFO, true) << "Warning: unlocalized key " << key;
    return *text;
}

const std::string& Messages::get(const char* key) const
{
    return current().getMessage(key);
}

const std::string& Messages::get(const std::string& key) const
{
    return current().getMessage(key.c_str());
}

const std::string& Messages::getLocale() const
{
    return current().locale;
}

void Messages::createDefault()
{
    {
        std::lock_guard<std::mutex> guard(catalogs().mutex);
        if (catalogs().current)
            return;
    }
    std::string name;
    try {
        name = std::locale("").name();
        Log::stream(Log::LEVEL_VERBOSE, true) << "Environment locale name is '" << name << "'";
    } catch (const std::runtime_error&) {
        Log::stream(Log::LEVEL_INFO, true) << "Can't create locale object, check your locale settings.\n"
                                              "Kitwright will use en_US locale.";
        setenv("LC_ALL", "C", 1);
        setenv("LANG", "C", 1);
    }
    auto* rep = new messages_rep(name);
    std::lock_guard<std::mutex> guard(catalogs().mutex);
    if (catalogs().current)
        catalogs().retired.push_back(rep);  // another thread was first; keep its catalog
    else
        catalogs().current = rep;
}

void Messages::setLocale(const std::string& requested)
{
    std::string name = requested;
    if (!name.empty() && name.find('.') == std::string::npos)
        name += ".UTF-8";
    Log::stream(Log::LEVEL_VERBOSE, true) << "Messages::setLocale: try to create object for locale: " << name;
    if (name.size() > 3 && name[2] == '-')
        name[2] = '_';
    install(new messages_rep(name));

    try {
        std::locale check(name.c_str());
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Messages::setLocale: check locale " << check.name();
    } catch (const std::runtime_error&) {
        // The catalog stays; children just get a locale that every system has.
        Log::stream(Log::LEVEL_VERBOSE, true) << "Warning: locale name " << name << " is not valid, use 'C' instead";
        name = "C";
    }
    setenv("LC_ALL", name.c_str(), 1);
    setenv("LANG", name.c_str(), 1);
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Messages::setLocale: updated locale in environment to: " << name;
}

std::vector<std::pair<std::string, std::string>> Messages::getLanguages()
{
    return {{"en_US", "English"},
            {"ar", "Arabic"},
            {"ca_ES", "Catalan"},
            {"cs_CZ", "Czech"},
            {"da_DK", "Danish"},
            {"de_DE", "German"},
            {"el_GR", "Greek"},
            {"es_ES", "Spanish"},
            {"fi_FI", "Finnish"},
            {"fr_FR", "French"},
            {"he_IL", "Hebrew"},
            {"hu_HU", "Hungarian"},
            {"id_ID", "Indonesian"},
            {"it_IT", "Italian"},
            {"ja_JP", "Japanese"},
            {"ko_KR", "Korean"},
            {"ms_MY", "Malay"},
            {"nb_NO", "Norweigian"},
            {"nl_NL", "Dutch"},
            {"pl_PL", "Polish"},
            {"pt_BR", "Brazilian Portuguese"},
            {"pt_PT", "Portuguese"},
            {"ro_RO", "Romanian"},
            {"ru_RU", "Russian"},
            {"sv_SE", "Swedish"},
            {"th_TH", "Thai"},
            {"tl_PH", "Filipino"},
            {"tr_TR", "Turkish"},
            {"uk_UA", "Ukrainian"},
            {"vi_VN", "Vietnamese"},
            {"zh_CN", "Chinese (Simplified)"},
            {"zh_TW", "Chinese (Traditional)"}};
}
