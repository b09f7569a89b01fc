// The program as a user runs it: the built binary (and the driver probe with fake flows) in child
// processes. The whole test program runs inside scripts/overlay-root.sh, so the fixed paths it
// touches (/var/log, /tmp, /usr/bin, /etc, /root) change only a throw-away overlay.
#include "installer/driver_main.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/Lock.h"
#include "common/Messages.h"
#include "common/ProgramVersion.h"
#include "installer/Options.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace fs = boost::filesystem;

namespace {

const std::string PROGRAM = KW_PROGRAM_PATH;
const std::string PROBE = std::string(KW_TEST_TOOLS_DIR) + "/kw_driver_probe";
const std::string LOG_DIR = "/var/log/zanth/install";
const std::string LOG_FILE = LOG_DIR + "/kitwright3.log";

std::string text(const char* key)
{
    return Messages().get(key);
}

// What xmllint finds at `xpath` in the document (a string() expression gives the bare text).
std::string xpath(const std::string& document, const std::string& expression)
{
    TempDir dir;
    writeWholeFile(dir / "reply.xml", document);
    std::string found = shellOutput("xmllint --xpath '" + expression + "' " + dir / "reply.xml" + " 2>&1");
    if (!found.empty() && found.back() == '\n')
        found.pop_back();
    return found;
}

std::string statusOf(const std::string& document)
{
    return xpath(document, "string(/kitwright/@status)") + "|" + xpath(document, "string(/kitwright/@error_message)");
}

class DriverMain : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all("/var/log/zanth");
        for (const char* name : {"/tmp/kw-flow-started", "/tmp/kw-flow-release", "/tmp/kw-flow-done"})
            unlink(name);
        // No cgroup of the host is ever left; the settings come from no one's home.
        options.tmpfs = {"/sys/fs/cgroup"};
        options.env = {{"XDG_CONFIG_HOME", nullptr},
                       {"ZANTH_INSTALLER_DEBUG", nullptr},
                       {"HOME", "/root"},
                       {"KW_FAKE_FLOW", nullptr},
                       {"LANG", "C"},
                       {"LC_ALL", nullptr},
                       {"LANGUAGE", nullptr}};
        fs::remove("/root/.kitwrightrc");
        fs::remove("/root/.config/.kitwrightrc");
    }

    ChildResult run(const std::vector<std::string>& args, const char* flow = nullptr)
    {
        ChildOptions o = options;
        if (flow)
            o.env.push_back({"KW_FAKE_FLOW", flow});
        return runProgram(flow ? PROBE : PROGRAM, args, o);
    }

    ChildOptions options;
};

// A second process that holds the installer lock (byte 0 of its file), as another installer would.
// It tells that it holds the lock with one line in one write, and the test reads the whole line
// before it closes the pipe: a line written in two pieces (as print() does) could meet a closed pipe,
// and the holder then died of the broken pipe and let the lock go before the busy answers were asked.
// It starts with the default dispositions of the signals that `stop` sends and none of them blocked:
// a test run started with SIGHUP ignored (nohup, some CI runners) would otherwise hand that on through
// exec, and the holder would outlive the `stop` that the test waits on.
class LockHolder {
public:
    LockHolder()
    {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe");
        pid = fork();
        if (pid < 0)
            throw std::runtime_error("fork");
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            for (int signal : {SIGHUP, SIGTERM, SIGINT})
                std::signal(signal, SIG_DFL);
            execl("/usr/bin/python3", "python3", "-c",
                  "import fcntl, os, sys, time\n"
                  "f = open(sys.argv[1], 'a+')\n"
                  "fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB, 1, 0)\n"
                  "os.write(1, b'locked\\n')\n"
                  "time.sleep(120)\n",
                  Lock::path, nullptr);
            _exit(127);
        }
        close(out[1]);
        // The whole line: the holder's pipe may be closed only after it has written all of it.
        std::string line;
        char c;
        ssize_t n;
        while ((n = read(out[0], &c, 1)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0 && (line += c).back() == '\n')
                break;
        close(out[0]);
        if (line != "locked\n")
            throw std::runtime_error("the lock holder did not start: " + line);
    }
    ~LockHolder()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            wait();
        }
    }
    // The holder's wait status.
    int wait()
    {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        return status;
    }

private:
    pid_t pid;
};

TEST_F(DriverMain, WithoutRootOnlyTheRefusalIsWrittenUnlessXmlIsAsked)
{
    const std::vector<std::string> unprivileged = {"--reuid=65534", "--regid=65534", "--clear-groups", PROGRAM};
    std::vector<std::string> args = unprivileged;
    args.push_back("--version");
    const ChildResult plain = runProgram("/usr/bin/setpriv", args, options);
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(plain.err, text("err_not_root") + "\n");

    args.push_back("--enable-xml-output");
    const ChildResult xml = runProgram("/usr/bin/setpriv", args, options);
    EXPECT_EQ(xml.exit_code, 0);
    EXPECT_EQ(statusOf(xml.out), "error|" + text("err_not_root"));
    EXPECT_EQ(xml.err, text("err_not_root") + "\nERROR: " + text("err_not_root") + "\n");
    EXPECT_FALSE(fs::exists("/var/log/zanth"));
}

TEST_F(DriverMain, PrintOnlyModes)
{
    const ChildResult bare = run({"--print-version-of-this-binary"});
    EXPECT_EQ(bare.exit_code, 0);
    EXPECT_EQ(bare.out, std::string(ProgramVersion::version) + "\n");
    EXPECT_FALSE(fs::exists("/var/log/zanth")) << "no log before the version of the binary is printed";

    const ChildResult version = run({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("Zanth Installer ([0-9.]+) \\(revision [0-9a-f]{12}\\)\n")))
        << version.out;
    EXPECT_EQ(version.out, "Zanth Installer " + bare.out.substr(0, bare.out.size() - 1) + " (revision " +
                               ProgramVersion::revision + ")\n");
    EXPECT_EQ(run({"version"}).out, version.out);
    EXPECT_EQ(version.err, "");

    // The help texts are exactly what the settings' printers write.
    const std::vector<std::vector<std::string>> helps = {{"--help-options"}, {"--help"}, {"help"}, {"help", "install"}};
    for (const auto& args : helps) {
        const ChildResult printed = runInChild([&args] {
            static std::vector<std::string> words;
            static std::vector<char*> argv;
            words = args;
            words.insert(words.begin(), PROGRAM);
            for (std::string& word : words)
                argv.push_back(&word[0]);
            Options::argc = static_cast<int>(words.size());
            Options::argv = argv.data();
            Options& options = Options::instance();
            if (options.workMode == Options::HELP_OPTIONS)
                Options::printUsage();
            else if (options.workMode == Options::HELP_COMMAND)
                options.printCommandHelp();
            else
                Options::printCommandsUsage();
            return 0;
        });
        const ChildResult help = run(args);
        EXPECT_EQ(help.exit_code, 0) << args[0];
        EXPECT_EQ(help.out, printed.out) << args[0];
        EXPECT_NE(help.out, "");
    }

    fs::remove_all("/var/log/zanth");
    const ChildResult completion = run({"help", "install", "--completion"});
    EXPECT_EQ(completion.exit_code, 0);
    EXPECT_NE(completion.out, "");
    EXPECT_FALSE(fs::exists(LOG_FILE)) << "no log while completion data is printed";
}

TEST_F(DriverMain, OneInstallerPerServer)
{
    const std::string busy = text("status_locked_by_another");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out;  // the text reply, or the XML reply's status and message
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"list"}, 1, "\nBUSY: " + busy + "\n", ""},
        {{"--show-all-releases", "--enable-xml-output"}, 0, "busy|" + busy, ""},
        {{"--show-releases"}, 1, "\nERROR: Installer is busy.\n", ""},
        {{"--show-releases", "--enable-xml-output"}, 0, "error|Installer is busy.", "ERROR: Installer is busy.\n"},
    };
    {
        LockHolder holder;
        for (const Case& c : cases) {
            const ChildResult answer = run(c.args);
            const bool xml = c.args.back() == "--enable-xml-output";
            EXPECT_EQ(answer.exit_code, c.code) << c.args[0];
            EXPECT_EQ(xml ? statusOf(answer.out) : answer.out, c.out) << c.args[0];
            EXPECT_EQ(answer.err, c.err) << c.args[0];
        }
        // The status query names the holder's state (with whatever progress the record adds).
        const ChildResult status = run({"--query-status"});
        EXPECT_EQ(status.exit_code, 0);
        EXPECT_NE(status.out.find(busy), std::string::npos) << status.out;
        const ChildResult statusXml = run({"--query-status", "--enable-xml-output"});
        EXPECT_EQ(statusXml.exit_code, 0);
        EXPECT_EQ(xpath(statusXml.out, "string(/kitwright/@status)"), "query_busy") << statusXml.out;
        const ChildResult stop = run({"stop"});
        EXPECT_EQ(stop.exit_code, 0);
        EXPECT_EQ(stop.out, text("stop_sent") + "\n");
        const int ended = holder.wait();
        EXPECT_TRUE(WIFSIGNALED(ended) && WTERMSIG(ended) == SIGHUP) << ended;
    }
    {
        LockHolder holder;
        EXPECT_EQ(run({"stop", "--terminate"}).out, text("stop_sent") + "\n");
        const int ended = holder.wait();
        EXPECT_TRUE(WIFSIGNALED(ended) && WTERMSIG(ended) == SIGTERM) << ended;
    }
}

TEST_F(DriverMain, StatusAndStopWithoutARunningInstaller)
{
    const ChildResult stopped = run({"stop"});
    EXPECT_EQ(stopped.exit_code, 0);
    EXPECT_EQ(stopped.out, text("stop_already_stopped") + "\n");
    const ChildResult free = run({"--query-status"});
    EXPECT_EQ(free.exit_code, 0);
    EXPECT_NE(free.out.find(text("status_not_locked")), std::string::npos) << free.out;
}

// Log lines without their time stamps.
std::vector<std::string> logLines()
{
    std::vector<std::string> lines;
    std::istringstream in(readWholeFile(LOG_FILE));
    for (std::string line; std::getline(in, line);) {
        const size_t end = line.find("] ");
        lines.push_back(line[0] == '[' && end != std::string::npos ? line.substr(end + 2) : line);
    }
    return lines;
}

size_t countLines(const std::string& prefix)
{
    size_t n = 0;
    for (const std::string& line : logLines())
        n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

std::string mode(const std::string& path)
{
    return shellOutput("stat -c %a " + path);
}

TEST_F(DriverMain, LogDirectoryAndFiles)
{
    fs::create_directories(LOG_DIR);
    fs::permissions(LOG_DIR, fs::perms(0755));
    EXPECT_EQ(run({"--version"}).exit_code, 0);
    EXPECT_EQ(mode(LOG_DIR), "700\n");
    EXPECT_EQ(mode(LOG_FILE), "600\n");
    const std::string banner = "Zanth Installer " + std::string(ProgramVersion::version) + " (revision ";
    EXPECT_EQ(countLines(banner), 1u) << readWholeFile(LOG_FILE);
    EXPECT_EQ(countLines("Command line arguments: " + PROGRAM + " --version "), 1u) << readWholeFile(LOG_FILE);
    run({"--version"});
    EXPECT_EQ(countLines(banner), 2u) << "appended";
    run({"--version", "--truncate-log"});
    EXPECT_EQ(countLines(banner), 1u) << "truncated";
    EXPECT_EQ(countLines("Exit with success"), 0u);
    run({"--version", "--debug"});
    EXPECT_EQ(countLines("Debug mode is switched on: All output will be written to the log file."), 1u);
    EXPECT_EQ(countLines("Exit with success"), 1u) << "debug lines reach the file";
}

TEST_F(DriverMain, SeparateLogsKeepTheirLimit)
{
    struct Case {
        const char* rc;   // the run-control file's text
        size_t separate;  // separate logs after the run
    };
    const std::vector<Case> cases = {{"", 20}, {"MAX_STORED_SEPARATE_LOGS=1\n", 1}};
    for (const Case& c : cases) {
        fs::remove_all("/var/log/zanth");
        fs::create_directories(LOG_DIR);
        for (int day = 1; day <= 25; ++day)
            writeWholeFile(LOG_DIR + "/kitwright3_2020-01-" + (day < 10 ? "0" : "") + std::to_string(day) + "_0000.log",
                           "old\n");
        writeWholeFile(LOG_DIR + "/kw_action_time.xml", "<reports/>\n");
        writeWholeFile("/root/.kitwrightrc", c.rc);
        EXPECT_EQ(run({"--version", "--separate-logs"}).exit_code, 0);
        size_t separate = 0;
        bool newest = false;
        for (const fs::directory_entry& entry : fs::directory_iterator(LOG_DIR)) {
            const std::string name = entry.path().filename().string();
            separate += name.compare(0, 11, "kitwright3_") == 0;
            newest = newest || name == "kitwright3_2020-01-25_0000.log";
        }
        EXPECT_EQ(separate, c.separate) << c.rc;
        EXPECT_EQ(newest, c.separate > 1) << c.rc;
        EXPECT_TRUE(fs::exists(LOG_DIR + "/kw_action_time.xml")) << c.rc;
        EXPECT_FALSE(fs::exists(LOG_FILE)) << c.rc;
    }
}

TEST_F(DriverMain, NotificationMail)
{
    fs::create_directories("/usr/local/bin");
    writeWholeFile("/usr/bin/mail", "#!/bin/sh\nprintf '%s\\n' \"$@\" >/tmp/kw-mail-args\ncat >/tmp/kw-mail-body\n");
    fs::permissions("/usr/bin/mail", fs::perms(0755));
    std::string hosts = readWholeFile("/etc/hosts");
    writeWholeFile("/etc/hosts", hosts + "127.0.1.1 kw-mail.example.test kw-mail\n");
    options.hostname = "kw-mail.example.test";

    struct Case {
        std::vector<std::string> args;
        const char* flow;
        const char* subject;
    };
    const std::vector<Case> cases = {
        {{"--version"}, nullptr, "The Panel was successfully updated at "},
        {{"--query-status"}, nullptr, "The Panel was successfully updated at "},
        {{"--show-all-releases"}, "error", "Failed to update the Panel at "},
    };
    for (const Case& c : cases) {
        unlink("/tmp/kw-mail-args");
        std::vector<std::string> args = {"-c", "hostname -f >/tmp/kw-fqdn && exec \"$0\" \"$@\"",
                                         c.flow ? PROBE : PROGRAM};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("--notify-email");
        args.push_back("ops@example.test");
        ChildOptions o = options;
        if (c.flow)
            o.env.push_back({"KW_FAKE_FLOW", c.flow});
        const ChildResult mailed = runProgram("/bin/sh", args, o);
        EXPECT_EQ(mailed.exit_code, c.flow ? 1 : 0) << mailed.err;
        const std::string fqdn = readWholeFile("/tmp/kw-fqdn");
        EXPECT_EQ(fqdn, "kw-mail.example.test\n");
        EXPECT_EQ(readWholeFile("/tmp/kw-mail-args"), std::string("-s\n") + c.subject + fqdn + "ops@example.test\n")
            << c.args[0];
        const std::string body = readWholeFile("/tmp/kw-mail-body");
        const std::string end = "\n\n---\nZanth Installer.";
        EXPECT_TRUE(body.size() > end.size() && body.compare(body.size() - end.size(), end.size(), end) == 0) << body;
        EXPECT_NE(body.find("Command line arguments: "), std::string::npos) << body;
        if (c.flow) {
            EXPECT_NE(body.find("Error: fake failure"), std::string::npos) << body;
        }
        EXPECT_EQ(countLines("A message was sent to ops@example.test"), 1u);
        fs::remove(LOG_FILE);
    }
}

struct GuardCase {
    const char* flow;
    std::string message;  // the reply's message: the start of it with a trailing '*'
    const char* errorClass;
};

bool matches(const std::string& text, const std::string& pattern)
{
    if (!pattern.empty() && pattern.back() == '*')
        return text.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return text == pattern;
}

TEST_F(DriverMain, EachCaughtTypeGivesItsReplyAndCode)
{
    const std::vector<GuardCase> cases = {
        {"error", "fake failure\n*", "repository"},
        {"http404-other", "fake 404\n*", "repository"},
        {"tinybind", "fake XML failure", ""},
        {"unhappy", "Unexpected 'unhappy' exception caught", ""},
        {"need-self-upgrade", "Unexpected 'NeedSelfUpgrade' exception caught", ""},
        {"runtime", "Unexpected 'St13runtime_error' caught: fake runtime failure", ""},
        {"int", "Unexpected exception caught", ""},
    };
    for (const GuardCase& c : cases) {
        for (const char* mode : {"list", ""}) {  // the command-line flow and the console wizard
            std::vector<std::string> args;
            if (*mode)
                args.push_back(mode);
            const ChildResult plain = run(args, c.flow);
            args.insert(args.begin(), "--enable-xml-output");
            args.resize(1);
            EXPECT_EQ(plain.exit_code, 1) << c.flow;
            ASSERT_EQ(plain.out.compare(0, 8, "\nERROR: "), 0) << c.flow << plain.out;
            EXPECT_TRUE(matches(plain.out.substr(8), c.message + (c.message.back() == '*' ? "" : "\n")))
                << c.flow << plain.out;
            if (*mode)
                args.push_back("--show-all-releases");
            const ChildResult xml = run(args, c.flow);
            EXPECT_EQ(xml.exit_code, 0) << c.flow;
            EXPECT_EQ(xpath(xml.out, "string(/kitwright/@status)"), "error") << c.flow;
            const std::string message = xpath(xml.out, "string(/kitwright/@error_message)");
            EXPECT_TRUE(matches(message, c.message)) << c.flow << message;
            EXPECT_EQ(xpath(xml.out, "string(/kitwright/@error_class)"), c.errorClass) << c.flow;
            EXPECT_EQ(xml.err.compare(0, 7 + std::min<size_t>(message.size(), 12), "ERROR: " + message.substr(0, 12)),
                      0)
                << c.flow << xml.err;
        }
    }
}

TEST_F(DriverMain, FailedCommandLineRunLeavesItsTraces)
{
    fs::create_directories("/var/quillfern");
    writeWholeFile("/var/quillfern/feedback-enabled", "");
    const ChildResult failed = run({"list"}, "error");
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_EQ(countLines("Error: fake failure"), 1u) << readWholeFile(LOG_FILE);
    EXPECT_EQ(failed.out.compare(0, 20, "\nERROR: fake failure"), 0) << failed.out;

    // The failure stays in the shared status for the next status query.
    const ChildResult status = run({"--query-status"});
    EXPECT_EQ(status.exit_code, 0);
    EXPECT_EQ(status.out.rfind("\n" + text("status_not_locked") + "\n\nKitwright failed: fake failure", 0), 0u)
        << status.out;
    const std::string xml = run({"--query-status", "--enable-xml-output"}).out;
    EXPECT_EQ(xpath(xml, "string(//progress/@failed)"), "true");
    EXPECT_EQ(xpath(xml, "substring(//progress/error, 1, 12)"), "fake failure");

    // The error report, filed by the utility in the background, names the installer as what failed.
    std::vector<fs::path> reports;
    for (int i = 0; i < 100 && reports.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (fs::is_directory("/var/quillfern/error-reports"))
            for (const auto& entry : fs::directory_iterator("/var/quillfern/error-reports"))
                if (entry.path().extension() == ".xml")
                    reports.push_back(entry.path());
    }
    ASSERT_EQ(reports.size(), 1u);
    const std::string report = readWholeFile(reports[0].string());
    EXPECT_EQ(xpath(report, "string(/error/component)"), "installer");
    EXPECT_EQ(xpath(report, "normalize-space(/error/summary)"), "fake failure");
}

TEST_F(DriverMain, SettingsAndDispatchRefusals)
{
    const ChildResult parse = run({"install", "--no-such-option"});
    EXPECT_EQ(parse.exit_code, 1);
    EXPECT_NE(parse.out.find("\nRun Zanth Installer with the 'help install -v' options"), std::string::npos)
        << parse.out;
    EXPECT_EQ(parse.out.compare(0, 8, "\nERROR: "), 0);

    const ChildResult web = run({"--service-mode"});
    EXPECT_EQ(web.exit_code, 1);
    EXPECT_EQ(web.out.rfind("\nERROR: The web interface is not available in this build yet.", 0), 0u) << web.out;

    ChildOptions o = options;
    o.env.push_back({"KW_FAKE_WORK_MODE", "11"});
    const ChildResult undefined = runProgram(PROBE, {}, o);
    EXPECT_EQ(undefined.exit_code, 1);
    EXPECT_EQ(undefined.out.compare(0, 8 + text("err_undef_wmode").size(), "\nERROR: " + text("err_undef_wmode")), 0)
        << undefined.out;
}

// The flow's process id once it has started.
pid_t flowPid()
{
    for (int i = 0; i < 500 && !fs::exists("/tmp/kw-flow-started"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::atoi(readWholeFile("/tmp/kw-flow-started").c_str());
}

TEST_F(DriverMain, SignalsDuringTheFlow)
{
    struct Case {
        const char* flow;
        const char* signal;
        int code;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"stdin", "INT", 2, "\nERROR: " + text("user_canceled") + "\n"},
        {"unsafe-sleep", "HUP", 0, "\n\n"},
    };
    for (const Case& c : cases) {
        unlink("/tmp/kw-flow-started");
        ChildOptions o = options;
        o.env.push_back({"KW_FAKE_FLOW", c.flow});
        // The signal comes once the flow runs; standard input stays open meanwhile.
        const std::string script = std::string("(while [ ! -s /tmp/kw-flow-started ]; do sleep 0.05; done; kill -") +
                                   c.signal + " $(cat /tmp/kw-flow-started)) & sleep 5 | exec \"$0\" list";
        const ChildResult run = runProgram("/bin/sh", {"-c", script, PROBE}, o);
        EXPECT_EQ(run.exit_code, c.code) << c.flow << run.err;
        EXPECT_EQ(run.out, c.reply) << c.flow;
    }
}

TEST_F(DriverMain, BackgroundInstallation)
{
    const ChildResult started = run({"--install-component", "base", "--enable-xml-output"}, "hold");
    EXPECT_EQ(started.exit_code, 0);
    EXPECT_EQ(statusOf(started.out), "install_ok|Installation started");
    const pid_t detached = flowPid();
    ASSERT_GT(detached, 0);
    EXPECT_EQ(xpath(run({"--query-status", "--enable-xml-output"}).out, "string(/kitwright/@status)"), "query_busy");
    writeWholeFile("/tmp/kw-flow-release", "");
    for (int i = 0; i < 500 && kill(detached, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readWholeFile("/tmp/kw-flow-done"), "/\n/dev/null\n/dev/null\n/dev/null\n");
    EXPECT_EQ(xpath(run({"--query-status", "--enable-xml-output"}).out, "string(/kitwright/@status)"), "query_ok");

    // In the foreground the caller gets the run's own final record.
    const ChildResult foreground = run({"--install-component", "base", "--enable-xml-output", "--no-daemon"}, "hold");
    EXPECT_EQ(foreground.exit_code, 0);
    EXPECT_EQ(statusOf(foreground.out), "install_ok|");
}

TEST_F(DriverMain, SelinuxQueryRunsWhenAFlowFails)
{
    writeWholeFile("/usr/sbin/getenforce", "#!/bin/sh\necho queried >/tmp/kw-getenforce\necho Permissive\n");
    fs::permissions("/usr/sbin/getenforce", fs::perms(0755));
    fs::remove("/usr/bin/getenforce");
    EXPECT_EQ(run({"list", "--debug"}, "runtime").exit_code, 1);
    EXPECT_EQ(readWholeFile("/tmp/kw-getenforce"), "queried\n");
    bool logged = false;
    for (const std::string& line : logLines())
        logged = logged || (line.find("/usr/sbin/getenforce") != std::string::npos && line.find("POpen") == 0);
    EXPECT_TRUE(logged) << readWholeFile(LOG_FILE);
}

}  // namespace
