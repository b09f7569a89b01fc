#include "common/sysutils.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace fs = boost::filesystem;

namespace {

TEST(SysUtilsTest, Environment)
{
    const ChildResult result = runInChild([] {
        unset_env("KW_TEST_VAR");
        if (get_env("KW_TEST_VAR") != "")
            return 1;
        set_env("KW_TEST_VAR", "");
        if (get_env("KW_TEST_VAR") != "" || !getenv("KW_TEST_VAR"))
            return 2;
        set_env("KW_TEST_VAR", "first");
        set_env("KW_TEST_VAR", "second value");
        if (get_env("KW_TEST_VAR") != "second value")
            return 3;
        unset_env("KW_TEST_VAR");
        return getenv("KW_TEST_VAR") ? 4 : 0;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
}

TEST(SysUtilsTest, ShellCommandGivesTheShellBackExactlyItsWords)
{
    const std::vector<std::string> words = {"printf",      "%s\\n",      "plain/word-1.0", "two words", "",     " ",
                                            "it's",        "\"double\"", "$HOME",          "${x:-y}",   "`id`", "$(id)",
                                            "line\nbreak", "-n",         "--option=value", "a;b|c&d",   "*",    "~",
                                            "back\\slash", "tab\there",  "#comment"};
    // printf repeats its format for each argument: one output line per word after the format.
    std::string expected;
    for (size_t i = 2; i < words.size(); ++i)
        expected += words[i] + "\n";
    EXPECT_EQ(shellOutput(shell_command(words)), expected);

    // Plain words stay as they are; the others are quoted, one word each.
    EXPECT_EQ(shell_command({"dpkg", "-I", "/var/cache/a_1.0-1_all.deb", "control"}),
              "dpkg -I /var/cache/a_1.0-1_all.deb control");
    EXPECT_EQ(shell_command({"rpm", "-q", "a b"}), "rpm -q 'a b'");
}

TEST(SysUtilsTest, SleepIsAnInterruptionPoint)
{
    std::atomic<bool> returned(false), interrupted(false);
    boost::thread sleeper([&] {
        while (!boost::this_thread::interruption_requested())
            usleep(1000);
        try {
            sleep_seconds(30);
            returned = true;
        } catch (const boost::thread_interrupted&) {
            interrupted = true;
            throw;
        }
    });
    const auto start = std::chrono::steady_clock::now();
    sleeper.interrupt();
    sleeper.join();
    EXPECT_TRUE(interrupted);
    EXPECT_FALSE(returned);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    const auto before = std::chrono::steady_clock::now();
    sleep_milliseconds(1050);
    const auto slept = std::chrono::steady_clock::now() - before;
    EXPECT_GE(slept, std::chrono::milliseconds(1050));
    EXPECT_LT(slept, std::chrono::milliseconds(3000));
    sleep_milliseconds(-5);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(3000));
}

TEST(SysUtilsTest, TerminalSize)
{
    // In the child, standard output is a file.
    ChildResult redirected = runInChild([] { return get_terminal_width() == 0 && get_terminal_height() == 0 ? 0 : 1; });
    EXPECT_EQ(redirected.exit_code, 0);

    ChildResult terminal = runInChild([] {
        int master, slave;
        winsize size{};
        size.ws_col = 123;
        size.ws_row = 45;
        if (openpty(&master, &slave, nullptr, nullptr, &size) != 0 || dup2(slave, 1) < 0)
            return 2;
        return get_terminal_width() == 123 && get_terminal_height() == 45 ? 0 : 1;
    });
    EXPECT_EQ(terminal.exit_code, 0);
}

TEST(SysUtilsTest, PutConsoleChar)
{
    const ChildResult result = runInChild([] {
        put_console_char('K');
        put_console_char('\n');
        _exit(0);  // no further flushing: the characters must already be out
        return 0;
    });
    EXPECT_EQ(result.out, "K\n");
}

// A stand-in for the mail command on PATH: it records its arguments and the body it reads, and ends
// with the status in MAIL_STATUS; with MAIL_STATUS "early" it ends at once without reading.
class SendMailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeWholeFile(dir / "mail",
                       "#!/bin/sh\n"
                       "[ \"$MAIL_STATUS\" = early ] && exit 3\n"
                       "printf '%s' \"$#\" > \"$MAIL_LOG/argc\"\n"
                       "n=1; for a in \"$@\"; do printf '%s' \"$a\" > \"$MAIL_LOG/arg$n\"; n=$((n+1)); done\n"
                       "cat > \"$MAIL_LOG/body\"\n"
                       "exit \"${MAIL_STATUS:-0}\"\n");
        fs::permissions(dir / "mail", fs::owner_all);
        path = dir.path() + ":/usr/bin:/bin";
    }

    ChildResult send(const std::string& address, const std::string& subject, const std::string& body,
                     const char* status = "0", bool no_descriptors = false)
    {
        ChildOptions options;
        options.env = {{"PATH", path.c_str()}, {"MAIL_LOG", dir.path().c_str()}, {"MAIL_STATUS", status}};
        return runInChild(
            [&] {
                Log::consoleLevel = 1;
                Messages().get("err_send_mail");  // any catalog warning comes before the test's output
                std::cerr << "---\n";
                if (no_descriptors) {
                    const rlimit limit = {3, 3};
                    setrlimit(RLIMIT_NOFILE, &limit);
                }
                send_mail(address, subject, body);
                return 0;
            },
            options);
    }

    std::string recorded(const std::string& name)
    {
        return fs::exists(dir / name) ? readWholeFile(dir / name) : "<none>";
    }

    static std::string after_marker(const std::string& err) { return err.substr(err.find("---\n") + 4); }

    TempDir dir;
    std::string path;
};

TEST_F(SendMailTest, MailGetsSubjectAddressAndBody)
{
    const ChildResult result = send("admin@example.com", "Kitwright report", "line 1\nline 2\n");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(after_marker(result.err), "");
    EXPECT_EQ(recorded("argc"), "3");
    EXPECT_EQ(recorded("arg1"), "-s");
    EXPECT_EQ(recorded("arg2"), "Kitwright report");
    EXPECT_EQ(recorded("arg3"), "admin@example.com");
    EXPECT_EQ(recorded("body"), "line 1\nline 2\n");
}

TEST_F(SendMailTest, SubjectAndAddressReachMailUnchangedByTheShell)
{
    const std::string subject = "it's done'; echo injected; '$(id)`id`";
    const std::string address = "root@localhost; echo injected > \"$MAIL_LOG/injected\"";
    const ChildResult result = send(address, subject, "body");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(recorded("argc"), "3");
    EXPECT_EQ(recorded("arg2"), subject);
    EXPECT_EQ(recorded("arg3"), address);
    EXPECT_EQ(recorded("injected"), "<none>");
}

TEST_F(SendMailTest, AddressThatLooksLikeAnOptionIsRefused)
{
    for (const char* address : {"--exec=!id", "-s", ""}) {
        const ChildResult result = send(address, "subject", "body");
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(after_marker(result.err), Messages().get("err_send_mail") + "\n") << address;
        EXPECT_EQ(recorded("argc"), "<none>") << address;
    }
}

TEST_F(SendMailTest, FailingMailCommandIsLogged)
{
    const ChildResult failed = send("admin@example.com", "subject", "body", "1");
    EXPECT_EQ(failed.exit_code, 0);
    EXPECT_EQ(after_marker(failed.err), Messages().get("err_send_mail") + "\n");

    // A command that ends without reading a large body: the write into the dead pipe must not end
    // the process.
    const ChildResult early = send("admin@example.com", "subject", std::string(1 << 20, 'x'), "early");
    EXPECT_EQ(early.exit_code, 0);
    EXPECT_EQ(after_marker(early.err), Messages().get("err_send_mail") + "\n");
}

TEST_F(SendMailTest, CommandThatCannotStartIsReportedWithBody)
{
    // Without free descriptors popen cannot make its pipe; the report shows the exact command.
    const ChildResult plain = send("admin@example.com", "Kitwright report", "the body", "0", true);
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_EQ(after_marker(plain.err),
              "Can't run mail command, mail not sent.\n"
              "Mail cmd failed: mail -s 'Kitwright report' admin@example.com\n"
              "The body of mail:\nthe body");

    const ChildResult quoted = send("a b@x", "it's", "", "0", true);
    EXPECT_EQ(after_marker(quoted.err),
              "Can't run mail command, mail not sent.\n"
              "Mail cmd failed: mail -s 'it'\\''s' 'a b@x'\n"
              "The body of mail:\n");
}

// The text of the error the call throws, whose codes must all be 0; empty when it throws none.
std::string expect_error_text(const std::function<void()>& call)
{
    const std::optional<error> e = thrown<error>(call);
    if (!e)
        return "";
    EXPECT_EQ(codes(*e), std::make_tuple(0, 0, 0, 0));
    return e->getText();
}

TEST(SysUtilsTest, SocketAddressText)
{
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    inet_pton(AF_INET, "192.168.10.201", &v4.sin_addr);
    EXPECT_EQ(sockaddr_to_string(reinterpret_cast<sockaddr*>(&v4)), "192.168.10.201");

    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    for (const char* text :
         {"::1", "fe80::1:2ff:fe03:405", "::ffff:127.0.0.1", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}) {
        inet_pton(AF_INET6, text, &v6.sin6_addr);
        EXPECT_EQ(sockaddr_to_string(reinterpret_cast<sockaddr*>(&v6)), text);
    }

    sockaddr_un unix_address{};
    unix_address.sun_family = AF_UNIX;
    EXPECT_EQ(expect_error_text([&] { sockaddr_to_string(reinterpret_cast<sockaddr*>(&unix_address)); }),
              "Unexpected protocol family: 1\n");
    EXPECT_EQ(expect_error_text([] { sockaddr_to_string(nullptr); }), "Socket address is NULL\n");
}

TEST(SysUtilsTest, AddressInfoText)
{
    for (const char* text : {"127.0.0.1", "::1", "2001:db8::8:800:200c:417a"}) {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST;
        addrinfo* found = nullptr;
        ASSERT_EQ(getaddrinfo(text, nullptr, &hints, &found), 0) << text;
        EXPECT_EQ(addrinfo_to_string(found), text);
        freeaddrinfo(found);
    }
    addrinfo other{};
    other.ai_family = AF_UNIX;
    EXPECT_EQ(expect_error_text([&] { addrinfo_to_string(&other); }), "Unknown protocol family 1\n");
}

}  // namespace
