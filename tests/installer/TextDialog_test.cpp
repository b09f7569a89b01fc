#include "installer/TextDialog.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Progress.h"
#include "common/error.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Signals.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const std::string RULE(79, '=');
const std::string LOST = "You have just finished your session by pressing Ctrl + D.";
const std::string PROBE = std::string(KW_TEST_TOOLS_DIR) + "/kw_password_probe";

// The codes and text of an error, or of an interruption, as one line for the parent to compare.
std::string outcome(const std::function<void()>& call)
{
    try {
        call();
    } catch (const error& e) {
        std::ostringstream out;
        out << "error " << e.e_class << e.e_rep << e.e_sys << e.e_supp << ": " << e.getText();
        return out.str();
    } catch (const Progress::Interrupted& e) {
        return "interrupted by " + std::to_string(e.signal);
    }
    return "returned";
}

// Runs the body in a child whose standard input carries the text; what the body prints after the
// page's own output goes to standard error, so standard output holds only the page's bytes.
ChildResult withInput(const std::string& input, const std::function<void()>& body, bool staysOpen = false)
{
    ChildOptions options;
    options.input = input;
    options.input_stays_open = staysOpen;
    return runInChild(
        [&body] {
            body();
            return 0;
        },
        options);
}

}  // namespace

TEST(TextDialog, ParseAnswerTellsLettersNumbersAndNothing)
{
    struct Row {
        std::string text;
        int kind;
        int value;
    };
    const std::vector<Row> rows = {
        {"", TextDialog::Answer::NONE, -1},
        {"a", TextDialog::Answer::LETTER, 'A'},
        {"q", TextDialog::Answer::LETTER, 'Q'},
        {"Q", TextDialog::Answer::LETTER, 'Q'},
        {"ab", TextDialog::Answer::NONE, -1},
        {" 1", TextDialog::Answer::NONE, -1},
        {"1 ", TextDialog::Answer::NONE, -1},
        {"0", TextDialog::Answer::NUMBER, 0},
        {"7", TextDialog::Answer::NUMBER, 7},
        {"007", TextDialog::Answer::NUMBER, 7},
        {"12", TextDialog::Answer::NUMBER, 12},
        {"2147483647", TextDialog::Answer::NUMBER, 2147483647},
        {"2147483648", TextDialog::Answer::NONE, -1},
        {"99999999999999999999999", TextDialog::Answer::NONE, -1},  // beyond long: errno is set
        {"-1", TextDialog::Answer::NONE, -1},
        {"+1", TextDialog::Answer::NONE, -1},
        {"1a", TextDialog::Answer::NONE, -1},
        {"?", TextDialog::Answer::NONE, -1},
    };
    for (const Row& row : rows) {
        const TextDialog::Answer answer = TextDialog::parseAnswer(row.text);
        EXPECT_EQ(row.kind, answer.kind) << '"' << row.text << '"';
        EXPECT_EQ(row.value, answer.value) << '"' << row.text << '"';
    }
    EXPECT_TRUE(TextDialog::isLetter(TextDialog::parseAnswer("b")));
    EXPECT_EQ('B', TextDialog::letter(TextDialog::parseAnswer("b")));
    EXPECT_TRUE(TextDialog::isNumber(TextDialog::parseAnswer("3")));
    EXPECT_EQ(3, TextDialog::number(TextDialog::parseAnswer("3")));
}

TEST(TextDialog, ChoiceListAppendsTheNumbers)
{
    EXPECT_EQ("b/q", TextDialog::choiceList("F/b/q/a/d", 0));
    EXPECT_EQ("F/b/q/a/d/1", TextDialog::choiceList("F/b/q/a/d", 1));
    EXPECT_EQ("F/b/q/a/d/1-12", TextDialog::choiceList("F/b/q/a/d", 12));
}

TEST(TextDialog, HeaderClearsTheScreenOrPrintsBlankLines)
{
    const std::string page = "Title\n" + RULE + "\n\n";
    const ChildResult blank = runInChild([] {
        TextDialog::noClear = true;
        TextDialog::showHeader("Title");
        return 0;
    });
    EXPECT_EQ("\n\n\n\n\n" + page, blank.out);

    // "clear" is found through PATH: one that marks the screen, and none at all.
    TempDir bin;
    writeWholeFile(bin / "clear", "#!/bin/sh\nprintf '<cleared>'\nexit 3\n");
    chmod((bin / "clear").c_str(), 0755);
    ChildOptions options;
    options.env = {{"PATH", bin.path().c_str()}};
    const auto header = [] {
        std::cout << "before ";
        TextDialog::showHeader("Title");
        return 0;
    };
    EXPECT_EQ("before <cleared>" + page, runInChild(header, options).out);
    options.env = {{"PATH", "/nonexistent"}};
    const ChildResult missing = runInChild(header, options);
    EXPECT_EQ(0, missing.exit_code);
    EXPECT_EQ("before " + page, missing.out);
}

TEST(TextDialog, AskActionPrintsTheChoicesAndTakesTheDefault)
{
    const ChildResult result = withInput("\nf\n3\nzz\n", [] {
        for (int i = 0; i < 4; ++i) {
            const TextDialog::Answer a = TextDialog::askAction(i == 3 ? "" : "F/b/q/1-3", "B");
            std::cerr << a.kind << ":" << a.value << ";";
        }
        std::cerr << outcome([] { TextDialog::askAction("F/q", "F"); });
    });
    const std::string choices = " [F/b/q/1-3]: ";
    EXPECT_EQ(choices + choices + choices + " [F/q]: ", result.out);
    EXPECT_EQ("1:66;1:70;2:3;0:-1;error 4211: " + LOST + "\n", result.err);
}

TEST(TextDialog, AskTextShowsTheDefaultAndReturnsItForAnEmptyLine)
{
    const ChildResult result = withInput("\ntyped\n\nlast", [] {
        std::cerr << TextDialog::askText("Host", "example.org") << ";";
        std::cerr << TextDialog::askText("Host", "example.org") << ";";
        std::cerr << "[" << TextDialog::askText("Name", "") << "];";
        // A last line without its line end still counts; then the input has ended.
        std::cerr << TextDialog::askText("Name", "") << ";";
        std::cerr << outcome([] { TextDialog::askText("Name", "x"); });
    });
    EXPECT_EQ("Host [example.org]: Host [example.org]: Name: Name: Name [x]: ", result.out);
    EXPECT_EQ("example.org;typed;[];last;error 4211: " + LOST + "\n", result.err);
}

TEST(TextDialog, MessageDiscardsWhatIsTypedBeforeEnter)
{
    const ChildResult result = withInput("ignored text\nnext\n", [] {
        TextDialog::showMessage("Something happened.");
        std::cerr << TextDialog::askText("Then", "") << ";";
        std::cerr << outcome([] { TextDialog::showMessage("Again."); });
    });
    EXPECT_EQ("\n\nSomething happened.\n(press Enter to continue) Then: \n\nAgain.\n(press Enter to continue) ",
              result.out);
    EXPECT_EQ("next;error 4211: " + LOST + "\n", result.err);

    // Text without a line end before the input ends is no Enter.
    EXPECT_EQ("error 4211: " + LOST + "\n",
              withInput("no line end", [] { std::cerr << outcome([] { TextDialog::showMessage("M"); }); }).err);
}

// A termination signal while a prompt waits on an open pipe stops the run; it is no end of input.
TEST(TextDialog, SignalsAtAWaitingPromptInterrupt)
{
    const std::vector<std::pair<std::string, std::function<void()>>> waits = {
        {"action", [] { TextDialog::askAction("F/q", "F"); }},
        {"text", [] { TextDialog::askText("Name", "x"); }},
        {"message", [] { TextDialog::showMessage("M"); }},
    };
    for (const auto& wait : waits) {
        for (int signal : {SIGINT, SIGTERM}) {
            const ChildResult result = withInput(
                "",
                [&wait, signal] {
                    installProgressHandler();
                    SignalAtRead sender(signal);
                    std::cerr << outcome(wait.second);
                },
                true);
            EXPECT_EQ("interrupted by " + std::to_string(signal), result.err) << wait.first;
        }
    }
}

// SIGHUP while cancelling is unsafe is recorded but stops nothing: the read goes on and gets the
// answer written after the signal.
TEST(TextDialog, HangupDuringAnUnsafeStepDoesNotInterruptThePrompt)
{
    const ChildResult result = runInChild([] {
        int fds[2];
        if (pipe(fds) != 0 || dup2(fds[0], 0) < 0)
            return 98;
        installProgressHandler();
        Progress().markCancelUnsafe();
        std::string answer;
        {
            const int writer = fds[1];
            SignalAtRead sender(SIGHUP, [writer] {
                if (write(writer, "typed\n", 6) != 6)
                    std::cerr << "write failed";
            });
            std::cerr << outcome([&answer] { answer = TextDialog::askText("Name", ""); });
            std::cerr << (sender.sent() ? " after SIGHUP: " : " without a signal: ") << answer;
        }
        return 0;
    });
    EXPECT_EQ("Name: ", result.out);
    EXPECT_EQ("returned after SIGHUP: typed", result.err);
}

// Without a terminal getpass reads standard input: the same answers give the same results.
TEST(TextDialog, PasswordsFromStandardInputWithoutATerminal)
{
    struct Row {
        std::string name;
        std::string defaultAnswer;
        std::string input;
        std::string out;
    };
    const std::string retype = "Retype password: ";
    const std::string mismatch = "The specified passwords do not match\n";
    const std::vector<Row> rows = {
        {"typed twice", "", "secret\nsecret\n", "Password: " + retype + "\npassword=secret\n"},
        {"a mismatch asks again", "", "one\ntwo\nthree\nthree\n",
         "Password: " + retype + mismatch + "Password: " + retype + "\npassword=three\n"},
        {"an empty entry without default asks again", "", "\nabc\nabc\n",
         "Password: Password: " + retype + "\npassword=abc\n"},
        {"an empty entry takes the default", "sixsix", "\n", "Password [******]: \npassword=sixsix\n"},
        {"the end of the input", "", "abc\n", "Password: " + retype + "\nerror 4 2 1 1: " + LOST + "\n"},
        {"the end of the input at the first entry", "dflt", "", "Password [****]: \nerror 4 2 1 1: " + LOST + "\n"},
    };
    for (const Row& row : rows) {
        const std::string command = "printf '%s' '" + row.input + "' | setsid -w " + PROBE + " Password '" +
                                    row.defaultAnswer + "' 2>/dev/null";
        EXPECT_EQ(row.out, shellOutput(command)) << row.name;
    }
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A private tmux server with the probe in its one pane: keys typed there, the screen read back.
class TmuxPane {
public:
    explicit TmuxPane(const std::string& command) : server("kw-test-" + std::to_string(getpid()))
    {
        tmux("-f /dev/null new-session -d -x 100 -y 30 \"" + command + "; echo EXIT=\\$?; sleep 60\"");
    }
    ~TmuxPane() { tmux("kill-server"); }

    void type(const std::string& text)
    {
        if (!text.empty())
            tmux("send-keys -t 0 -l '" + text + "'");
        tmux("send-keys -t 0 Enter");
    }
    std::string screen() { return shellOutput("tmux -L " + server + " capture-pane -p -t 0"); }
    // The screen once it shows the text `times` times (ten seconds at most). The screen keeps no
    // blanks at the ends of lines.
    std::string waitFor(const std::string& text, size_t times = 1)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string shown = screen();
        while (count(shown, text) < times && std::chrono::steady_clock::now() < deadline) {
            usleep(20000);
            shown = screen();
        }
        return shown;
    }

private:
    void tmux(const std::string& arguments) { shellOutput("tmux -L " + server + " " + arguments + " 2>&1"); }

    std::string server;
};

// On a terminal nothing typed is echoed; two different entries print the mismatch and ask again.
TEST(TextDialog, PasswordsOnATerminal)
{
    {
        TmuxPane pane(PROBE + " Password ''");
        pane.waitFor("Password:");
        pane.type("first");
        pane.waitFor("Retype password:");
        pane.type("other");
        pane.waitFor("Password:", 2);
        pane.type("pw2");
        pane.waitFor("Retype password:", 2);
        pane.type("pw2");
        const std::string screen = pane.waitFor("EXIT=");
        EXPECT_NE(std::string::npos, screen.find("password=pw2")) << screen;
        EXPECT_NE(std::string::npos, screen.find("EXIT=0")) << screen;
        EXPECT_EQ(1u, count(screen, "The specified passwords do not match\n")) << screen;
        // The screen keeps no blanks at the ends of lines.
        EXPECT_EQ(2u, count(screen, "Password:\n")) << screen;
        EXPECT_EQ(2u, count(screen, "Retype password:\n")) << screen;
        EXPECT_EQ(std::string::npos, screen.find("first")) << screen;
        EXPECT_EQ(std::string::npos, screen.find("other")) << screen;
        EXPECT_EQ(1u, count(screen, "pw2")) << screen;
    }
    {
        TmuxPane pane(PROBE + " Password sixsix");
        pane.waitFor("Password [******]:");
        pane.type("");
        const std::string screen = pane.waitFor("EXIT=");
        EXPECT_NE(std::string::npos, screen.find("password=sixsix")) << screen;
        EXPECT_EQ(std::string::npos, screen.find("Retype")) << screen;
    }
}
