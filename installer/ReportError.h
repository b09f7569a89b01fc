#ifndef KW_INSTALLER_REPORTERROR_H
#define KW_INSTALLER_REPORTERROR_H

#include <ostream>
#include <sstream>
#include <string>

#include "common/Package.h"

class BuildManager;
class ComponentManager;
class Repository;

// The description of one failure, filled by whoever reports it.
struct ErrorReportInfo {
    int warning = 0;  // 0: severity "error"; any other value: "warning"
    std::string component;
    int userContinued = 2;            // 0 the user continued, 1 the user did not, 2 not known
    int packageInstallationMode = 3;  // 0 install, 1 upgrade, 2 remove, 3 no package operation
    std::string packageOldVersion;
    std::string packageNewVersion;
    std::string summary;
};

// The process-wide error-report store: the failure details written through its channels, the facts
// about the run that the flows record, the installation of the error-report utility, and the report
// that hands all of it to that utility. A report never makes an installation fail: every failure of
// the utility's installation or of a report is logged and swallowed. Callers use a temporary:
// `ReportError() << info;`.
class ReportError {
public:
    // A channel into the message buffer; from level 0 on it also writes the text into the log at
    // that level, as part of a line.
    class Output {
    public:
        explicit Output(int level_) : level(level_) {}

        template <typename T>
        Output& operator<<(const T& value)
        {
            std::ostringstream out;
            out << value;
            return write(out.str());
        }
        // Stream manipulators such as std::endl.
        Output& operator<<(std::ostream& (*manipulator)(std::ostream&));
        Output& write(const std::string& text);

        int level;  // -1: the message buffer only
    };

    static Output create(int level);
    // What the channels collected since the last report.
    static std::string collected();

    static void set_installer_version(const std::string& version, const std::string& revision);
    static void set_source_url(const std::string& url);
    // Keeps the version only for the product "zanth" while reports are filed under "zanth".
    static void set_product_version(const std::string& product, const std::string& version);
    // Keeps, as text, the releases and the components an installation is about to change.
    static void set_to_install_reports(const BuildManager* catalogue, const ComponentManager* components);
    // Keeps, as text, the package transaction an installation is about to run.
    static void set_packages_report(const cpkgs_t* packages, Repository* repository);

    // Writes the utility to its path once per process; never throws.
    static void install_sender();
    // The utility's path, installing it first when this process has not; failures pass on.
    static std::string get_sender_path();

    // Sends a report of the collected text when feedback allows it, then empties the buffer; never throws.
    ReportError& operator<<(const ErrorReportInfo& info);

    static constexpr const char* SENDER_PATH = "/opt/zorv/admin/bin/send-error-report";
};

#endif
