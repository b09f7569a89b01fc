#include "installer/driver_main.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>
#include <typeinfo>

#include <boost/exception/enable_current_exception.hpp>
#include <boost/program_options/errors.hpp>

#include "common/Lock.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/PkgManager.h"
#include "common/ProgramVersion.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/http_error.h"
#include "common/sysutils.h"
#include "common/tinybind.h"
#include "installer/Options.h"
#include "installer/ReportError.h"
#include "installer/Reporter.h"
#include "installer/SelfUpgrade.h"
#include "installer/StatusReporter.h"
#include "installer/SystemExit.h"
#include "installer/flows.h"
#include "installer/run_environment.h"

namespace driver {

namespace {

const Messages messages;

// Writes the record and ends the run as failed.
[[noreturn]] void report(const Reporter& record)
{
    std::cout << record;
    exit_error();
}

[[noreturn]] void report_error(const error& e)
{
    const std::string text = e.getFullText();
    Log::stream(Log::LEVEL_INFO, true) << "Error: " << text;
    report(Reporter(1, text, e.getClassName()));
}

std::string start_banner(int argc, char** argv, time_t start)
{
    tzset();  // the zone names are valid only after it
    struct tm local;
    localtime_r(&start, &local);
    char when[64];  // asctime's text, with its line end
    asctime_r(&local, when);
    std::ostringstream text;
    text << "\n\n"
         << messages.get("Kitwright") << " " << ProgramVersion::version << " (revision " << ProgramVersion::revision
         << ") started at "
         << "(timezone " << tzname[0] << ") " << when << "Command line arguments: ";
    for (int i = 0; i < argc; ++i)
        text << argv[i] << " ";
    return text.str();
}

// Without root rights only the refusal is logged, on standard error. A program that asked for XML
// still gets its record: the settings are built (whatever they fail on) to learn whether it did.
[[noreturn]] void refuse_unprivileged()
{
    const std::string& text = messages.get("err_not_root");
    Log::stream(Log::LEVEL_ERROR, true) << text;
    try {
        Options::instance();
    } catch (...) {
        // A default record stands in; the refusal is what this run reports.
    }
    if (Reporter::xmlOutput)
        std::cout << Reporter(1, text.c_str());
    exit_error();
}

// The modes that only print or signal; returns for the flows.
void serve_print_only_mode(Options& options)
{
    switch (options.workMode) {
    case Options::VERSION:
        std::cout << messages.get("Kitwright") << " " << ProgramVersion::version << " (revision "
                  << ProgramVersion::revision << ")" << std::endl;
        break;
    case Options::HELP_OPTIONS: Options::printUsage(); break;
    case Options::HELP_COMMAND: options.printCommandHelp(); break;
    case Options::HELP: Options::printCommandsUsage(); break;
    case Options::QUERY_STATUS: {
        const bool locked = Lock::test(0) != 0;
        std::cout << StatusReporter(locked ? 2 : 0,
                                    messages.get(locked ? "status_locked_by_another" : "status_not_locked"));
        break;
    }
    case Options::STOP: {
        const pid_t holder = Lock::test(0);
        if (holder > 0)
            kill(holder, options.stopTerminate ? SIGTERM : SIGHUP);  // a holder that is gone needs nothing
        std::cout << messages.get(holder > 0 ? "stop_sent" : "stop_already_stopped") << std::endl;
        break;
    }
    case Options::SERVICE: launch_web_ui(); break;
    default: return;
    }
    exit_success();
}

// Settings, log file, self-upgrade and the print-only modes.
Options& settings_stage(time_t start)
{
    try {
        Options& options = Options::instance();
        if (options.workMode == Options::BINARY_VERSION) {
            std::cout << ProgramVersion::version << std::endl;
            exit_success();
        }
        setup_log_file(start);
        if (options.debug) {
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Debug mode is switched on: All output will be written to the log file.";
            Log::fileLevel = Log::LEVEL_DEBUG;
        }
        if (!options.disableSelfUpgrade)
            SelfUpgrade::run_cached_if_newer();
        serve_print_only_mode(options);
        return options;
    } catch (const error& e) {
        report_error(e);
    } catch (const boost::program_options::error& e) {
        Log::stream(Log::LEVEL_INFO, true) << "Options parsing error: " << e.what();
        const std::string message =
            std::string(e.what()) + "\n" +
            format_message(messages.get("err_opt_parse_add"), Options::argc > 1 ? Options::argv[1] : "");
        report(Reporter(1, message.c_str()));
    }
}

// One installer per server: a flow ends here when another process holds the lock.
void lock_test(const Options& options)
{
    pid_t holder = 0;
    try {
        holder = Lock::test(0);
    } catch (error& e) {
        e.addMessage(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_chk_exclusive");
        const std::string text = e.getFullText();
        Log::stream(Log::LEVEL_INFO, true) << "Error: " << text;
        report(Reporter(1, text.c_str()));
    }
    if (holder == 0)
        return;
    const std::string& busy = messages.get("status_locked_by_another");
    Log::stream(Log::LEVEL_INFO, true) << busy;
    if (options.command == Options::SHOW_RELEASES)
        report(Reporter(1, "Installer is busy."));
    report(Reporter(2, busy.c_str()));
}

// The caller gets its record at once; the installation goes on in a detached child.
void go_to_background()
{
    std::cout << Reporter(0, "Installation started") << std::flush;
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "Installer was successfully started. The packages are being installed in the background mode.";
    if (daemon(0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "daemon");
}

// A failed command-line run leaves its text in the shared status record for --query-status.
void run_command_line_flow()
{
    try {
        flows().nonInteractive();
    } catch (const error& e) {
        const std::string text = e.getFullText();
        ReportError::create(-1) << "ERROR: " << std::endl << text << std::endl;
        ErrorReportInfo info;
        info.component = "installer";
        info.summary = e.getText();
        ReportError() << info;
        Progress().fail(text);
        throw;
    } catch (const SystemExit&) {
        throw;
    } catch (const Progress::Interrupted&) {
        throw;
    } catch (...) {
        Progress().fail("An unknown internal error has occurred.");
        throw;
    }
}

void install_signal_handler()
{
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked system call fails with EINTR and the caller checks
    for (int signal : {SIGINT, SIGHUP, SIGTERM})
        sigaction(signal, &action, nullptr);
}

// The type's name as the compiler gives it, without the mark of a local type.
std::string type_name(const std::exception& e)
{
    const char* name = typeid(e).name();
    return name[0] == '*' ? name + 1 : name;
}

// The installer lock is held exactly as long as this block runs: every handler runs after it is gone.
[[noreturn]] void main_run(time_t start, const Options& options)
{
    try {
        Lock lock(0, false);
        setup_log_file(start);
        setup_proxy_environment(options.proxy);
        Progress progress;
        install_signal_handler();
        switch (options.workMode) {
        case Options::NON_INTERACTIVE:
            run_command_line_flow();
            progress.finish();
            break;
        case Options::INTERACTIVE_WEB_UI: flows().webUi(); break;
        case Options::INTERACTIVE_CONSOLE:
            Log::statusLines = true;
            flows().interactive();
            progress.finish();
            break;
        default: throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_undef_wmode");
        }
        std::cout << Reporter(0);
        exit_success();
    } catch (error& e) {
        log_selinux_state();
        const http_error* failed = dynamic_cast<const http_error*>(&e);
        if (failed && failed->code == 404 &&
            failed->url.compare(0, std::string(Options::DEFAULT_SOURCE_URL).size(), Options::DEFAULT_SOURCE_URL) == 0)
            e.setSupportCode(SUPP_NEED);
        report_error(e);
    } catch (const tinybind::err& e) {
        Log::stream(Log::LEVEL_INFO, true) << "An error occurred while parsing XML data: " << e.message;
        report(Reporter(1, e.message.c_str()));
    } catch (const PkgManager::unhappy&) {
        report(Reporter(1, "Unexpected 'unhappy' exception caught"));
    } catch (const SelfUpgrade::NeedSelfUpgrade&) {
        report(Reporter(1, "Unexpected 'NeedSelfUpgrade' exception caught"));
    } catch (const std::exception& e) {
        log_selinux_state();
        const std::string text = "Unexpected '" + type_name(e) + "' caught: " + e.what();
        Log::stream(Log::LEVEL_INFO, true) << text;
        report(Reporter(1, text.c_str()));
    } catch (const SystemExit&) {
        throw;
    } catch (const Progress::Interrupted&) {
        throw;
    } catch (...) {
        log_selinux_state();
        Log::stream(Log::LEVEL_INFO, true) << "Unexpected exception caught";
        report(Reporter(1, "Unexpected exception caught"));
    }
}

}  // namespace

void main(int argc, char** argv)
{
    set_env("KITWRIGHT_VERSION", ProgramVersion::version);
    Options::argc = argc;
    Options::argv = argv;
    const time_t start = time(nullptr);
    ReportError::set_installer_version(ProgramVersion::version, ProgramVersion::revision);
    Log::stream(Log::LEVEL_INFO, true) << start_banner(argc, argv, start);
    umask(022);
    if (getuid() != 0 || geteuid() != 0)
        refuse_unprivileged();

    Options& options = settings_stage(start);
    lock_test(options);
    if (options.isBackgroundInstall())
        go_to_background();
    detach_from_cgroups();
    main_run(start, options);
}

void exit_success()
{
    send_notification_mail(true);
    Log::stream(Log::LEVEL_DEBUG, true) << "Exit with success";
    wait_enter_to_exit();
    throw boost::enable_current_exception(SystemExit{0});
}

void exit_error()
{
    send_notification_mail(false);
    if (Reporter::xmlOutput)
        throw boost::enable_current_exception(SystemExit{0});
    Log::stream(Log::LEVEL_DEBUG, true) << "Exit with error";
    wait_enter_to_exit();
    throw boost::enable_current_exception(SystemExit{1});
}

void on_signal(int signal)
{
    Progress().signalReceived(signal);
}

}  // namespace driver
