#include "installer/Options.h"

#include <exception>
#include <sstream>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "installer/Reporter.h"

namespace {

// The user error of two choices that exclude each other.
error override_error(const char* name, const std::string& recorded)
{
    return error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE)
           << format_message(Messages().get("err_cmd_override"), name ? name : "", recorded);
}

}  // namespace

// The misuse errors name the lines of the declarations that older releases reported, which support
// staff look up; they stay the same wherever the code stands.
ReleaseSelector::ReleaseSelector(const std::string& productId_, const std::string& releaseId_)
    : productId(productId_), kind(ID), releaseId(releaseId_)
{
    if (releaseId.empty())
        throw internal_error("installer/Options.h", 116);
}

ReleaseSelector::ReleaseSelector(const std::string& productId_, int kind_) : productId(productId_), kind(kind_)
{
    if (kind == ID)
        throw internal_error("installer/Options.h", 112);
}

const std::string& ReleaseSelector::getReleaseId() const
{
    if (kind != ID)
        throw KW_INTERNAL_ERROR();
    return releaseId;
}

int Options::argc = 0;
char** Options::argv = nullptr;

Options& Options::instance()
{
    // Never destroyed: threads and exit-time code may still read the settings.
    static Options* options = nullptr;
    if (!options) {
        std::exception_ptr failure;
        try {
            options = new Options(argc, argv);
        } catch (...) {
            failure = std::current_exception();
            options = new Options;
        }
        // The core does not read the settings: its downloads get their count here.
        Downloader::setRetryCount(options->downloadRetries);
        if (failure)
            std::rethrow_exception(failure);
    }
    return *options;
}

Options::Options()
{
    setDefaults();
}

Options::Options(int argc_, char** argv_)
{
    setDefaults();
    readRcFile();
    readEnvironment();
    readOptionsIni();
    if (argc_ >= 2 && argv_[1][0] != '-')
        parseCommand(argc_, argv_);
    else
        parseLegacyOptions(argc_, argv_);
    // The command syntax runs these once the catalogue has told what its selectors mean.
    if (commandName.empty()) {
        applyWebSecretTiers();
        checkConsistency();
    }
}

// The plain defaults are the members' initialisers; these are the ones worked out at run time.
void Options::setDefaults()
{
    source.url = DEFAULT_SOURCE_URL;
    target = get_home_dir();
    fileops::ensure_trailing(target, '/');
    target += "quillfern";
    setReleaseTiers("stable,release,current");
    releaseTiersDefault = true;
    terminalWidth = get_terminal_width();
    if (terminalWidth == 0)
        terminalWidth = 80;
}

// The sources of the settings, in the order the constructor reads them; each later one overrides what
// an earlier one set.

// The run-control file ".kitwrightrc".
void Options::readRcFile() {}

// ZANTH_INSTALLER_DEBUG and KW_WEB_UI_DEFAULT_PAGE_OVERRIDE.
void Options::readEnvironment() {}

// The component settings that the settings page saved in ".kitwright/options.ini".
void Options::readOptionsIni() {}

// The command syntax: a command word, its selectors and options.
void Options::parseCommand(int, char**) {}

// The long options.
void Options::parseLegacyOptions(int, char**) {}

// The web interface's certificate.
void Options::checkConsistency() {}

bool Options::readRcLine(std::istream&, std::string& key, std::string& value)
{
    key.clear();
    value.clear();
    return false;
}

void Options::setWorkMode(const char* name, WorkMode mode)
{
    if (workMode != INTERACTIVE_CONSOLE)
        throw override_error(name, workModeOption);
    workMode = mode;
    workModeOption = name ? name : "";
}

void Options::setCommand(const char* name, CliCommand cmd)
{
    workMode = NON_INTERACTIVE;
    // A dry run of an installation is its package listing, whichever option came first.
    if ((command == INSTALL && cmd == SHOW_PACKAGES) || (command == SHOW_PACKAGES && cmd == INSTALL)) {
        command = SHOW_PACKAGES;
        return;
    }
    if (command != NO_COMMAND && command != cmd)
        throw override_error(name, commandOption);
    command = cmd;
    commandOption = name ? name : "";
}

void Options::setSelectionMode(const std::string& product, const char* name, int mode)
{
    ComponentsSelection& selection = componentSelections[product];
    if (selection.mode != ComponentsSelection::NO_MODE && selection.mode != mode)
        throw override_error(name, selectionModeOption);
    selection.mode = mode;
    selectionModeOption = name ? name : "";
}

void Options::setUserInteractionMode(const char* name, const char* value)
{
    const std::string mode = value ? value : "";
    if (mode == "textUI")
        workMode = INTERACTIVE_CONSOLE;
    else if (mode == "webUI")
        workMode = INTERACTIVE_WEB_UI;
    else
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << "Invalid argument for option --" << (name ? name : "") << "=" << mode;
    interactionModeGiven = true;
}

void Options::addReleaseSelector(const char*, int kind, const std::string& product, const std::string& releaseId)
{
    if (kind == ReleaseSelector::ID)
        releaseSelectors.emplace_back(product, releaseId);
    else
        releaseSelectors.emplace_back(product.empty() ? DEFAULT_PRODUCT : product, kind);
}

void Options::setReleaseTiers(const std::string& text)
{
    releaseTiers.clear();
    if (!text.empty()) {
        size_t start = 0;
        for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
            releaseTiers.push_back(text.substr(start, comma - start));
        releaseTiers.push_back(text.substr(start));
    }
    releaseTiersDefault = false;
}

void Options::setReleaseTiersList(const std::vector<std::string>& tiers)
{
    releaseTiers = tiers;
    releaseTiersDefault = false;
}

void Options::disableReleaseTiersFilter()
{
    allVersions = true;
    setReleaseTiers(std::string());
}

void Options::applyWebSecretTiers()
{
    if (releaseTiersDefault && !get_env("WEB_SECRET").empty())
        setReleaseTiers("stable,release");
}

void Options::setOption(const std::string& product, const std::string& text)
{
    std::istringstream in(text);
    std::string key;
    std::string value;
    readRcLine(in, key, value);  // a blank or comment text stores an empty setting
    componentSettings[product.empty() ? DEFAULT_PRODUCT : product][key] = value;
}

void Options::setWebUiDefaultPageOverride(const std::string& page)
{
    webUiDefaultPage = page;
    set_env("KW_WEB_UI_DEFAULT_PAGE_OVERRIDE", page);
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Options: set KW_WEB_UI_DEFAULT_PAGE_OVERRIDE env var to " << page;
}

bool Options::isBackgroundInstall() const
{
    return !noDaemon && command == INSTALL && Reporter::xmlOutput;
}

bool Options::isExtCatalogNotNeeded() const
{
    if (workMode == INTERACTIVE_CONSOLE || workMode == INTERACTIVE_WEB_UI)
        return false;
    if (workMode != NON_INTERACTIVE)
        return true;
    if (command == SHOW_COMPONENTS)
        return false;
    if (commandOperation == INSTALL_COMMAND || commandOperation == ADD_REMOVE_COMMAND)
        return false;
    if (command != INSTALL)
        return true;
    // Only removals and upgrades of what is installed can do without the extensions on offer.
    for (const auto& entry : componentSelections) {
        const int mode = entry.second.mode;
        if (mode != ComponentsSelection::REMOVE_EVERYTHING && mode != ComponentsSelection::UPGRADE_INSTALLED)
            return false;
    }
    return true;
}

bool Options::isProdIDSelected(const std::string& product) const
{
    bool selected = false;
    for (const ReleaseSelector& selector : releaseSelectors)
        selected = selected || selector.getProductId() == product;
    Log::stream(Log::LEVEL_DEBUG, true) << "Options::isProdIDSelected: " << product << " " << (selected ? "true" : "false");
    return selected;
}

bool Options::isCompletionOutput() const
{
    if (debug || workMode != HELP_COMMAND)
        return false;
    const auto completion = variables.find("completion");
    return completion != variables.end() && completion->second.as<bool>();
}

std::string Options::getQuotedCommandLine()
{
    std::string line;
    for (int i = 0; i < argc; ++i)
        line += quote_c_string(argv[i]) + " ";
    return line;
}

std::string Options::getWebInterfaceCommandLine()
{
    return getQuotedCommandLine() + " --web-interface --with-ssl --disable-browser";
}
