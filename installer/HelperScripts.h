#ifndef KW_INSTALLER_HELPERSCRIPTS_H
#define KW_INSTALLER_HELPERSCRIPTS_H

#include <cstddef>

// The scripts that drive yum and dnf for the installer and the error-report utility, embedded by the
// build from assets/. Each array holds the file's bytes followed by a zero that is not counted in its size.
namespace helper_scripts {
extern const char yum_install[];
extern const std::size_t yum_install_size;
extern const char dnf_install[];
extern const std::size_t dnf_install_size;
extern const char send_error_report[];
extern const std::size_t send_error_report_size;
}  // namespace helper_scripts

#endif
