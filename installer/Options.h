#ifndef KW_INSTALLER_OPTIONS_H
#define KW_INSTALLER_OPTIONS_H

// The settings of one run, built on first use and read by every subsystem where it needs them.
class Options {
public:
    static Options& instance();

    // Attempts per mirror list of a download; at least 1.
    unsigned download_retry_count = 3;

private:
    Options() = default;
};

#endif
