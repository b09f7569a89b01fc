#ifndef KW_INSTALLER_OPTIONS_H
#define KW_INSTALLER_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

// The settings of one run, built on first use and read by every subsystem where it needs them.
class Options {
public:
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

    static Options& instance();

    CliCommand command = CliCommand(0);
    // The release tiers (tags) that filter the release lists.
    std::vector<std::string> releaseTiers{"stable", "release", "current"};
    // Attempts per mirror list of a download; at least 1.
    unsigned download_retry_count = 3;

private:
    Options() = default;
};

#endif
