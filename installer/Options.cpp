#include "installer/Options.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include <boost/algorithm/string/split.hpp>
#include <boost/program_options/errors.hpp>
#include <boost/program_options/parsers.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "installer/BuildManager.h"
#include "installer/CommandDescription.h"
#include "installer/Product.h"
#include "installer/Reporter.h"
#include "installer/SelfSignedCertificate.h"
#include "installer/TextDialog.h"

namespace {

void logDeprecatedOption(const std::string& name)
{
    Log::stream(Log::LEVEL_ERROR, true) << format_message(Messages().get("warn_deprecated_option"), "--" + name);
}

error user_error()
{
    return error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE);
}

// The user error of two choices that exclude each other.
error override_error(const char* name, const std::string& recorded)
{
    return user_error() << format_message(Messages().get("err_cmd_override"), name ? name : "", recorded);
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

std::vector<std::string> Options::getRcFileCandidates()
{
    const std::string home = get_home_dir();
    std::string configDir = home + "/.config";
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"))
        configDir = xdg[0] == '/' ? std::string(xdg) : home + "/" + xdg;
    return {configDir + "/.kitwrightrc", home + "/.kitwrightrc"};
}

std::string Options::findRcFile()
{
    for (const std::string& candidate : getRcFileCandidates())
        if (fileops::is_file(candidate))
            return candidate;
    return std::string();
}

// The run-control file ".kitwrightrc".
void Options::readRcFile()
{
    Log::stream(Log::LEVEL_INFO, true) << "Try to find rcfile...";
    const std::string path = findRcFile();
    if (path.empty()) {
        Log::stream(Log::LEVEL_INFO, true) << "Kitwright rcfile not found.";
        return;
    }
    Log::stream(Log::LEVEL_INFO, true) << "Kitwright found rcfile at " << path;
    std::ifstream in(path);
    if (!in)
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(Messages().get("err_rcfile_open"), path);
    std::string key;
    std::string value;
    while (readRcLine(in, key, value)) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Option from rc file:: '" << key << "' = '" << value << "'";
        applyRcSetting(key, value);
    }
}

namespace {

// Keys that older releases knew; their lines are tolerated so that old files keep working.
const std::set<std::string> ignoredRcKeys = {
    "SOURCE_TYPE",          "CHECK_DISK_SPACE",        "ALLOW_TO_USE_UP2DATE",   "USE_YUM",      "ADDITIONAL_SOURCE",
    "ALLOW_KERNEL_INSTALL", "UPGRADE_SYSTEM_PACKAGES", "SEND_EXECUTION_SUMMARY", "HOLD_PACKAGES"};

}  // namespace

void Options::applyRcSetting(const std::string& key, const std::string& value)
{
    const std::map<std::string, bool*> flags = {{"USE_ZANTH_UPDATES", &useProductUpdates},
                                                {"REMOVE_PACKAGES_TREE", &forceRemovePackagesTree},
                                                {"SKIP_EXAMINE", &skipComponentsCheck},
                                                {"TRUNCATE_LOG", &truncateLog},
                                                {"SEPARATE_LOGS", &separateLogs},
                                                {"STRICT", &strict},
                                                {"DEBUG", &debug},
                                                {"SHOW_HIDDEN_COMPONENTS", &showHiddenComponents},
                                                {"SKIP_GPG_CHECK", &skipGpgCheck}};
    const std::map<std::string, std::string*> texts = {{"TARGET", &target},
                                                       {"PROXY_HOST", &proxy.host},
                                                       {"PROXY_USER", &proxy.user},
                                                       {"PROXY_PASSWORD", &proxy.password},
                                                       {"NOTIFY_EMAIL", &notifyEmail},
                                                       {"OVERRIDE_OS_NAME", &Opsys::overrideName},
                                                       {"OVERRIDE_OS_VENDOR", &Opsys::overrideVendor},
                                                       {"OVERRIDE_OS_VERSION", &Opsys::overrideVersion},
                                                       {"OVERRIDE_OS_ARCH", &Opsys::overrideArch},
                                                       {"OVERRIDE_ENVIRONMENT", &Opsys::overrideEnvironment},
                                                       {"EXT_CATALOG_URL", &extCatalogUrl},
                                                       {"SSL_PROTOCOLS", &sslProtocols},
                                                       {"SSL_CIPHERS", &sslCiphers},
                                                       {"SSL_CIPHER_SERVER_PREFERENCE", &sslCipherServerPreference}};
    const std::map<std::string, int*> counts = {{"MAX_STORED_SEPARATE_LOGS", &maxStoredSeparateLogs},
                                                {"DOWNLOAD_RETRY_COUNT", &downloadRetries}};

    if (flags.count(key))
        *flags.at(key) = parseYesNo(key, value);
    else if (texts.count(key))
        *texts.at(key) = value;
    else if (counts.count(key))
        *counts.at(key) = parsePositiveInt(value, user_error() << format_message(Messages().get("err_retry_arg"), key));
    else if (key == "SOURCE")
        source.assign(value);
    else if (key == "PROXY_PORT")
        proxy.port = static_cast<int32_t>(std::atol(value.c_str()));
    else if (key == "CLEAR_SCREEN")
        TextDialog::noClear = !parseYesNo(key, value);
    else if (key == "RELEASE_TIERS_FILTER")
        setReleaseTiers(value);
    else if (key == "SHOW_ALL_RELEASES" || key == "SHOW_ALL_VERSIONS" || key == "DISABLE_RELEASE_TIERS_FILTER") {
        if (parseYesNo(key, value))
            disableReleaseTiersFilter();
    } else
        Log::stream(Log::LEVEL_ERROR, true)
            << Messages().get(ignoredRcKeys.count(key) ? "err_rc_ignored" : "err_rc_param") << "'" << key << "' = '"
            << value << "'";
}

bool Options::parseYesNo(const std::string& key, const std::string& value)
{
    if (value == "yes" || value == "YES")
        return true;
    if (value == "no" || value == "NO")
        return false;
    throw user_error() << format_message(Messages().get("err_bool_val"), value, key);
}

int Options::parsePositiveInt(const std::string& text, const error& failure)
{
    // The whole text must be the number: strtol alone would skip leading blanks and stop at junk.
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '+' || text[0] == '-'))
        throw failure;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || end == text.c_str() || errno == ERANGE || number < 1 || number > INT_MAX)
        throw failure;
    return static_cast<int>(number);
}

// ZANTH_INSTALLER_DEBUG and KW_WEB_UI_DEFAULT_PAGE_OVERRIDE; being set is what counts, even empty.
void Options::readEnvironment()
{
    if (std::getenv("ZANTH_INSTALLER_DEBUG"))
        debug = true;
    if (const char* page = std::getenv("KW_WEB_UI_DEFAULT_PAGE_OVERRIDE"))
        webUiDefaultPage = page;
}

// The component settings that the settings page saved in ".kitwright/options.ini": "[product]" headers,
// each followed by its setting lines.
void Options::readOptionsIni()
{
    const std::string path = get_home_dir() + "/.kitwright/options.ini";
    if (!fileops::exists(path))
        return;
    Log::stream(Log::LEVEL_VERBOSE, true) << "Read component settings from " << path;
    std::ifstream in(path);
    if (!in) {
        // Saved answers are a convenience: without them the run asks again.
        Log::stream(Log::LEVEL_INFO, true)
            << "ERROR: " << format_message(Messages().get("err_fileread2"), path, std::strerror(errno));
        return;
    }
    std::string product;
    char c;
    while (in.get(c)) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        if (c == '[') {
            std::string header;
            while (in.get(c) && c != ']')
                header += c;
            if (!in) {
                Log::stream(Log::LEVEL_INFO, true)
                    << "read options.ini: unfinished section header '[" << header << "' ignored";
                return;
            }
            std::string rest;
            std::getline(in, rest);
            product = header;
            Log::stream(Log::LEVEL_VERBOSE, true) << "read options.ini: prod_id=" << product;
            continue;
        }
        in.unget();
        std::string key;
        std::string value;
        if (!readSettingLine(in, key, value, SAVED_ANSWERS_SYNTAX))
            return;
        Log::stream(Log::LEVEL_VERBOSE, true) << "read options.ini: '" << key << "' = '" << value << "'";
        if (product.empty())
            throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                << "broken component options.ini file: [prod_id] must precede any name=val lines";
        componentSettings[product][key] = value;
    }
}

// The command syntax: a command word, its selectors and options.
void Options::parseCommand(int argc_, char** argv_)
{
    commandName = argv_[1];
    strict = true;
    if (!CommandDescription::isCommand(commandName))
        throw user_error() << format_message(Messages().get("err_opt_unknown_command"), commandName);
    if (!parseCommandLine(argc_, argv_))
        return;
    const bool dryRun = variables.count("dry-run") && variables["dry-run"].as<bool>();
    const char* name = commandName.c_str();
    if (commandName == "version")
        setWorkMode(name, VERSION);
    else if (commandName == "help")
        setWorkMode(name, selectors.size() == 1 ? HELP_COMMAND : HELP);
    else if (commandName == "list-all")
        setCommand(name, SHOW_ALL_RELEASES);
    else if (commandName == "list") {
        for (const auto& pair : std::vector<std::pair<const char*, const char*>>{{"presets", "components"},
                                                                                 {"presets", "options"},
                                                                                 {"presets", "sources"},
                                                                                 {"sources", "components"},
                                                                                 {"sources", "options"}})
            checkConflict(pair.first, pair.second);
        setWorkMode(name, NON_INTERACTIVE);
    } else if (commandName == "install") {
        checkConflict("preset", "components");
        checkDependency("with", "preset");
        checkDependency("without", "preset");
        setInstallingCommand(dryRun, true);
        commandOperation = INSTALL_COMMAND;
    } else if (commandName == "upgrade") {
        setWorkMode(name, NON_INTERACTIVE);
        commandOperation = UPGRADE_COMMAND;
    } else if (commandName == "update") {
        setInstallingCommand(dryRun, false);
        commandOperation = UPDATE_COMMAND;
    } else if (commandName == "add" || commandName == "remove") {
        setInstallingCommand(dryRun, true);
        commandOperation = ADD_REMOVE_COMMAND;
    } else if (commandName == "stop")
        setWorkMode(name, STOP);
}

bool Options::parseCommandLine(int argc_, char** argv_)
{
    namespace po = boost::program_options;
    const CommandDescription command(*this, commandName, 100, false);
    po::options_description all;
    all.add(command.options);
    all.add_options()("repatch", "")("skip-patch", "");  // of older releases, accepted and ignored
    po::store(po::command_line_parser(argc_, argv_).options(all).positional(command.positional).run(), variables);
    for (const char* hidden : {"repatch", "skip-patch"})
        if (variables.count(hidden))
            logDeprecatedOption(hidden);
    if (!variables.count("help")) {
        po::notify(variables);
        return true;
    }
    // Only the help is wanted: nothing else of this line is stored.
    if (variables.count("verbose"))
        helpVerbosity = variables["verbose"].as<uint64_t>();
    setWorkMode("help", HELP_COMMAND);
    return false;
}

bool Options::givenOnCommandLine(const char* name) const
{
    const auto found = variables.find(name);
    if (found == variables.end() || found->second.defaulted())
        return false;
    // A switch that is not given still has its default value; one given is true.
    const bool* flag = boost::any_cast<bool>(&found->second.value());
    return !flag || *flag;
}

void Options::checkConflict(const char* first, const char* second) const
{
    if (givenOnCommandLine(first) && givenOnCommandLine(second))
        throw boost::program_options::error(format_message(Messages().get("err_opt_conflict"), first, second));
}

void Options::checkDependency(const char* option, const char* required) const
{
    if (givenOnCommandLine(option) && !givenOnCommandLine(required))
        throw boost::program_options::error(format_message(Messages().get("err_opt_requires"), option, required));
}

// The installing commands: a dry run lists the packages instead.
void Options::setInstallingCommand(bool dryRun, bool installPrefix)
{
    if (dryRun) {
        setCommand(commandName.c_str(), SHOW_PACKAGES);
        return;
    }
    setCommand(commandName.c_str(), INSTALL);
    if (installPrefix)
        Reporter::statusPrefix = "install_";
}

std::vector<std::string> Options::getMultiValue(const std::string& name) const
{
    std::vector<std::string> items;
    const auto found = variables.find(name);
    if (found == variables.end())
        return items;
    for (const std::string& value : found->second.as<std::vector<std::string>>())
        for (const std::string& item : split_comma_list(value))
            items.push_back(item);
    return items;
}

void Options::printCommandsUsage()
{
    std::cout << Messages().get("usage_commands") << std::flush;
}

void Options::printCommandHelp()
{
    std::string name = commandName;
    if (name == "help" && selectors.size() == 1)
        name = selectors[0];
    const CommandDescription command(*this, name, helpVerbosity, true);
    const auto completion = variables.find("completion");
    if (completion != variables.end() && completion->second.as<bool>()) {
        // The option list of the shell completion: whether each option stands alone.
        std::cout << "{\n";
        const char* separator = "";
        for (const auto& option : command.options.options()) {
            std::cout << separator << "  \"--" << option->long_name()
                      << "\": {\"flag\": " << (option->semantic()->min_tokens() == 0 ? "true" : "false") << "}";
            separator = ",\n";
        }
        std::cout << "\n}\n" << std::flush;
        return;
    }
    std::cout << Messages().get("usage_cmd_prefix") << name << " " << command.synopsis << "\n\n"
              << command.description << "\n"
              << command.options << "\n"
              << command.verboseHint << "\n"
              << std::flush;
}

namespace {

// The codes that getopt_long returns for the long options, after every character code.
enum LongOption {
    OPT_HELP = 256,
    OPT_VERSION,
    OPT_HELP_OPTIONS,
    OPT_BINARY_VERSION,
    OPT_QUERY_STATUS,
    OPT_WEB_INTERFACE,
    OPT_CONSOLE_INTERFACE,
    OPT_SERVICE_MODE,
    OPT_INTERACTION_MODE,
    OPT_CHECK_UPDATES,
    OPT_SHOW_ALL_RELEASES,
    OPT_SHOW_RELEASES,
    OPT_SHOW_OS_LIST,
    OPT_SHOW_INSTALLATION_TYPES,
    OPT_SHOW_COMPONENTS,
    OPT_SHOW_UPGRADABLE_COMPONENTS,
    OPT_SHOW_PACKAGES,
    OPT_SHOW_OPTIONS,
    OPT_SHOW_HIDDEN,
    OPT_ENABLE_FEEDBACK,
    OPT_DISABLE_FEEDBACK,
    OPT_FEEDBACK_PRODUCT,
    OPT_FEEDBACK_GROUP_ID,
    OPT_SELECT_PRODUCT,
    OPT_SELECT_RELEASE_ID,
    OPT_SELECT_LATEST,
    OPT_SELECT_CURRENT,
    OPT_TIER,
    OPT_ALL_VERSIONS,
    OPT_INSTALLATION_TYPE,
    OPT_INSTALL_COMPONENT,
    OPT_INSTALL_EVERYTHING,
    OPT_UPGRADE_INSTALLED,
    OPT_INCLUDE_CLASS,
    OPT_REMOVE_COMPONENT,
    OPT_REMOVE_PACKAGE,
    OPT_REMOVE_EVERYTHING,
    OPT_FORCE_REMOVE_TREE,
    OPT_INTERACTIVE_UNINSTALL,
    OPT_SET_OPTION,
    OPT_SOURCE,
    OPT_TARGET,
    OPT_RETRY_COUNT,
    OPT_NO_SYS_UPDATES,
    OPT_EXT_CATALOG,
    OPT_SKIP_GPG,
    OPT_SKIP_CLEANUP,
    OPT_NO_SELF_UPGRADE,
    OPT_SKIP_CHECK,
    OPT_PROXY_HOST,
    OPT_PROXY_PORT,
    OPT_PROXY_USER,
    OPT_PROXY_PASSWORD,
    OPT_OS_NAME,
    OPT_OS_VENDOR,
    OPT_OS_VERSION,
    OPT_OS_ARCH,
    OPT_OS_ENVIRONMENT,
    OPT_SSL_CERT,
    OPT_WITHOUT_SSL,
    OPT_WITH_SSL,
    OPT_NO_BROWSER,
    OPT_XML,
    OPT_DEBUG,
    OPT_TRUNCATE_LOG,
    OPT_SEPARATE_LOGS,
    OPT_NOTIFY_EMAIL,
    OPT_NO_DAEMON,
    OPT_NO_CLEAR,
    OPT_DEPRECATED
};

const struct option longOptions[] = {
    {"help", no_argument, nullptr, OPT_HELP},
    {"usage", no_argument, nullptr, OPT_HELP},
    {"version", no_argument, nullptr, OPT_VERSION},
    {"help-options", no_argument, nullptr, OPT_HELP_OPTIONS},
    {"print-version-of-this-binary", no_argument, nullptr, OPT_BINARY_VERSION},
    {"query-status", no_argument, nullptr, OPT_QUERY_STATUS},
    {"web-interface", no_argument, nullptr, OPT_WEB_INTERFACE},
    {"console-interface", no_argument, nullptr, OPT_CONSOLE_INTERFACE},
    {"service-mode", optional_argument, nullptr, OPT_SERVICE_MODE},
    {"set-user-interaction-mode", required_argument, nullptr, OPT_INTERACTION_MODE},
    {"check-updates", no_argument, nullptr, OPT_CHECK_UPDATES},
    {"show-all-releases", no_argument, nullptr, OPT_SHOW_ALL_RELEASES},
    {"show-releases", no_argument, nullptr, OPT_SHOW_RELEASES},
    {"show-os-list", no_argument, nullptr, OPT_SHOW_OS_LIST},
    {"show-installation-types", no_argument, nullptr, OPT_SHOW_INSTALLATION_TYPES},
    {"show-components", no_argument, nullptr, OPT_SHOW_COMPONENTS},
    {"show-upgradable-components", no_argument, nullptr, OPT_SHOW_UPGRADABLE_COMPONENTS},
    {"show-packages", no_argument, nullptr, OPT_SHOW_PACKAGES},
    {"show-options", no_argument, nullptr, OPT_SHOW_OPTIONS},
    {"show-hidden-components", no_argument, nullptr, OPT_SHOW_HIDDEN},
    {"enable-feedback", no_argument, nullptr, OPT_ENABLE_FEEDBACK},
    {"disable-feedback", no_argument, nullptr, OPT_DISABLE_FEEDBACK},
    {"set-feedback-product", required_argument, nullptr, OPT_FEEDBACK_PRODUCT},
    {"set-feedback-group-id", required_argument, nullptr, OPT_FEEDBACK_GROUP_ID},
    {"select-product-id", required_argument, nullptr, OPT_SELECT_PRODUCT},
    {"select-release-id", required_argument, nullptr, OPT_SELECT_RELEASE_ID},
    {"select-release-latest", no_argument, nullptr, OPT_SELECT_LATEST},
    {"select-release-current", no_argument, nullptr, OPT_SELECT_CURRENT},
    {"tier", required_argument, nullptr, OPT_TIER},
    {"branch", required_argument, nullptr, OPT_TIER},
    {"all-versions", no_argument, nullptr, OPT_ALL_VERSIONS},
    {"skip-branch-filter", no_argument, nullptr, OPT_ALL_VERSIONS},
    {"installation-type", required_argument, nullptr, OPT_INSTALLATION_TYPE},
    {"install-component", required_argument, nullptr, OPT_INSTALL_COMPONENT},
    {"install-everything", no_argument, nullptr, OPT_INSTALL_EVERYTHING},
    {"upgrade-installed-components", no_argument, nullptr, OPT_UPGRADE_INSTALLED},
    {"include-components-from-class", required_argument, nullptr, OPT_INCLUDE_CLASS},
    {"remove-component", required_argument, nullptr, OPT_REMOVE_COMPONENT},
    {"remove-package", required_argument, nullptr, OPT_REMOVE_PACKAGE},
    {"remove-everything", no_argument, nullptr, OPT_REMOVE_EVERYTHING},
    {"force-remove-packages-tree", no_argument, nullptr, OPT_FORCE_REMOVE_TREE},
    {"interactive-uninstall", no_argument, nullptr, OPT_INTERACTIVE_UNINSTALL},
    {"set-option", required_argument, nullptr, OPT_SET_OPTION},
    {"source", required_argument, nullptr, OPT_SOURCE},
    {"target", required_argument, nullptr, OPT_TARGET},
    {"download-retry-count", required_argument, nullptr, OPT_RETRY_COUNT},
    {"disable-zanth-sys-updates", no_argument, nullptr, OPT_NO_SYS_UPDATES},
    {"ext-catalog-url", required_argument, nullptr, OPT_EXT_CATALOG},
    {"skip-gpg-check", no_argument, nullptr, OPT_SKIP_GPG},
    {"skip-cleanup", no_argument, nullptr, OPT_SKIP_CLEANUP},
    {"disable-self-upgrade", no_argument, nullptr, OPT_NO_SELF_UPGRADE},
    {"skip-components-check", no_argument, nullptr, OPT_SKIP_CHECK},
    {"proxy-host", required_argument, nullptr, OPT_PROXY_HOST},
    {"proxy-port", required_argument, nullptr, OPT_PROXY_PORT},
    {"proxy-user", required_argument, nullptr, OPT_PROXY_USER},
    {"proxy-password", required_argument, nullptr, OPT_PROXY_PASSWORD},
    {"override-os-name", required_argument, nullptr, OPT_OS_NAME},
    {"override-os-vendor", required_argument, nullptr, OPT_OS_VENDOR},
    {"override-os-version", required_argument, nullptr, OPT_OS_VERSION},
    {"override-os-arch", required_argument, nullptr, OPT_OS_ARCH},
    {"override-environment", required_argument, nullptr, OPT_OS_ENVIRONMENT},
    {"ssl-cert", required_argument, nullptr, OPT_SSL_CERT},
    {"without-ssl", no_argument, nullptr, OPT_WITHOUT_SSL},
    {"with-ssl", no_argument, nullptr, OPT_WITH_SSL},
    {"disable-browser", no_argument, nullptr, OPT_NO_BROWSER},
    {"enable-xml-output", no_argument, nullptr, OPT_XML},
    {"debug", no_argument, nullptr, OPT_DEBUG},
    {"truncate-log", no_argument, nullptr, OPT_TRUNCATE_LOG},
    {"separate-logs", no_argument, nullptr, OPT_SEPARATE_LOGS},
    {"notify-email", required_argument, nullptr, OPT_NOTIFY_EMAIL},
    {"no-daemon", no_argument, nullptr, OPT_NO_DAEMON},
    {"no-clear", no_argument, nullptr, OPT_NO_CLEAR},
    // Options of older releases: accepted, so that old scripts still run, and ignored.
    {"source-type", required_argument, nullptr, OPT_DEPRECATED},
    {"add-source", required_argument, nullptr, OPT_DEPRECATED},
    {"mirror-os", required_argument, nullptr, OPT_DEPRECATED},
    {"show-additional-source-types", no_argument, nullptr, OPT_DEPRECATED},
    {"show-additional-sources", no_argument, nullptr, OPT_DEPRECATED},
    {"install-system-only", no_argument, nullptr, OPT_DEPRECATED},
    {"allow-kernel-install", no_argument, nullptr, OPT_DEPRECATED},
    {"disable-major-updates", no_argument, nullptr, OPT_DEPRECATED},
    {"upgrade-system-packages", no_argument, nullptr, OPT_DEPRECATED},
    {"reinstall-patch", no_argument, nullptr, OPT_DEPRECATED},
    {"skip-patch", no_argument, nullptr, OPT_DEPRECATED},
    {"no-space-check", no_argument, nullptr, OPT_DEPRECATED},
    {nullptr, 0, nullptr, 0}};

}  // namespace

// The long options, applied one after the other in the order given.
void Options::parseLegacyOptions(int argc_, char** argv_)
{
    std::string product;  // the current product of the selection options
    const char* name = "";
    optind = 0;  // a full reset of getopt's state: the record may be parsed more than once in a process
    for (;;) {
        int index = -1;
        const int code = getopt_long(argc_, argv_, "hv", longOptions, &index);
        if (code == -1)
            break;
        if (code == 'h' || code == 'v')
            name = code == 'h' ? "help" : "version";
        else if (index >= 0)
            name = longOptions[index].name;
        const std::string value = optarg ? optarg : "";
        switch (code) {
        case 'h':
        case OPT_HELP: setWorkMode(name, HELP); break;
        case 'v':
        case OPT_VERSION: setWorkMode(name, VERSION); break;
        case OPT_HELP_OPTIONS: setWorkMode(name, HELP_OPTIONS); break;
        case OPT_BINARY_VERSION: setWorkMode(name, BINARY_VERSION); break;
        case OPT_QUERY_STATUS:
            setWorkMode(name, QUERY_STATUS);
            Reporter::statusPrefix = "query_";
            break;
        case OPT_WEB_INTERFACE: setWorkMode(name, INTERACTIVE_WEB_UI); break;
        case OPT_CONSOLE_INTERFACE: setWorkMode(name, INTERACTIVE_CONSOLE); break;
        case OPT_SERVICE_MODE:
            // The launcher of the web interface sets WEB_SECRET: that process is the service already.
            if (!get_env("WEB_SECRET").empty()) {
                Log::stream(Log::LEVEL_VERBOSE, true)
                    << "DEBUG: ignore option --service-mode because environment variable WEB_SECRET is already set.";
                break;
            }
            setWorkMode(name, SERVICE);
            if (value == "update")
                setWebUiDefaultPageOverride("update_components");
            else if (value == "components")
                setWebUiDefaultPageOverride("components");
            break;
        case OPT_INTERACTION_MODE: setUserInteractionMode(name, value.c_str()); break;
        case OPT_CHECK_UPDATES:
            setCommand(name, CHECK_UPDATES);
            addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
            break;
        case OPT_SHOW_ALL_RELEASES:
            setCommand(name, SHOW_ALL_RELEASES);
            addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
            break;
        case OPT_SHOW_RELEASES:
            setCommand(name, SHOW_RELEASES);
            addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
            break;
        case OPT_SHOW_OS_LIST: setCommand(name, SHOW_OS_LIST); break;
        case OPT_SHOW_INSTALLATION_TYPES: setCommand(name, SHOW_INSTALLATION_TYPES); break;
        case OPT_SHOW_COMPONENTS: setCommand(name, SHOW_COMPONENTS); break;
        case OPT_SHOW_UPGRADABLE_COMPONENTS: setCommand(name, SHOW_UPGRADABLE_COMPONENTS); break;
        case OPT_SHOW_PACKAGES: setCommand(name, SHOW_PACKAGES); break;
        case OPT_SHOW_OPTIONS: showOptions = true; break;
        case OPT_SHOW_HIDDEN: showHiddenComponents = true; break;
        case OPT_ENABLE_FEEDBACK: setCommand(name, ENABLE_FEEDBACK); break;
        case OPT_DISABLE_FEEDBACK: setCommand(name, DISABLE_FEEDBACK); break;
        case OPT_FEEDBACK_PRODUCT:
            setCommand(name, SET_FEEDBACK_PRODUCT);
            feedbackProduct = value;
            break;
        case OPT_FEEDBACK_GROUP_ID:
            setCommand(name, SET_FEEDBACK_GROUP_ID);
            feedbackGroupId = value;
            break;
        case OPT_SELECT_PRODUCT: product = value; break;
        case OPT_SELECT_RELEASE_ID:
            addReleaseSelector(name, ReleaseSelector::ID, product, value);
            selectedReleaseIds.push_back(value);
            break;
        case OPT_SELECT_LATEST: addReleaseSelector(name, ReleaseSelector::LATEST, product, ""); break;
        case OPT_SELECT_CURRENT: addReleaseSelector(name, ReleaseSelector::CURRENT, product, ""); break;
        case OPT_TIER: setReleaseTiers(value); break;
        case OPT_ALL_VERSIONS: disableReleaseTiersFilter(); break;
        case OPT_INSTALLATION_TYPE:
            setCommand(name, INSTALL);
            setSelectionMode(product, name, ComponentsSelection::INSTALLATION_TYPE);
            componentSelections[product].installationType = value;
            break;
        case OPT_INSTALL_COMPONENT:
            setCommand(name, INSTALL);
            setSelectionMode(product, name, ComponentsSelection::LISTED_COMPONENTS);
            componentSelections[product].installComponents.push_back(value);
            Reporter::statusPrefix = "install_";
            break;
        case OPT_INSTALL_EVERYTHING:
            setCommand(name, INSTALL);
            setSelectionMode(product, name, ComponentsSelection::INSTALL_EVERYTHING);
            Reporter::statusPrefix = "install_";
            break;
        case OPT_UPGRADE_INSTALLED:
            setCommand(name, INSTALL);
            setSelectionMode(product, name, ComponentsSelection::UPGRADE_INSTALLED);
            break;
        case OPT_INCLUDE_CLASS:
            setCommand(name, INSTALL);
            setSelectionMode(product, name, ComponentsSelection::UPGRADE_INSTALLED);
            componentSelections[product].componentClasses.push_back(value);
            break;
        case OPT_REMOVE_COMPONENT:
            setCommand(name, INSTALL);
            addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
            setSelectionMode(product, name, ComponentsSelection::LISTED_COMPONENTS);
            componentSelections[product].removeComponents.push_back(value);
            Reporter::statusPrefix = "install_";
            break;
        case OPT_REMOVE_PACKAGE:
            setCommand(name, INSTALL);
            addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
            packagesToRemove.push_back(value);
            break;
        case OPT_REMOVE_EVERYTHING:
            setCommand(name, INSTALL);
            addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
            setSelectionMode(product, name, ComponentsSelection::REMOVE_EVERYTHING);
            removeEverything = true;
            break;
        case OPT_FORCE_REMOVE_TREE: forceRemovePackagesTree = true; break;
        case OPT_INTERACTIVE_UNINSTALL: interactiveUninstall = true; break;
        case OPT_SET_OPTION: setOption(product, value); break;
        case OPT_SOURCE: source.assign(value); break;
        case OPT_TARGET: target = value; break;
        case OPT_RETRY_COUNT:
            downloadRetries = parsePositiveInt(
                value, user_error() << format_message(Messages().get("err_retry_arg"), "--download-retry-count"));
            break;
        case OPT_NO_SYS_UPDATES: useProductUpdates = false; break;
        case OPT_EXT_CATALOG: extCatalogUrl = value; break;
        case OPT_SKIP_GPG: skipGpgCheck = true; break;
        case OPT_SKIP_CLEANUP: skipCleanup = true; break;
        case OPT_NO_SELF_UPGRADE: disableSelfUpgrade = true; break;
        case OPT_SKIP_CHECK: skipComponentsCheck = true; break;
        case OPT_PROXY_HOST: proxy.host = value; break;
        case OPT_PROXY_PORT: proxy.port = std::atoi(value.c_str()); break;
        case OPT_PROXY_USER: proxy.user = value; break;
        case OPT_PROXY_PASSWORD: proxy.password = value; break;
        case OPT_OS_NAME: Opsys::overrideName = value; break;
        case OPT_OS_VENDOR: Opsys::overrideVendor = value; break;
        case OPT_OS_VERSION: Opsys::overrideVersion = value; break;
        case OPT_OS_ARCH: Opsys::overrideArch = value; break;
        case OPT_OS_ENVIRONMENT: Opsys::overrideEnvironment = value; break;
        case OPT_SSL_CERT: sslCertificate = value; break;
        case OPT_WITHOUT_SSL: withoutSsl = true; break;
        case OPT_WITH_SSL: withoutSsl = false; break;
        case OPT_NO_BROWSER: openBrowser = false; break;
        case OPT_XML: Reporter::xmlOutput = true; break;
        case OPT_DEBUG: debug = true; break;
        case OPT_TRUNCATE_LOG: truncateLog = true; break;
        case OPT_SEPARATE_LOGS: separateLogs = true; break;
        case OPT_NOTIFY_EMAIL: notifyEmail = value; break;
        case OPT_NO_DAEMON: noDaemon = true; break;
        case OPT_NO_CLEAR: TextDialog::noClear = true; break;
        case OPT_DEPRECATED: logDeprecatedOption(name); break;
        default:  // getopt_long has printed its own diagnostic
            throw user_error() << Messages().get("err_unkn_option");
        }
    }
    if (optind < argc_) {
        error leftover;
        leftover << Messages().get("err_unkn_arg");
        for (int i = optind; i < argc_; ++i)
            leftover << argv_[i] << "\n";
        throw leftover;
    }
}

void Options::checkConsistency()
{
    if (showOptions && command != SHOW_COMPONENTS)
        throw user_error() << Messages().get("err_opt_show_options_wo_components");
    if (workMode == INTERACTIVE_WEB_UI) {
        if (!sslCertificate.empty() && !fileops::exists(sslCertificate))
            throw error(E_USER, REP_LATER, SYS_STABLE, SUPP_MAYBE)
                << format_message(Messages().get("err_misfile"), sslCertificate);
        if (sslCertificate.empty() && !withoutSsl)
            sslCertificate = SelfSignedCertificate().getPath();
    }
    if (interactiveUninstall && !removeEverything)
        throw user_error() << Messages().get("err_opt_int_uninst_wo_rm_everything");
}

void Options::printUsage()
{
    static const char* const keys[] = {"usage_header",    "usage_install",  "usage_remove",   "usage_upgrade",
                                       "usage_selectors", "usage_list",     "usage_feedback", "usage_download",
                                       "usage_proxy",     "usage_override", "usage_no_warn",  "usage_automation",
                                       "usage_web",       "usage_console",  "usage_obsolete", "usage_deprecated",
                                       "usage_logging",   "usage_help",     "usage_end"};
    for (const char* key : keys)
        std::cout << Messages().get(key);
    std::cout << std::flush;
}

bool Options::readRcLine(std::istream& in, std::string& key, std::string& value)
{
    return readSettingLine(in, key, value, RC_SYNTAX);
}

namespace {

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool Options::readSettingLine(std::istream& in, std::string& key, std::string& value, LineSyntax syntax)
{
    key.clear();
    value.clear();
    const bool saved = syntax == SAVED_ANSWERS_SYNTAX;
    const auto isKeyChar = [saved](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (saved && c == '-');
    };
    std::string line;
    while (std::getline(in, line)) {
        const size_t n = line.size();
        size_t i = 0;
        while (i < n && isBlank(line[i]))
            ++i;
        if (i == n || line[i] == '#')
            continue;
        if (saved ? !isKeyChar(line[i]) : !std::isalpha(static_cast<unsigned char>(line[i])))
            throw user_error() << format_message(Messages().get("err_rc_param"), line);
        const size_t keyStart = i;
        while (i < n && isKeyChar(line[i]))
            ++i;
        const std::string name = line.substr(keyStart, i - keyStart);
        while (i < n && isBlank(line[i]))
            ++i;
        if (i == n || line[i] == '#')
            throw user_error() << format_message(Messages().get("err_rc_line"), line);
        if (line[i] != '=')
            throw user_error() << format_message(Messages().get("err_rc_eqsign"), line);
        ++i;
        while (i < n && isBlank(line[i]))
            ++i;
        if (i == n || line[i] == '#')
            throw user_error() << format_message(Messages().get("err_rc_value"), line);

        std::string text;
        std::string blanks;  // the white space after the last word, kept only when another word follows
        while (i < n && line[i] != '#') {
            if (isBlank(line[i])) {
                blanks += line[i++];
                continue;
            }
            text += blanks;
            blanks.clear();
            if (line[i] != '"') {
                while (i < n && !isBlank(line[i]) && line[i] != '#')
                    text += line[i++];
                continue;
            }
            for (++i;; ++i) {
                if (i >= n)
                    throw error() << Messages().get("err_noquote_closed");
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < n) {
                    ++i;
                    if (saved && line[i] == 'x' && i + 2 < n && hex_digit_value(line[i + 1]) >= 0 &&
                        hex_digit_value(line[i + 2]) >= 0) {
                        text += static_cast<char>(hex_digit_value(line[i + 1]) * 16 + hex_digit_value(line[i + 2]));
                        i += 2;
                        continue;
                    }
                }
                text += line[i];
            }
            ++i;  // the closing quote
        }
        key = name;
        value = text;
        return true;
    }
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
    Log::stream(Log::LEVEL_DEBUG, true) << "Options::isProdIDSelected: " << product << " "
                                        << (selected ? "true" : "false");
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

namespace {

// Appends the text unless the list holds it already: the catalogue's order, each text once.
void add_unique(std::vector<std::string>& list, const std::string& text)
{
    if (std::find(list.begin(), list.end(), text) == list.end())
        list.push_back(text);
}

// Each element preceded by a blank and between single quotes.
std::string quoted_list(const std::vector<std::string>& list)
{
    std::string text;
    for (const std::string& item : list)
        text += " '" + item + "'";
    return text;
}

bool contains(const std::vector<std::string>& list, const std::string& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

std::string joined(const std::vector<std::string>& list)
{
    std::string text;
    for (const std::string& item : list)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

}  // namespace

void Options::interpretSelectors(BuildManager& catalogue)
{
    const Messages messages;
    std::vector<std::string> products, tags, releases, versions;
    for (const boost::shared_ptr<Release>& release : catalogue.getReleases(false)) {
        if (release->prod())
            add_unique(products, release->prod()->id());
        if (release->get_tags().empty())
            add_unique(tags, "stable");  // no tags of its own: the stable tier
        else {
            std::vector<std::string> own;
            boost::split(own, release->get_tags().toString(), [](char c) { return c == ','; });
            std::sort(own.begin(), own.end());  // a release's tags have no order of their own
            for (const std::string& tag : own)
                add_unique(tags, tag);
        }
        add_unique(releases, release->get_id());
        add_unique(versions, release->get_version().toString());
    }
    const std::string prefix = "Options::interpretSelectors(): ";
    Log::stream(Log::LEVEL_DEBUG, true) << prefix + "valid product ids:" + quoted_list(products);
    Log::stream(Log::LEVEL_DEBUG, true) << prefix + "valid tags (tiers):" + quoted_list(tags);
    Log::stream(Log::LEVEL_DEBUG, true) << prefix + "valid release ids:" + quoted_list(releases);
    Log::stream(Log::LEVEL_DEBUG, true) << prefix + "valid versions:" + quoted_list(versions);

    std::vector<std::string> product_words, tag_words, release_words, version_words;
    for (const std::string& word : selectors) {
        const bool is_product = contains(products, word);
        const bool is_tag = word == "all" || contains(tags, word);
        const bool is_release = contains(releases, word);
        const bool is_version = contains(versions, word);
        const int kinds = is_product + is_tag + is_release + is_version;
        if (kinds != 1)
            throw user_error() << format_message(
                messages.get(kinds == 0 ? "err_opt_selector_no_match" : "err_opt_selector_ambigous") +
                    messages.get("err_opt_selector_use_list"),
                word);
        (is_product ? product_words : is_tag ? tag_words : is_release ? release_words : version_words).push_back(word);
    }
    Log::stream(Log::LEVEL_DEBUG, true) << prefix + "classified selectors: " + "prod_ids = (" +
                                               quoted_list(product_words) + "), tags = (" + quoted_list(tag_words) +
                                               "), " + "rel_ids = (" + quoted_list(release_words) + "), versions = (" +
                                               quoted_list(version_words) + ")";

    const std::string only_one = messages.get("err_opt_selector_only_one");
    if (product_words.size() > 1)
        throw user_error() << format_message(messages.get("err_opt_selector_multiple_prod_ids") + only_one,
                                             joined(product_words));
    if (release_words.size() > 1)
        throw user_error() << format_message(messages.get("err_opt_selector_multiple_rel_ids") + only_one,
                                             joined(release_words));
    if (version_words.size() > 1)
        throw user_error() << format_message(messages.get("err_opt_selector_multiple_versions") + only_one,
                                             joined(version_words));
    if (!release_words.empty() && !version_words.empty())
        throw user_error() << format_message(messages.get("err_opt_selector_rel_id_and_version") + only_one,
                                             release_words.front(), version_words.front());

    if (!product_words.empty())
        selectedProduct = product_words.front();
    if (!release_words.empty())
        selectedReleaseId = release_words.front();
    if (!version_words.empty())
        selectedVersion = version_words.front();
    Log::stream(Log::LEVEL_DEBUG, true) << prefix + "prod_id_selector=" + selectedProduct + ", " +
                                               "rel_id_selector=" + selectedReleaseId + ", " +
                                               "version_selector=" + selectedVersion;

    if (contains(tag_words, "all"))
        disableReleaseTiersFilter();
    else if (!tag_words.empty())
        setReleaseTiersList(tag_words);

    if (commandName == "list")
        listStep(catalogue);
    else if (commandName == "install")
        installStep(catalogue);
    else if (commandName == "upgrade")
        upgradeStep(catalogue);
    else if (commandName == "update")
        updateStep(catalogue);
    else if (commandName == "add" || commandName == "remove")
        addRemoveStep(catalogue);

    if (!commandName.empty()) {
        applyWebSecretTiers();
        checkConsistency();
    }
}

void Options::resolveVersionSelector(BuildManager& catalogue)
{
    if (selectedVersion.empty())
        return;
    const Messages messages;
    if (selectedProduct.empty())
        throw user_error() << format_message(messages.get("err_opt_version_requires_prod_id"), selectedVersion);
    const boost::shared_ptr<Release> release = catalogue.findReleaseByVersion(selectedProduct, selectedVersion);
    if (!release)
        throw user_error() << format_message(messages.get("err_opt_no_rel_for_version_in_prod_id"), selectedVersion,
                                             selectedProduct);
    selectedReleaseId = release->get_id();
}

void Options::listStep(BuildManager& catalogue)
{
    const char* name = commandName.c_str();
    if (!selectedReleaseId.empty() || !selectedVersion.empty()) {
        resolveVersionSelector(catalogue);
        if (!selectedReleaseId.empty()) {
            addReleaseSelector(name, ReleaseSelector::ID, selectedProduct, selectedReleaseId);
            selectedReleaseIds.push_back(selectedReleaseId);
        }
        if (givenOnCommandLine("presets"))
            setCommand(name, SHOW_INSTALLATION_TYPES);
        else if (givenOnCommandLine("components"))
            setCommand(name, SHOW_COMPONENTS);
        else if (givenOnCommandLine("sources"))
            setCommand(name, SHOW_SOURCES);
        else
            setCommand(name, SHOW_RELEASES);  // the releases of that product, the exact one selected
        return;
    }
    for (const char* option : {"presets", "components", "options", "sources"})
        if (givenOnCommandLine(option))
            throw user_error() << Messages().get("err_opt_list_requires_exact_release");
    if (releaseTiersDefault && selectedProduct.empty()) {
        setCommand(name, SHOW_PRODUCTS);
        return;
    }
    if (selectedProduct.empty())
        selectedProduct = DEFAULT_PRODUCT;
    setCommand(name, SHOW_RELEASES);
    addReleaseSelector(name, ReleaseSelector::CURRENT, selectedProduct, "");
}

void Options::installStep(BuildManager& catalogue)
{
    const char* name = commandName.c_str();
    resolveVersionSelector(catalogue);
    if (selectedProduct.empty())
        selectedProduct = DEFAULT_PRODUCT;
    if (!selectedReleaseId.empty()) {
        addReleaseSelector(name, ReleaseSelector::ID, selectedProduct, selectedReleaseId);
        selectedReleaseIds.push_back(selectedReleaseId);
    } else {
        addReleaseSelector(name, ReleaseSelector::LATEST, selectedProduct, "");
    }
    if (givenOnCommandLine("preset")) {
        setSelectionMode(selectedProduct, name, ComponentsSelection::INSTALLATION_TYPE);
        ComponentsSelection& selection = componentSelections[selectedProduct];
        selection.installationType = variables["preset"].as<std::string>();
        selection.installComponents = getMultiValue("with");
        selection.removeComponents = getMultiValue("without");
    } else if (givenOnCommandLine("components")) {
        setSelectionMode(selectedProduct, name, ComponentsSelection::LISTED_COMPONENTS);
        componentSelections[selectedProduct].installComponents = getMultiValue("components");
    } else {
        setSelectionMode(selectedProduct, name, ComponentsSelection::INSTALLATION_TYPE);
        componentSelections[selectedProduct].installationType = "Custom";  // added to every release
    }
    if (variables.count("options"))
        for (const std::string& setting : variables["options"].as<std::vector<std::string>>())
            setOption(selectedProduct, setting);
}

void Options::upgradeStep(BuildManager& catalogue)
{
    const char* name = commandName.c_str();
    const Messages messages;
    std::string product = selectedProduct;
    if (product.empty()) {
        const std::vector<std::string> installed = catalogue.getInstalledProductIds();
        if (installed.size() == 1)
            product = installed.front();
    }
    const std::string target = product.empty() ? DEFAULT_PRODUCT : product;

    // An exact release: its product's installed components are upgraded to it.
    auto upgradeTo = [&](const boost::shared_ptr<Release>& release) {
        const std::string& release_product = release->prod()->id();
        setCommand(name, INSTALL);
        setSelectionMode(release_product, name, ComponentsSelection::UPGRADE_INSTALLED);
        addReleaseSelector(name, ReleaseSelector::ID, release_product, release->get_id());
        selectedReleaseIds.push_back(release->get_id());
    };
    if (!selectedReleaseId.empty()) {
        const boost::shared_ptr<Release> release = catalogue.findRelease(selectedReleaseId);
        if (!release)
            throw user_error() << format_message(messages.get("err_opt_no_rel_id"), selectedReleaseId);
        upgradeTo(release);
    } else if (!selectedVersion.empty()) {
        const boost::shared_ptr<Release> release = catalogue.findReleaseByVersion(target, selectedVersion);
        if (!release)
            throw user_error() << format_message(messages.get("err_opt_no_rel_for_version_in_prod_id"), selectedVersion,
                                                 target);
        upgradeTo(release);
        selectedProduct = target;
    } else if (!releaseTiersDefault) {
        setCommand(name, INSTALL);
        setSelectionMode(target, name, ComponentsSelection::UPGRADE_INSTALLED);
        addReleaseSelector(name, ReleaseSelector::LATEST, target, "");
        selectedProduct = target;
    } else if (!product.empty()) {
        setCommand(name, SHOW_RELEASES);
        addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
    } else {
        setCommand(name, SHOW_PRODUCTS);
    }
    if (command == INSTALL && givenOnCommandLine("dry-run"))
        setCommand(name, SHOW_PACKAGES);
}

void Options::requireProductSelectorOnly() const
{
    if (!selectedVersion.empty() || !selectedReleaseId.empty() || !releaseTiersDefault)
        throw user_error() << format_message(Messages().get("err_opt_only_prod_id_selector"), commandName);
}

void Options::updateStep(BuildManager& catalogue)
{
    const char* name = commandName.c_str();
    const Messages messages;
    const bool panel_only = givenOnCommandLine("panel-only");
    if (panel_only) {
        if (!selectedProduct.empty() && selectedProduct != DEFAULT_PRODUCT)
            throw user_error() << format_message(messages.get("err_opt_panel_only_requires_zanth"), DEFAULT_PRODUCT,
                                                 selectedProduct);
        selectedProduct = DEFAULT_PRODUCT;
    }
    requireProductSelectorOnly();
    std::vector<std::string> products;
    if (selectedProduct.empty()) {
        products = catalogue.getInstalledProductIds();
        if (products.empty())
            throw user_error() << messages.get("err_opt_no_installed_prods");
        if (products.size() == 1)
            selectedProduct = products.front();
    } else {
        products.push_back(selectedProduct);
    }
    for (const std::string& product : products) {
        setSelectionMode(product, name, ComponentsSelection::UPGRADE_INSTALLED);
        addReleaseSelector(name, ReleaseSelector::CURRENT, product, "");
        if (panel_only)
            componentSelections[product].componentClasses = {"aspect=panel"};
    }
}

void Options::addRemoveStep(BuildManager& catalogue)
{
    const char* name = commandName.c_str();
    const Messages messages;
    requireProductSelectorOnly();
    if (selectedProduct.empty()) {
        const std::vector<std::string> installed = catalogue.getInstalledProductIds();
        if (installed.empty())
            throw user_error() << messages.get("err_opt_no_installed_prods");
        if (installed.size() > 1)
            throw user_error() << format_message(messages.get("err_opt_need_prod_id"), joined(installed));
        selectedProduct = installed.front();
    }
    setSelectionMode(selectedProduct, name, ComponentsSelection::LISTED_COMPONENTS);
    addReleaseSelector(name, ReleaseSelector::CURRENT, selectedProduct, "");
    ComponentsSelection& selection = componentSelections[selectedProduct];
    (commandName == "add" ? selection.installComponents : selection.removeComponents) = getMultiValue("components");
}
