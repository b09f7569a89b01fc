#include "common/SystemCmd.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

std::string readAll(FILE* stream)
{
    std::string text;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof(block), stream)) > 0)
        text.append(block, n);
    return text;
}

// The text of the error that check() raises; all such errors have the codes (4, 2, 2, 2).
std::string checkFailure(SystemCmd& cmd)
{
    const std::optional<error> e = thrown<error>([&cmd] { cmd.check(); });
    if (!e)
        return "no error";
    EXPECT_EQ(codes(*e), std::make_tuple(4, 2, 2, 2));
    return e->getText();
}

// The log is process-wide: these tests run in children and read the console sink (standard error).
// This one gives the child a locale that the command must not see.
ChildOptions germanLocaleChild()
{
    ChildOptions options;
    options.env = {{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "de_DE.UTF-8"}};
    return options;
}

TEST(SystemCmdTest, ReadsOutputAndLogsStandardError)
{
    ChildResult r = runChecksInChild(
        [] {
            Messages().getLocale();
            SystemCmd cmd("echo $LC_ALL/$LANG/$LANGUAGE; echo out; echo err >&2; exit 3");
            EXPECT_EQ(readAll(cmd.stream), "C/C/\nout\n");
            EXPECT_EQ(cmd.wait(), 3);
            EXPECT_EQ(cmd.wait(), 3);  // collected once, answered again
            EXPECT_EQ(checkFailure(cmd), "Error 3 in execution of echo\n");

            SystemCmd quiet("echo only-errors >&2");
            EXPECT_EQ(readAll(quiet.stream), "");
            EXPECT_EQ(quiet.check(), 0);
        },
        germanLocaleChild());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("err\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("only-errors\n"), std::string::npos) << r.err;
}

TEST(SystemCmdTest, MissingCommandAndSignalGive127)
{
    ChildResult r = runChecksInChild([] {
        SystemCmd missing("no-such-command-kw --flag");
        EXPECT_EQ(checkFailure(missing), "Error 127 in execution of no-such-command-kw\n");
        SystemCmd killed("kill -KILL $$");
        EXPECT_EQ(killed.wait(), 127);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("no-such-command-kw: not found"), std::string::npos) << r.err;
}

TEST(SystemCmdTest, AllStandardErrorReachesTheLog)
{
    ChildResult r = runChecksInChild([] {
        Messages().getLocale();
        SystemCmd cmd("seq 1 100000 >&2; echo done");
        EXPECT_EQ(readAll(cmd.stream), "done\n");
        EXPECT_EQ(cmd.wait(), 0);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    std::ostringstream expected;
    for (int i = 1; i <= 100000; ++i)
        expected << i << "\n";
    EXPECT_EQ(r.err, expected.str());
}

TEST(SystemCmdTest, DescendantHoldingStandardErrorDoesNotHoldTheDestructor)
{
    ChildResult r = runChecksInChild([] {
        pid_t sleeper = 0;
        const auto start = std::chrono::steady_clock::now();
        {
            SystemCmd cmd("echo before >&2; sleep 30 >/dev/null & echo $!");
            char line[32] = "";
            ASSERT_TRUE(fgets(line, sizeof(line), cmd.stream));
            sleeper = atoi(line);
            EXPECT_EQ(cmd.wait(), 0);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        if (sleeper > 0)
            kill(sleeper, SIGKILL);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("before\n"), std::string::npos) << r.err;
}

TEST(SystemCmdTest, UncheckedStatusIsReportedByTheDestructor)
{
    ChildResult r = runChecksInChild([] {
        Messages().getLocale();  // the catalog's creation logs lines of its own
        Log::consoleLevel = 2;
        {
            SystemCmd failing("exit 4");
        }
        {
            SystemCmd fine("true");
        }
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err,
              "kitwright: read output of exit 4\n"
              "Warning: SystemCmd exit code was not checked. (Command was: 'exit 4').\n"
              "Warning: unhandled error in execution of command (4) : exit 4\n"
              "kitwright: read output of true\n"
              "Warning: SystemCmd exit code was not checked. (Command was: 'true').\n");
}

TEST(SystemCmdTest, WriteModeGivesTheCommandEndOfFile)
{
    ChildOptions options;
    options.tmpfs = {"/tmp"};
    ChildResult r = runChecksInChild(
        [] {
            SystemCmd cmd("cat > /tmp/copy; echo written >&2", SystemCmd::WRITE);
            ASSERT_TRUE(cmd.stream);
            for (int i = 0; i < 20000; ++i)
                fprintf(cmd.stream, "line %d\n", i);
            EXPECT_EQ(cmd.wait(), 0);
            EXPECT_EQ(cmd.stream, nullptr);
            std::ostringstream expected;
            for (int i = 0; i < 20000; ++i)
                expected << "line " << i << "\n";
            EXPECT_EQ(readWholeFile("/tmp/copy"), expected.str());
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "written\n");
}

TEST(SystemCmdTest, CopyOutputToLog)
{
    ChildResult r = runChecksInChild([] {
        Messages().getLocale();
        SystemCmd important("printf 'a\\nb'");
        important.copyOutputToLog(true);
        EXPECT_EQ(important.wait(), 0);
        SystemCmd informative("echo not-on-the-console");
        informative.copyOutputToLog(false);
        EXPECT_EQ(informative.wait(), 0);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "a\nb");
}

TEST(SystemCmdTest, ShellThatCannotBeExecuted)
{
    ChildOptions options;
    options.binds = {{"/etc/passwd", "/bin/sh"}};  // not executable
    ChildResult r = runChecksInChild(
        [] {
            Messages().getLocale();
            SystemCmd cmd("true");
            EXPECT_EQ(readAll(cmd.stream), "");
            EXPECT_EQ(cmd.wait(), 127);
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, Messages().get("err_exec_execfail") + " (Permission denied)\n");
}

// What the command gets from the program: the program's descriptors that are not close-on-exec, the
// environment with the forced locale, the calling thread's signal mask, the ignored signals (caught
// ones are reset by the exec) and the working directory. The shell would clear its signal mask, so
// Python stands in for /bin/sh here and reports on the very process that was started.
TEST(SystemCmdTest, ChildGetsTheProgramsDescriptorsEnvironmentSignalsAndDirectory)
{
    TempDir dir;
    ChildOptions options;
    options.env = {{"LC_ALL", "de_DE.UTF-8"}, {"KW_INHERITED", "yes"}};
    options.binds = {{boost::filesystem::canonical("/usr/bin/python3").string(), "/bin/sh"}};
    ChildResult r = runChecksInChild(
        [&dir] {
            Messages().getLocale();
            const int inherited = open("/dev/null", O_RDONLY);
            const int private_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            ASSERT_GE(private_fd, 3);
            sigset_t blocked;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGUSR1);
            ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, nullptr), 0);
            signal(SIGUSR2, SIG_IGN);
            signal(SIGTERM, [](int) {});
            ASSERT_EQ(chdir(dir.path().c_str()), 0);
            // 0, 1 and 2, then every descriptor of ours that an exec keeps.
            std::string expected_fds = "0 1 2";
            for (int fd = 3; fd < 1024; ++fd) {
                const int flags = fcntl(fd, F_GETFD);
                if (flags >= 0 && !(flags & FD_CLOEXEC))
                    expected_fds += " " + std::to_string(fd);
            }
            EXPECT_NE(expected_fds.find(" " + std::to_string(inherited)), std::string::npos);

            SystemCmd cmd(R"py(
import os, signal
def is_open(fd):
    try:
        os.fstat(fd)
        return True
    except OSError:
        return False
print(' '.join(str(fd) for fd in range(1024) if is_open(fd)))
print(os.readlink('/proc/self/fd/1').split('[')[0])
print(os.getcwd())
status = dict(line.split(':	') for line in open('/proc/self/status').read().splitlines() if ':	' in line)
mask, ignored = int(status['SigBlk'], 16), int(status['SigIgn'], 16)
bit = lambda set, sig: set >> (sig - 1) & 1
print(bit(mask, signal.SIGUSR1), bit(ignored, signal.SIGUSR2), bit(ignored, signal.SIGTERM))
print(' '.join(name + '=' + os.environ.get(name, '-') for name in ('KW_INHERITED', 'LANG', 'LC_ALL')))
)py");
            const std::string report = readAll(cmd.stream);
            EXPECT_EQ(cmd.wait(), 0);
            EXPECT_EQ(report, expected_fds + "\npipe:\n" + boost::filesystem::canonical(dir.path()).string() +
                                  "\n1 1 0\nKW_INHERITED=yes LANG=C LC_ALL=C\n");
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

// With standard input and output closed, the pipes get descriptors 0 and 1 themselves.
TEST(SystemCmdTest, PipesOnTheStandardDescriptorNumbers)
{
    ChildOptions options;
    options.tmpfs = {"/tmp"};
    ChildResult r = runChecksInChild(
        [] {
            Messages().getLocale();
            const int saved_out = dup(1);
            close(0);
            close(1);
            std::string read_text;
            int read_code = -1;
            {
                SystemCmd cmd("echo hello; echo done");
                read_text = readAll(cmd.stream);
                read_code = cmd.wait();
            }
            int write_code = -1;
            {
                SystemCmd cmd("cat > /tmp/written", SystemCmd::WRITE);
                fputs("through stdin\n", cmd.stream);
                write_code = cmd.wait();
            }
            dup2(saved_out, 1);
            EXPECT_EQ(read_text, "hello\ndone\n");
            EXPECT_EQ(read_code, 0);
            EXPECT_EQ(write_code, 0);
            EXPECT_EQ(readWholeFile("/tmp/written"), "through stdin\n");
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(SystemCmdTest, CommandName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"env LANG=C dpkg-query -W", "dpkg-query"},
        {"/usr/bin/apt-get -y install x", "/usr/bin/apt-get"},
        {"sh -c 'echo hi'", "-c"},
        {"  LC_ALL=C   rpm  -qa", "rpm"},
        {"env\ttool arg", "env\ttool"},  // only blanks separate words
        {"env LANG=C sh", "env LANG=C sh"},
        {"env LANG=C ", "env LANG=C "},
        {"", ""},
        {"dpkg ", "dpkg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(command_name(c.first), c.second) << c.first;
}

TEST(PipeTest, ClosedEnds)
{
    Pipe pipe;
    EXPECT_GE(pipe.in(), 0);
    EXPECT_GE(pipe.out(), 0);
    pipe.closeIn();
    pipe.closeIn();
    pipe.closeOut();
    const std::pair<std::function<int()>, const char*> cases[] = {
        {[&pipe] { return pipe.in(); }, "Pipe: in() end is already closed\n"},
        {[&pipe] { return pipe.out(); }, "Pipe: out() end is already closed\n"},
    };
    for (const auto& c : cases) {
        const std::optional<error> e = thrown<error>(c.first);
        ASSERT_TRUE(e) << c.second;
        EXPECT_EQ(e->getText(), c.second);
        EXPECT_EQ(codes(*e), std::make_tuple(3, 2, 1, 3));
    }
}

}  // namespace
