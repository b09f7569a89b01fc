#include "common/SystemCmd.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>

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
        { SystemCmd failing("exit 4"); }
        { SystemCmd fine("true"); }
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
