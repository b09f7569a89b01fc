#ifndef KW_INSTALLER_RUN_ENVIRONMENT_H
#define KW_INSTALLER_RUN_ENVIRONMENT_H

#include <ctime>
#include <string>

#include "common/Downloader.h"

// The surroundings of one run that the driver prepares and tidies: the log file, the proxy that
// downloads and child processes see, the notification mail, the final pause and the diagnostics of
// the error handlers.
namespace driver {

// Where the logs live, and the name prefix of the separate logs.
extern const char* const LOG_DIRECTORY;
extern const char* const SEPARATE_LOG_PREFIX;

// Opens the run's log file in the log directory (made private to root on every run) unless one is
// open or shell-completion data is printed. With separate logs the file is named after startTime.
void setup_log_file(time_t startTime);

// Removes the oldest separate logs of `directory` (names beginning with `prefix`), so that limit - 1
// stay beside the one about to be opened; 0 keeps everything. Failures are only logged. -1 when the
// directory is missing, else 0.
int cleanup_separated_logs(const std::string& directory, const std::string& prefix, unsigned limit);

// Applies the proxy to the downloads and, unless the environment brought its own proxy, exports it
// to the child processes; an empty host withdraws what this process applied before.
void setup_proxy_environment(const Downloader::Proxy& proxy);

// Mails the run's summary to the notification address of the settings, when there is one.
void send_notification_mail(bool success);

// Waits for ENTER at the end of an interactive removal of everything.
void wait_enter_to_exit();

// Runs the system's SELinux mode query, so that the log shows it next to a failure. Never raises.
void log_selinux_state();

}  // namespace driver

#endif
