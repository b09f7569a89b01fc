#ifndef KW_INSTALLER_OPTIONS_H
#define KW_INSTALLER_OPTIONS_H

#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include <boost/program_options/variables_map.hpp>

#include "common/Downloader.h"
#include "common/error.h"
#include "installer/SourceUrl.h"

// How the release of one product is chosen.
class BuildManager;

class ReleaseSelector {
public:
    enum Kind { LATEST = 0, CURRENT = 1, ID = 2 };

    // Kind ID: the release named by `releaseId`, which must not be empty.
    ReleaseSelector(const std::string& productId, const std::string& releaseId);
    // Kind LATEST or CURRENT.
    ReleaseSelector(const std::string& productId, int kind);

    const std::string& getProductId() const { return productId; }
    int getKind() const { return kind; }
    // Only a selector of kind ID has a release id.
    const std::string& getReleaseId() const;

private:
    std::string productId;  // empty only with kind ID
    int kind;
    std::string releaseId;  // empty unless the kind is ID
};

// The component choice for one product.
struct ComponentsSelection {
    enum Mode {
        NO_MODE = 0,
        INSTALL_EVERYTHING = 1,
        REMOVE_EVERYTHING = 2,
        UPGRADE_INSTALLED = 3,  // the installed components, plus those of the listed classes
        INSTALLATION_TYPE = 4,
        LISTED_COMPONENTS = 5
    };

    int mode = NO_MODE;
    std::vector<std::string> installComponents;
    std::vector<std::string> removeComponents;
    std::vector<std::string> componentClasses;  // such as "aspect=panel"
    std::string installationType;
};

// The settings of one run: defaults, then the run-control file, the environment, the saved component
// settings and last the command line. Built once, on first use, in the main thread; every subsystem
// reads its settings here, other threads only read.
class Options {
public:
    enum WorkMode : int32_t {
        INTERACTIVE_CONSOLE = 0,
        NON_INTERACTIVE = 1,
        INTERACTIVE_WEB_UI = 2,
        SERVICE = 3,
        VERSION = 4,
        BINARY_VERSION = 5,
        HELP_OPTIONS = 6,
        HELP_COMMAND = 7,
        HELP = 8,
        QUERY_STATUS = 9,
        STOP = 10
    };

    // What a NON_INTERACTIVE run does.
    enum CliCommand : int32_t {
        NO_COMMAND = 0,
        CHECK_UPDATES = 1,
        SHOW_ALL_RELEASES = 2,
        SHOW_OS_LIST = 3,
        SHOW_RELEASES = 4,
        SHOW_PRODUCTS = 5,
        SHOW_INSTALLATION_TYPES = 6,
        SHOW_COMPONENTS = 7,
        SHOW_UPGRADABLE_COMPONENTS = 8,
        SHOW_PACKAGES = 9,
        INSTALL = 10,
        ENABLE_FEEDBACK = 11,
        DISABLE_FEEDBACK = 12,
        SET_FEEDBACK_PRODUCT = 13,
        SET_FEEDBACK_GROUP_ID = 14,
        SHOW_SOURCES = 15
    };

    // The installing command of the command syntax; the long options never set it.
    enum CommandOperation : int32_t {
        NO_OPERATION = 0,
        INSTALL_COMMAND = 1,
        UPDATE_COMMAND = 2,
        UPGRADE_COMMAND = 3,
        ADD_REMOVE_COMMAND = 4
    };

    // The product wherever one is needed and none was given.
    static constexpr const char* DEFAULT_PRODUCT = "zanth";
    // The installation source unless the user names another, as SourceUrl normalises it.
    static constexpr const char* DEFAULT_SOURCE_URL = "https://updates.zanth.example/";

    // The process-wide record. The first call builds it from argc and argv; when that throws, a
    // default record takes its place and the exception passes on, so the command line is parsed once.
    static Options& instance();

    // The command line, saved by the driver before the first call of instance().
    static int argc;
    static char** argv;

    // Every saved argument, the program's path included, as a C string literal followed by a blank.
    static std::string getQuotedCommandLine();
    // The command line that starts the web interface's backend.
    static std::string getWebInterfaceCommandLine();

    Options();
    Options(int argc, char** argv);

    // The guarded setters: a run has one work mode, one command and one selection mode per product.
    // A second, different choice is the user error "err_cmd_override" naming both options; each
    // setter remembers the option name of its own last success.
    void setWorkMode(const char* name, WorkMode mode);
    void setCommand(const char* name, CliCommand cmd);
    void setSelectionMode(const std::string& product, const char* name, int mode);
    // "textUI" or "webUI", without the check: the explicit choice wins over the mode of other options.
    void setUserInteractionMode(const char* name, const char* value);

    void addReleaseSelector(const char* name, int kind, const std::string& product, const std::string& releaseId);
    // Splits at every ',' and keeps empty pieces; an empty text gives no tier at all.
    void setReleaseTiers(const std::string& text);
    void setReleaseTiersList(const std::vector<std::string>& tiers);
    void disableReleaseTiersFilter();
    // A web interface started by the launcher shows the stable tiers unless the user chose tiers.
    void applyWebSecretTiers();
    // One setting of a product's component, written as a run-control line.
    void setOption(const std::string& product, const std::string& text);
    // Also exported, so that a restarted program opens the same page.
    void setWebUiDefaultPageOverride(const std::string& page);

    bool isBackgroundInstall() const;
    bool isExtCatalogNotNeeded() const;
    bool isProdIDSelected(const std::string& product) const;
    // Shell-completion data is asked for: the driver opens no log file then.
    bool isCompletionOutput() const;

    // One setting of the run-control syntax from `in`; false with both texts empty at the end.
    static bool readRcLine(std::istream& in, std::string& key, std::string& value);

    // The run-control files that may be read, the configuration directory's first.
    static std::vector<std::string> getRcFileCandidates();
    // The first candidate that is a file; empty when there is none.
    static std::string findRcFile();

    // Writes the help of the long options.
    static void printUsage();
    // Writes the list of the commands.
    static void printCommandsUsage();
    // Writes the help of the command asked about, or its completion list.
    void printCommandHelp();

    // What the selector words of the command syntax name in the loaded catalogue (whose release states
    // are computed): the chosen product, release and version, the tiers, and the command's own
    // commands, release selectors and component selections; then the checks the parse left for it.
    void interpretSelectors(BuildManager& catalogue);
    // The selected version as the id of the selected product's release of that version.
    void resolveVersionSelector(BuildManager& catalogue);

    // Every item of every value of a list option of the command syntax, in order.
    std::vector<std::string> getMultiValue(const std::string& name) const;

    // The record, in declaration order.
    std::map<std::string, std::map<std::string, std::string>> componentSettings;  // product -> name -> value
    WorkMode workMode = INTERACTIVE_CONSOLE;
    CliCommand command = NO_COMMAND;
    CommandOperation commandOperation = NO_OPERATION;
    std::vector<ReleaseSelector> releaseSelectors;
    std::map<std::string, ComponentsSelection> componentSelections;
    SourceUrl source;
    bool useProductUpdates = true;
    std::string systemPackagesCache;  // nothing sets it: the system is always asked
    std::string target;
    std::vector<std::string> releaseTiers;
    bool releaseTiersDefault = true;
    std::vector<std::string> selectedReleaseIds;
    bool allVersions = false;
    Downloader::Proxy proxy;
    bool truncateLog = false;
    bool separateLogs = false;
    int maxStoredSeparateLogs = 20;
    std::string notifyEmail;
    uint64_t helpVerbosity = 0;
    bool strict = false;
    bool debug = false;
    bool noDaemon = false;
    bool downloadOnly = false;  // nothing sets it
    std::string webUiDefaultPage;
    bool skipCleanup = false;
    bool disableSelfUpgrade = false;
    bool showHiddenComponents = false;
    std::string extCatalogUrl;
    bool skipComponentsCheck = false;
    bool forceRemovePackagesTree = false;
    bool showOptions = false;
    bool removeEverything = false;
    bool interactiveUninstall = false;
    std::string sslCertificate;
    std::string sslProtocols;
    std::string sslCiphers;
    std::string sslCipherServerPreference;
    bool withoutSsl = false;
    bool openBrowser = true;
    std::vector<std::string> packagesToRemove;
    std::string feedbackProduct;
    std::string feedbackGroupId;
    bool interactionModeGiven = false;
    int downloadRetries = 3;  // attempts per mirror list of a download
    bool skipGpgCheck = false;
    bool stopTerminate = false;
    std::string commandName;                          // the command word; empty with the long options
    std::vector<std::string> selectors;               // the words after the command
    boost::program_options::variables_map variables;  // every value of the command syntax
    std::string selectedProduct;
    std::string selectedReleaseId;
    std::string selectedVersion;
    int terminalWidth = 80;

private:
    void setDefaults();
    void readRcFile();
    void readEnvironment();
    void readOptionsIni();
    void parseCommand(int argc, char** argv);
    void parseLegacyOptions(int argc, char** argv);
    void checkConsistency();

    // The parse of the command syntax proper: whether the command's own settings are to be made.
    bool parseCommandLine(int argc, char** argv);
    bool givenOnCommandLine(const char* name) const;
    // The selector steps of the commands.
    void listStep(BuildManager& catalogue);
    void installStep(BuildManager& catalogue);
    void upgradeStep(BuildManager& catalogue);
    void updateStep(BuildManager& catalogue);
    void addRemoveStep(BuildManager& catalogue);
    void requireProductSelectorOnly() const;
    void checkConflict(const char* first, const char* second) const;
    void checkDependency(const char* option, const char* required) const;
    void setInstallingCommand(bool dryRun, bool installPrefix);

    // How a line reader takes its setting: the run-control syntax, or the saved answers of the
    // settings page, whose writer uses '-' and a leading digit in names and "\xNN" escapes in values.
    enum LineSyntax { RC_SYNTAX, SAVED_ANSWERS_SYNTAX };
    static bool readSettingLine(std::istream& in, std::string& key, std::string& value, LineSyntax syntax);
    void applyRcSetting(const std::string& key, const std::string& value);
    static bool parseYesNo(const std::string& key, const std::string& value);
    static int parsePositiveInt(const std::string& text, const error& failure);

    // The option names of the last success of each guarded setter, for the conflict message.
    std::string workModeOption;
    std::string commandOption;
    std::string selectionModeOption;
};

#endif
