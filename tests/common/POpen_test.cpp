#include "common/POpen.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/format_message.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Signals.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

struct ChildRun {
    int status = -1;
    std::string output;
    std::string errors;
};

ChildRun runPOpen(const std::string& command, const std::string& input = std::string(), bool echo = false,
                  const std::string& workdir = std::string())
{
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    POpen child(command, &in, &out, &err, workdir);
    ChildRun run;
    run.status = child.wait(echo);
    run.output = out.str();
    run.errors = err.str();
    return run;
}

std::string numbers(int last)
{
    std::ostringstream text;
    for (int i = 1; i <= last; ++i)
        text << i << "\n";
    return text.str();
}

bool waitForFile(const std::string& path, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    struct stat st;
    while (stat(path.c_str(), &st) != 0) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        usleep(20000);
    }
    return true;
}

// The codes and the text of the error that the call raises.
typedef std::pair<std::tuple<int, int, int, int>, std::string> failure_t;

failure_t failure(const std::function<void()>& call)
{
    const std::optional<error> e = thrown<error>(call);
    return e ? failure_t(codes(*e), e->getText()) : failure_t({}, "no error");
}

// An error text followed by the command's part, as the command utilities write them.
std::string withCommand(const std::string& text, const std::string& command)
{
    return text + format_message(Messages().get("err_exec_cmd"), command) + "\n";
}

TEST(POpenTest, OutputIsCompleteAndUnchanged)
{
    const ChildRun run = runPOpen("seq 1 300000");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.size(), numbers(300000).size());
    EXPECT_TRUE(run.output == numbers(300000));
    EXPECT_EQ(run.errors, "");

    const std::vector<std::string> lines = get_command_output("seq", "1 300000");
    ASSERT_EQ(lines.size(), 300000u);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] != std::to_string(i + 1))
            FAIL() << "line " << i << ": " << lines[i];
}

TEST(POpenTest, OutputWrittenJustBeforeTheEndIsNotLost)
{
    for (int i = 0; i < 40; ++i) {
        const ChildRun run = runPOpen("head -c 100000 /dev/zero | tr '\\0' x; printf END >&2; exit 5");
        ASSERT_EQ(run.output, std::string(100000, 'x')) << "run " << i;
        ASSERT_EQ(run.errors, "END") << "run " << i;
        ASSERT_EQ(run.status, 5 << 8);
    }
}

TEST(POpenTest, InputIsFedWhileOutputIsRead)
{
    std::mt19937 random(5);
    std::string data(5 * 1024 * 1024, '\0');
    for (char& c : data)
        c = static_cast<char>(random());

    ChildOptions options;
    options.tmpfs = {"/tmp"};
    ChildResult r = runChecksInChild(
        [&data] {
            writeWholeFile("/tmp/data", data);
            const std::string md5 = get_command_output_line("md5sum", "/tmp/data").substr(0, 32);
            EXPECT_EQ(runPOpen("md5sum", data).output, md5 + "  -\n");
            // Both directions at once, far beyond the pipe buffers.
            const ChildRun copy = runPOpen("cat", data);
            EXPECT_TRUE(copy.output == data);
            EXPECT_EQ(runPOpen("cat; echo done").output, "done\n");  // empty input: end of file at once
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(POpenTest, ChildEnvironmentAndDirectory)
{
    ChildOptions options;
    options.env = {{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "de"}};
    ChildResult r = runChecksInChild(
        [] {
            EXPECT_EQ(runPOpen("echo $LC_ALL/$LANG/$LANGUAGE").output, "C/C/C\n");
            std::ostringstream out;
            EXPECT_EQ(exec_command("echo $LC_ALL/$LANG", false, true, &out), 0);
            EXPECT_EQ(out.str(), "C/C\n");
            // popen keeps the program's environment.
            EXPECT_EQ(get_command_output_line("echo $LC_ALL/$LANG/$LANGUAGE"), "de_DE.UTF-8/de_DE.UTF-8/de");

            EXPECT_EQ(runPOpen("pwd", "", false, "/usr/share").output, "/usr/share\n");
            char here[4096];
            ASSERT_TRUE(getcwd(here, sizeof(here)));
            EXPECT_EQ(runPOpen("pwd", "", false, "/no/such/dir/kw").output, std::string(here) + "\n");
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(POpenTest, BackgroundDescendantHoldingThePipesDoesNotHoldTheCaller)
{
    const auto start = std::chrono::steady_clock::now();
    const ChildRun run = runPOpen("echo start; echo oops >&2; sleep 30 & echo $!");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "oops\n");
    const size_t line_end = run.output.find('\n');
    ASSERT_EQ(run.output.substr(0, line_end), "start");
    const pid_t sleeper = atoi(run.output.c_str() + line_end + 1);
    ASSERT_GT(sleeper, 0);
    kill(sleeper, SIGKILL);
}

TEST(POpenTest, EchoCopiesInputToStandardErrorAndOutputToTheLog)
{
    ChildResult r = runChecksInChild([] {
        Messages().getLocale();
        const ChildRun run = runPOpen("cat; echo err >&2", "hello\n", true);
        EXPECT_EQ(run.output, "hello\n");
        EXPECT_EQ(run.errors, "err\n");
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "hello\nhello\nerr\n");
}

TEST(ExecCommandTest, ExitCodesAndChecks)
{
    ChildResult r = runChecksInChild([] {
        Log::consoleLevel = 1;
        EXPECT_EQ(exec_command("exit 0", false, true), 0);
        EXPECT_EQ(exec_command("exit 3", false, false), 3);
        EXPECT_EQ(exec_command("no-such-command-kw", false, false), 127);

        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(exec_command("echo o; echo e >&2", false, true, &out, &err), 0);
        EXPECT_EQ(out.str(), "o\n");
        EXPECT_EQ(err.str(), "e\n");

        const std::string not_found = "env X=1 no-such-command-kw --flag";
        const std::string not_found_text =
            format_message(Messages().get("err_exec_cmd_not_found"), "no-such-command-kw");
        EXPECT_EQ(failure([&] { exec_command(not_found, false, true); }),
                  failure_t({4, 1, 0, 3}, withCommand(not_found_text, not_found)));
        // Codes left unset: the handler that adds its context sets them.
        const std::string non_zero_text = format_message(Messages().get("err_exec_non_zero"), "exit", 3);
        EXPECT_EQ(failure([] { exec_command("exit 3", false, true); }),
                  failure_t({0, 0, 0, 0}, withCommand(non_zero_text, "exit 3")));
        // A signal raises whatever check says.
        for (bool check : {false, true})
            EXPECT_EQ(failure([check] { exec_command("kill -KILL $$", false, check); }),
                      failure_t({4, 2, 0, 2}, withCommand(Messages().get("err_exec_signal"), "kill -KILL $$")));
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find(Messages().get("err_exec_signal") + " (9)\n"), std::string::npos) << r.err;
}

TEST(ExecCommandTest, ShellThatCannotBeExecuted)
{
    ChildOptions options;
    options.binds = {{"/etc/passwd", "/bin/sh"}};  // not executable
    ChildResult r = runChecksInChild(
        [] {
            for (bool check : {false, true}) {
                std::ostringstream err;
                EXPECT_EQ(failure([&] { exec_command("true", false, check, nullptr, &err); }),
                          failure_t({4, 1, 0, 3}, withCommand(Messages().get("err_exec_execfail"), "true")));
                EXPECT_EQ(err.str(), "execl: Permission denied\n");
            }
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

bool processGone(pid_t pid)
{
    const std::string stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t name_end = stat.rfind(')');
    return stat.empty() || (name_end != std::string::npos && stat.compare(name_end, 4, ") Z ") == 0);
}

TEST(ExecCommandTest, CancelStopsTheCommandAndEverythingItStarted)
{
    ChildResult r = runChecksInChild(
        [] {
            Messages().getLocale();
            Log::consoleLevel = 3;
            installProgressHandler();
            std::atomic<pid_t> sleeper(0);
            std::thread canceller([&sleeper] {
                const std::string self = std::to_string(getpid());
                for (int tries = 0; tries < 500 && !sleeper; ++tries) {
                    usleep(10000);
                    const pid_t shell = atoi(shellOutput("pgrep -P " + self + " -f '^sh -c sleep 30$'").c_str());
                    if (shell > 0)
                        sleeper = atoi(shellOutput("pgrep -P " + std::to_string(shell) + " -x sleep").c_str());
                }
                kill(getpid(), SIGTERM);
            });
            const auto start = std::chrono::steady_clock::now();
            int signal = -1;
            try {
                exec_command("sleep 30", false, true);
            } catch (const Progress::Interrupted& interrupted) {
                signal = interrupted.signal;
            }
            canceller.join();
            EXPECT_EQ(signal, SIGTERM);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
            ASSERT_GT(sleeper, 0);
            for (int tries = 0; tries < 200 && !processGone(sleeper); ++tries)
                usleep(10000);
            EXPECT_TRUE(processGone(sleeper)) << "sleep " << sleeper << " is left behind";
            kill(sleeper, SIGKILL);

            ProgressStatusGuard guard;
            EXPECT_TRUE(guard.data().failed);
        },
        privateProgressOptions());  // a cancel records a failure in the status record
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("because Zanth Installer was canceled by user.\n"), std::string::npos) << r.err;
}

TEST(ExecCommandTest, CancelWhileUnsafeLetsTheCommandFinish)
{
    ChildResult r = runChecksInChild(
        [] {
            Messages().getLocale();
            Log::consoleLevel = 3;
            installProgressHandler();
            Progress().markCancelUnsafe();
            std::thread canceller([] {
                usleep(200000);
                kill(getpid(), SIGHUP);
            });
            std::ostringstream out;
            EXPECT_EQ(exec_command("sleep 0.8; echo done", false, true, &out), 0);
            canceller.join();
            EXPECT_EQ(out.str(), "done\n");
            Progress().markCancelSafe();
            int signal = -1;
            try {
                Progress().checkInterrupted();
            } catch (const Progress::Interrupted& interrupted) {
                signal = interrupted.signal;
            }
            EXPECT_EQ(signal, SIGHUP);
        },
        privateProgressOptions());  // a cancel records a failure in the status record
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err.find("send SIGTERM"), std::string::npos) << r.err;
}

TEST(GetCommandOutputTest, LinesArePiecesOfAtMost4095BytesTrimmed)
{
    struct Case {
        const char* command;
        const char* arguments;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"printf ' a \\n\\tb\\t\\n\\n last'", "", {"a", "b", "", "last"}},
        {"echo", "x  y", {"x y"}},
        {"head -c 5000 /dev/zero | tr '\\0' x", "", {std::string(4095, 'x'), std::string(905, 'x')}},
        {"true", "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(get_command_output(c.command, c.arguments), c.lines) << c.command;

    std::vector<std::string> lines = {"kept"};
    get_command_output(lines, "echo", "more");
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "more"}));

    EXPECT_EQ(get_command_output_line("printf 'first\\nsecond\\n'"), "first");
    EXPECT_EQ(failure([] { get_command_output_line("true", ""); }),
              failure_t({0, 0, 0, 0}, withCommand(format_message(Messages().get("err_empty_output"), "true"), "true")));
    EXPECT_EQ(failure([] { get_command_output("LANG=C exit", "3"); }),
              failure_t({4, 2, 2, 2}, "Error in execution of 'exit'\n"));
}

TEST(GetCommandOutputTest, LogsTheCommandAndTheFailure)
{
    ChildResult r = runChecksInChild([] {
        Messages().getLocale();
        Log::consoleLevel = 3;
        get_command_output("echo");
        EXPECT_THROW(get_command_output("exit", "3"), error);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("Get output from command 'echo'\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Get output from command 'exit 3'\n"
                         "Execution of 'exit' via popen() failed - pclose() returned 768\n"),
              std::string::npos)
        << r.err;
}

TEST(GetCommandOutputTest, SignalsDoNotShortenTheOutput)
{
    ChildResult r = runChecksInChild([] {
        // The installer's handlers do not restart system calls: reads see EINTR every millisecond.
        interruptEvery(1000);
        const std::string slow_output = "for i in 1 2 3 4 5; do sleep 0.05; seq 1 4000; done";
        EXPECT_EQ(get_command_output(slow_output).size(), 20000u);
        const ChildRun run = runPOpen(slow_output);
        EXPECT_EQ(run.output.size(), 5 * numbers(4000).size());
        interruptEvery(0);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

// Detached commands move themselves into a control group: the cgroup files are a private tmpfs.
ChildOptions detachOptions()
{
    ChildOptions options;
    options.tmpfs = {"/tmp", "/sys/fs/cgroup"};
    return options;
}

TEST(ExecDetachedTest, RunsDetachedWithInputAndWorkingOutput)
{
    ChildResult r = runChecksInChild(
        [] {
            ASSERT_EQ(system("mkdir -p /sys/fs/cgroup/unified/system.slice && "
                             "touch /sys/fs/cgroup/unified/system.slice/cgroup.procs"),
                      0);
            const std::string input = "payload\nsecond line\n";
            const auto start = std::chrono::steady_clock::now();
            exec_detached(
                "sleep 1; echo out; s1=$?; echo err >&2; s2=$?; cat > /tmp/in; echo $PPID > /tmp/ppid; "
                "echo $s1 $s2 > /tmp/status.part; mv /tmp/status.part /tmp/status",
                &input);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
            ASSERT_TRUE(waitForFile("/tmp/status", std::chrono::seconds(20)));
            // Writes to standard output and error succeed (and vanish).
            EXPECT_EQ(readWholeFile("/tmp/status"), "0 0\n");
            EXPECT_EQ(readWholeFile("/tmp/in"), input);
            EXPECT_NE(atoi(readWholeFile("/tmp/ppid").c_str()), getpid());
            EXPECT_EQ(readWholeFile("/sys/fs/cgroup/unified/system.slice/cgroup.procs"), "0");

            exec_detached("echo $LC_ALL > /tmp/plain.part; mv /tmp/plain.part /tmp/plain");
            ASSERT_TRUE(waitForFile("/tmp/plain", std::chrono::seconds(20)));
            EXPECT_EQ(readWholeFile("/tmp/plain"), "de_DE.UTF-8\n");  // the environment is inherited unchanged
        },
        [] {
            ChildOptions options = detachOptions();
            options.env = {{"LC_ALL", "de_DE.UTF-8"}};
            return options;
        }());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(ExecDetachedTest, InputNobodyReadsDoesNotKillTheCaller)
{
    ChildResult r = runChecksInChild(
        [] {
            const std::string input(1024 * 1024, 'i');
            exec_detached("exit 0", &input);
            exec_detached("true > /tmp/done");
            EXPECT_TRUE(waitForFile("/tmp/done", std::chrono::seconds(20)));
        },
        detachOptions());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(DetachFromCgroupsTest, FirstWritableGroupFile)
{
    const char* const unified = "/sys/fs/cgroup/unified/system.slice/cgroup.procs";
    const char* const legacy = "/sys/fs/cgroup/systemd/system.slice/tasks";
    const std::string warning =
        "Warning: Failed to detach from parents cgroup, installer might be unexpectedly "
        "killed later by the system\n";
    struct Case {
        const char* setup;
        std::string unified_text;
        std::string legacy_text;
        std::string log;
    };
    const Case cases[] = {
        {"true", "", "", warning},
        {"mkdir -p /sys/fs/cgroup/unified/system.slice /sys/fs/cgroup/systemd/system.slice && "
         "touch /sys/fs/cgroup/unified/system.slice/cgroup.procs /sys/fs/cgroup/systemd/system.slice/tasks",
         "0", "", ""},
        {"mkdir -p /sys/fs/cgroup/unified/system.slice/cgroup.procs /sys/fs/cgroup/systemd/system.slice && "
         "touch /sys/fs/cgroup/systemd/system.slice/tasks",
         "", "0", std::string("Error writing file ") + unified + "\n"},
        {"mkdir -p /sys/fs/cgroup/unified/system.slice/cgroup.procs /sys/fs/cgroup/systemd/system.slice/tasks", "", "",
         std::string("Error writing file ") + unified + "\nError writing file " + legacy + "\n" + warning},
    };
    for (const Case& c : cases) {
        ChildResult r = runChecksInChild(
            [&c, unified, legacy] {
                ASSERT_EQ(system(c.setup), 0);
                Messages().getLocale();
                Log::consoleLevel = 2;
                detach_from_cgroups();
                Log::consoleLevel = 0;
                EXPECT_EQ(readWholeFile(unified), c.unified_text);
                EXPECT_EQ(readWholeFile(legacy), c.legacy_text);
            },
            detachOptions());
        EXPECT_EQ(r.exit_code, 0) << c.setup << "\n" << r.out << r.err;
        EXPECT_EQ(r.err, c.log) << c.setup;
    }
}

}  // namespace
