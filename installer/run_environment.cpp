#include "installer/run_environment.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/hostname.h"
#include "common/sysutils.h"
#include "installer/Options.h"

namespace fs = boost::filesystem;

namespace driver {

const char* const LOG_DIRECTORY = "/var/log/zanth/install";
const char* const SEPARATE_LOG_PREFIX = "kitwright3_";

namespace {

const Messages messages;

const char* const LOG_FILE_NAME = "kitwright3.log";
const char* const SEPARATE_LOG_FORMAT = "kitwright3_%F_%H%M.log";

// What this process did to the proxy settings, so that a later call can take back only its own.
struct ProxyState {
    bool proxySet = false;        // a host was applied to the downloads
    bool credentialsSet = false;  // a user was applied to the downloads
    bool exported = false;        // this process wrote FTP_PROXY and HTTP_PROXY
};

ProxyState proxyState;

const char* const FTP_PROXY = "FTP_PROXY";
const char* const HTTP_PROXY = "HTTP_PROXY";
const char* const HTTP_PROXY_AUTH = "HTTP_PROXY_AUTH";

}  // namespace

void setup_log_file(time_t startTime)
{
    if (!Log::getFileName().empty() || Options::instance().isCompletionOutput())
        return;
    const Options& options = Options::instance();
    const std::string directory = LOG_DIRECTORY;
    // A failure that the file system reports itself (a missing permission) passes on as its own.
    if (!fs::is_directory(directory) && !fs::create_directories(directory))
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NEED) << "Unable to create directory: " << directory;
    fs::permissions(directory, fs::owner_all);

    std::string name = LOG_FILE_NAME;
    if (options.separateLogs) {
        cleanup_separated_logs(directory, SEPARATE_LOG_PREFIX, std::max(options.maxStoredSeparateLogs, 0));
        struct tm local;
        localtime_r(&startTime, &local);
        char stamped[64];
        strftime(stamped, sizeof(stamped), SEPARATE_LOG_FORMAT, &local);
        name = stamped;
    }
    Log::openFile(directory + "/" + name, options.truncateLog);
}

int cleanup_separated_logs(const std::string& directory, const std::string& prefix, unsigned limit)
{
    if (!fileops::is_directory(directory)) {
        Log::stream(Log::LEVEL_VERBOSE, true)
            << "Cleanup of separated log files failed. Expected logs directory not found at: " << directory;
        return -1;
    }
    std::vector<std::string> logs;
    try {
        for (const fs::directory_entry& entry : fs::directory_iterator(directory))
            if (entry.path().filename().string().compare(0, prefix.size(), prefix) == 0)
                logs.push_back(entry.path().string());
    } catch (const fs::filesystem_error& e) {
        Log::stream(Log::LEVEL_VERBOSE, true)
            << "Cleanup of separated log files failed. Can't extract kitwright logs list from '" << directory
            << "': " << e.what();
        return 0;
    }
    if (limit == 0 || logs.size() < limit)
        return 0;
    // The names carry the date and time: the newest sort first.
    std::sort(logs.begin(), logs.end(), std::greater<std::string>());
    for (size_t i = limit - 1; i < logs.size(); ++i) {
        boost::system::error_code failure;
        fs::remove(logs[i], failure);
        if (failure)
            Log::stream(Log::LEVEL_VERBOSE, true) << "Can't remove log file '" << logs[i] << "': " << failure.message();
    }
    return 0;
}

void setup_proxy_environment(const Downloader::Proxy& proxy)
{
    ProxyState& state = proxyState;
    if (!proxy.host.empty()) {
        state.proxySet = true;
        Downloader::setProxy(proxy.host, proxy.port);
        const std::string address = proxy.host + ":" + std::to_string(proxy.port);
        // A proxy that the environment brought is the one the child processes keep.
        if (state.exported || (get_env(FTP_PROXY).empty() && get_env(HTTP_PROXY).empty())) {
            set_env(FTP_PROXY, address);
            set_env(HTTP_PROXY, address);
            state.exported = true;
        }
        if (!proxy.user.empty()) {
            state.credentialsSet = true;
            Downloader::setProxyAuth(proxy.user, proxy.password);
            if (state.exported)
                set_env(HTTP_PROXY_AUTH, proxy.user + ":" + proxy.password);
        } else if (state.credentialsSet) {
            if (state.exported)
                unset_env(HTTP_PROXY_AUTH);
            Downloader::setProxyAuth("", "");
            state.credentialsSet = false;
        }
    } else if (state.proxySet || state.credentialsSet) {
        if (state.exported) {
            unset_env(FTP_PROXY);
            unset_env(HTTP_PROXY);
            unset_env(HTTP_PROXY_AUTH);
            state.exported = false;
        }
        Downloader::setProxyAuth("", "");
        Downloader::setProxy("", 0);
        state.proxySet = false;
        state.credentialsSet = false;
    }
}

void send_notification_mail(bool success)
{
    const std::string& address = Options::instance().notifyEmail;
    if (address.empty())
        return;
    const std::string subject =
        (success ? "The Panel was successfully updated at " : "Failed to update the Panel at ") + get_host_name();
    const std::string body = Log::mailBuffer().str() + "\n\n---\n" + messages.get("Kitwright") + ".";
    send_mail(address, subject, body);
    Log::stream(Log::LEVEL_INFO, true) << "A message was sent to " << address;
}

void wait_enter_to_exit()
{
    const Options& options = Options::instance();
    if (!options.interactiveUninstall || !options.removeEverything)
        return;
    std::cout << messages.get("press_enter_to_exit") << std::endl;
    std::string line;
    std::getline(std::cin, line);
}

void log_selinux_state()
{
    for (const char* tool : {"/usr/bin/getenforce", "/usr/sbin/getenforce"}) {
        if (!fileops::exists(tool))
            continue;
        try {
            exec_command(tool, false, false);
        } catch (const error&) {
            // The query only adds to the log of a failure that is being reported.
        } catch (const Progress::Interrupted&) {
            // A signal must not replace the report of that failure either.
        }
        return;
    }
}

}  // namespace driver
