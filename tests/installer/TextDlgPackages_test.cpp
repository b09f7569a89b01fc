#include "installer/TextDlgPackages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "common/error.h"
#include "installer/DlgMaker.h"
#include "installer/PackagesReporter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmuxPane.h"

namespace {

const std::string RULE(79, '=');
const std::string RETRY = "Type one of the characters from the legend above";
const std::string LOST = "You have just finished your session by pressing Ctrl + D.";
const std::string PRESS_ENTER = "\n\n\n(press Enter to continue) ";
const std::string NO_PAGERS = "Warning: Unable to find neither 'less' nor 'more' utilities.";

std::string page(int install, int upgrade, int remove)
{
    std::string text = "\n\n\n\n\nPreparing Your System for Product Installation\n" + RULE + "\n\n" + "There are " +
                       std::to_string(install) +
                       " packages required for the product to function properly which\nwere not found in your "
                       "system.\n\nThere are " +
                       std::to_string(upgrade) +
                       " packages that need to be upgraded\nin order to install the product.\n\n";
    if (remove > 0)
        text += "There are " + std::to_string(remove) + " packages that are installed, but will be removed.\n\n";
    return text +
           "\nAvailable actions:\n(F) Go forward\n(B) Go back\n(Q) Cancel installation\n(S) Show the list of "
           "packages\n\n"
           "Select an action [F/b/q/s]: ";
}

// A transaction of `install` new packages with long names (about 60 bytes a line in the list), one
// upgrade and one removal.
struct Transaction {
    explicit Transaction(int install)
    {
        addInstalledPackage(repository, "old-tool", "1.0");
        addInstalledPackage(repository, "gone-tool", "1.0");
        for (int i = 0; i < install; ++i)
            packages.push_back(
                offerPackage(repository, "new-tool-with-a-rather-long-name-" + std::to_string(i), "1.0"));
        packages.push_back(offerPackage(repository, "old-tool", "2.0"));
        packages.push_back(repository.addRemoverFor("gone-tool", ""));
    }

    std::string list() const
    {
        std::ostringstream out;
        out << PackagesReporter(&packages, const_cast<Repository*>(&repository), false);
        return out.str();
    }

    Repository repository;
    cpkgs_t packages;
};

// The page run in a child with the input and the options; standard error gets the result (after
// what the page logs there), or the error. `prepare` runs in the child first.
ChildResult run(Transaction& transaction, const std::string& input, ChildOptions options = ChildOptions(),
                const std::function<void()>& prepare = nullptr)
{
    options.input = input;
    return runInChild(
        [&] {
            if (prepare)
                prepare();
            TextDialog::noClear = true;
            const std::unique_ptr<Dialog> page(std::unique_ptr<DlgMaker>(DlgMaker::create())
                                                   ->makePackages(&transaction.packages, &transaction.repository));
            try {
                std::cerr << dynamic_cast<TextDlgPackages&>(*page).run();
            } catch (const error& e) {
                std::cerr << "error " << e.e_class << e.e_rep << e.e_sys << e.e_supp << ": " << e.getText();
            }
            return 0;
        },
        options);
}

// A directory with an executable "less" script of that body, first on PATH.
struct FakeLess {
    explicit FakeLess(const std::string& body)
    {
        writeWholeFile(dir / "less", "#!/bin/sh\n" + body);
        chmod((dir / "less").c_str(), 0755);
        path = dir.path() + ":" + getenv("PATH");
        options.env = {{"PATH", path.c_str()}};
    }

    TempDir dir;
    std::string path;
    ChildOptions options;
};

}  // namespace

TEST(TextDlgPackages, CountsAndAnswers)
{
    Transaction three(3);
    Repository empty;
    cpkgs_t none;
    struct Row {
        std::string input;
        int retries;
        std::string result;
    };
    const std::vector<Row> rows = {
        {"\n", 0, "200"},  {"f\n", 0, "200"}, {"N\n", 0, "200"},           {"b\n", 0, "201"},
        {"p\n", 0, "201"}, {"Q\n", 0, "202"}, {"x\n1\nss\nb\n", 3, "201"}, {"", 0, "error 4211: " + LOST + "\n"},
    };
    for (const Row& row : rows) {
        const ChildResult result = run(three, row.input);
        std::string expected = page(3, 1, 1);
        for (int i = 0; i < row.retries; ++i)
            expected += RETRY + " [F/b/q/s]: ";
        EXPECT_EQ(expected, result.out) << row.input;
        EXPECT_EQ(row.result, result.err) << row.input;
    }

    // Nothing to remove: no removal line, while the other two say 0.
    ChildOptions options;
    options.input = "q\n";
    const ChildResult nothing = runInChild(
        [&] {
            TextDialog::noClear = true;
            std::cerr << TextDlgPackages(&none, &empty).run();
            return 0;
        },
        options);
    EXPECT_EQ(page(0, 0, 0), nothing.out);
    EXPECT_EQ("202", nothing.err);
}

// Without a terminal less copies the list to standard output: the whole list passes through it, and
// the page comes again after each showing.
TEST(TextDlgPackages, ShowsTheListThroughLess)
{
    Transaction many(8000);
    const std::string list = many.list();
    ASSERT_GT(list.size(), 400u * 1024);
    const ChildResult result = run(many, "s\nS\nf\n");
    EXPECT_EQ(result.out.size(), 3 * page(8000, 1, 1).size() + 2 * list.size());
    EXPECT_TRUE(result.out == page(8000, 1, 1) + list + page(8000, 1, 1) + list + page(8000, 1, 1));
    EXPECT_EQ("200", result.err);
    EXPECT_EQ(0, result.exit_code);
}

// A pager that quits without reading a list larger than the pipe must not take the installer with it.
TEST(TextDlgPackages, APagerThatQuitsEarlyEndsOnlyTheShowing)
{
    Transaction many(8000);
    FakeLess less("printf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/args\"\nexit 0\n");
    const ChildResult result = run(many, "s\ns\nb\n", less.options);
    EXPECT_EQ(page(8000, 1, 1) + page(8000, 1, 1) + page(8000, 1, 1), result.out);
    EXPECT_EQ("201", result.err);
    EXPECT_EQ(0, result.exit_code);
    const std::string pager = "-m\n-C\n-PmUse arrow keys for navigation and 'q' to return to installer\n";
    EXPECT_EQ("--version\n" + pager + "--version\n" + pager, readWholeFile(less.dir / "args"));
}

// Without less: "more", then the press-Enter pause; with neither: the warning, the list itself on
// standard output and the pause. The child's /usr is an overlay from which the pagers are removed.
TEST(TextDlgPackages, WithoutLessMoreOrNothing)
{
    Transaction some(5);
    const std::string list = some.list();
    ChildOptions options;
    options.overlays = {"/usr"};
    const ChildResult more = run(some, "s\ntyped away\n\n", options, [] { unlink("/usr/bin/less"); });
    EXPECT_EQ(page(5, 1, 1) + list + PRESS_ENTER + page(5, 1, 1), more.out);
    EXPECT_EQ("200", more.err);

    const ChildResult neither = run(some, "s\n\nq\n", options, [] {
        unlink("/usr/bin/less");
        unlink("/usr/bin/more");
    });
    EXPECT_EQ(page(5, 1, 1) + list + "\n" + PRESS_ENTER + page(5, 1, 1), neither.out);
    EXPECT_EQ(NO_PAGERS + "\n202", neither.err);
    EXPECT_EQ(0, access("/usr/bin/less", X_OK));  // the host keeps its pagers
    EXPECT_EQ(0, access("/usr/bin/more", X_OK));
}

// A failure while the list is shown (here the end of the input at the pause after "more") ends the
// page with the failure and what it was doing; the failure's codes stay.
TEST(TextDlgPackages, AFailureWhileShowingTheListSaysSo)
{
    Transaction some(1);
    FakeLess less("exit 1\n");
    const ChildResult result = run(some, "s\n", less.options);
    EXPECT_EQ(page(1, 1, 1) + some.list() + PRESS_ENTER, result.out);
    EXPECT_EQ("error 4211: Unable to show a list of packages.\n" + LOST + "\n", result.err);
}

// On a terminal "S" opens less with the installer's prompt; "q" there comes back to the page, drawn
// again. The test program runs itself in a tmux pane for this test alone.
TEST(TextDlgPackages, LessOnATerminal)
{
    const char* const ON_TERMINAL = "KW_TEST_PACKAGES_PAGE_ON_TERMINAL";
    if (getenv(ON_TERMINAL)) {
        Transaction many(300);
        TextDialog::noClear = true;
        const DialogResult result = TextDlgPackages(&many.packages, &many.repository).run();
        std::cout << "RESULT=" << result << std::endl;
        return;
    }
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    TmuxPane pane(std::string(ON_TERMINAL) + "=1 " + self + " --gtest_filter=TextDlgPackages.LessOnATerminal", 160,
                  100);
    const std::string prompt = "Select an action [F/b/q/s]:";
    pane.waitFor(prompt);
    pane.type("s");
    const std::string lessPrompt = "Use arrow keys for navigation and 'q' to return to installer";
    const std::string paged = pane.waitFor(lessPrompt);
    EXPECT_NE(std::string::npos, paged.find(lessPrompt)) << paged;
    EXPECT_NE(std::string::npos, paged.find("  1. [I] new-tool-with-a-rather-long-name-0-1.0.all\n")) << paged;
    EXPECT_EQ(std::string::npos, paged.find(prompt)) << paged;  // less has the screen
    pane.press("q");
    const std::string again = pane.waitFor(prompt, 2);
    EXPECT_EQ(2u, TmuxPane::count(again, prompt)) << again;
    EXPECT_EQ(std::string::npos, again.find(lessPrompt)) << again;
    pane.type("f");
    const std::string screen = pane.waitFor("EXIT=");
    EXPECT_NE(std::string::npos, screen.find("RESULT=200\n")) << screen;
    EXPECT_NE(std::string::npos, screen.find("EXIT=0")) << screen;
}
