#ifndef KW_INSTALLER_OPTIONS_H
#define KW_INSTALLER_OPTIONS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The settings of one run, built on first use and read by every subsystem where it needs them.
class Options {
public:
    // What the run does.
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
        STOP = 10,
    };

    // What a NON_INTERACTIVE run does; 0 is none.
    enum CliCommand : int32_t {
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
        SHOW_SOURCES = 15,
    };

    // Which installing command of the command syntax was given; 0 is none.
    enum CommandOperation : int32_t {
        INSTALL_COMMAND = 1,
        UPDATE_COMMAND = 2,
        UPGRADE_COMMAND = 3,
        ADD_REMOVE_COMMAND = 4,
    };

    // The component choice for one product.
    struct ComponentsSelection {
        // 0 none
        enum {
            INSTALL_EVERYTHING = 1,
            REMOVE_EVERYTHING = 2,
            UPGRADE_INSTALLED = 3,
            INSTALLATION_TYPE = 4,
            LISTED_COMPONENTS = 5
        };

        int32_t mode = 0;
        std::vector<std::string> installComponents;
        std::vector<std::string> removeComponents;
        std::vector<std::string> componentClasses;
        std::string installationType;
    };

    static Options& instance();

    // Whether the run needs no packages of the extension catalogue, so that reading build files
    // may skip downloading its feed.
    bool isExtCatalogNotNeeded() const;

    WorkMode workMode = INTERACTIVE_CONSOLE;
    CliCommand command = CliCommand(0);
    CommandOperation commandOperation = CommandOperation(0);
    // product id -> what to install, remove or upgrade
    std::map<std::string, ComponentsSelection> componentSelections;
    // Attempts per mirror list of a download; at least 1.
    unsigned download_retry_count = 3;
    bool disableSelfUpgrade = false;
    // The extension catalogue endpoint; empty: the one the build file names.
    std::string extCatalogUrl;

private:
    Options() = default;
};

#endif
