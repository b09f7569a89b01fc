#include "installer/DlgMaker.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/Repository.h"
#include "common/error.h"
#include "installer/ComponentManager.h"
#include "installer/DlgInstTypes.h"
#include "installer/DlgPackages.h"
#include "installer/DlgPrompt.h"
#include "installer/DlgYesNo.h"
#include "installer/TextDialog.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/thrown.h"

namespace {

const std::string RULE(79, '=');
const std::string LOST = "You have just finished your session by pressing Ctrl + D.";
const std::string LEGEND_RETRY = "Type one of the characters from the legend above";
const std::string YESNO_RETRY = "Type Y for yes or N for no";

// A page kind with a run that does nothing: the models are tested without their screens.
template <typename Kind>
class Page : public Kind {
public:
    using Kind::Kind;
    DialogResult run() override { return DONE; }
};

// Runs the page that `make` returns with the input on standard input, the screen not cleared. The
// child's standard error gets the result code (or the error) after `report` adds what it wants.
ChildResult runPage(const std::function<Dialog*(DlgMaker&)>& make, const std::string& input,
                    const std::function<void(Dialog&)>& report = nullptr)
{
    ChildOptions options;
    options.input = input;
    return runInChild(
        [&] {
            TextDialog::noClear = true;
            const std::unique_ptr<DlgMaker> maker(DlgMaker::create());
            const std::unique_ptr<Dialog> page(make(*maker));
            try {
                std::cerr << page->run();
            } catch (const error& e) {
                std::cerr << "error " << e.e_class << e.e_rep << e.e_sys << e.e_supp << ": " << e.getText();
            }
            if (report)
                report(*page);
            return 0;
        },
        options);
}

}  // namespace

TEST(DlgMaker, WelcomePageGoesForwardOrQuits)
{
    Messages messages;
    const std::string page = "\n\n\n\n\n" + messages.get("hello_page_hdr") + "\n" + RULE + "\n\n" +
                             messages.get("hello_page_body") +
                             "\nAvailable actions:\n(F) Go forward\n(Q) Cancel installation\n\nSelect an action";
    const std::string prompt = " [F/q]: ";
    struct Row {
        std::string input;
        std::string result;
        int retries;
    };
    const std::vector<Row> rows = {
        {"f\n", "200", 0},
        {"F\n", "200", 0},
        {"n\n", "200", 0},
        {"N\n", "200", 0},
        {"\n", "200", 0},
        {"q\n", "202", 0},
        {"Q\n", "202", 0},
        {"B\nx\n1\nfq\nq\n", "202", 4},
        {"", "error 4211: " + LOST + "\n", 0},
        {"b\n", "error 4211: " + LOST + "\n", 1},
    };
    for (const Row& row : rows) {
        const ChildResult result = runPage([](DlgMaker& maker) { return maker.makeHello(); }, row.input);
        std::string expected = page + prompt;
        for (int i = 0; i < row.retries; ++i)
            expected += LEGEND_RETRY + prompt;  // the page is not drawn again
        EXPECT_EQ(expected, result.out) << row.input;
        EXPECT_EQ(row.result, result.err) << row.input;
    }
}

TEST(DlgMaker, YesNoQuestionsTakeYesOrNoInAnyCase)
{
    struct Row {
        bool defaultYes;
        std::string input;
        std::string result;
        int retries;
    };
    const std::vector<Row> rows = {
        {true, "\n", "203", 0},
        {true, "y\n", "203", 0},
        {true, "YES\n", "203", 0},
        {true, "No\n", "204", 0},
        {true, "n\n", "204", 0},
        {true, " y\nmaybe\nyes \nnO\n", "204", 3},
        {false, "\n\nY\n", "203", 2},
        {false, "no\n", "204", 0},
        {false, "Yes\n", "203", 0},
        {true, "", "error 4211: " + LOST + "\n", 0},
        {false, "\n", "error 4211: " + LOST + "\n", 1},
    };
    for (const Row& row : rows) {
        const ChildResult result = runPage(
            [&row](DlgMaker& maker) {
                return row.defaultYes ? maker.makeYesNo("Go on?") : maker.makeYesNoNoDefault("Go on?");
            },
            row.input);
        const std::string prompt = row.defaultYes ? " [Y/n]: " : " [y/n]: ";
        std::string expected = "\nGo on?" + prompt;
        for (int i = 0; i < row.retries; ++i)
            expected += YESNO_RETRY + prompt;  // the retry and the prompt again share the line
        EXPECT_EQ(expected, result.out) << row.defaultYes << " " << row.input;
        EXPECT_EQ(row.result, result.err) << row.defaultYes << " " << row.input;
    }
}

TEST(DlgMaker, YesNoFactoriesDifferOnlyInTheDefault)
{
    const std::unique_ptr<DlgMaker> maker(DlgMaker::create());
    std::string question = "Remove it?";
    const std::unique_ptr<Dialog> yes(maker->makeYesNo(question));
    const std::unique_ptr<Dialog> no(maker->makeYesNoNoDefault(question));
    question = "changed";  // the pages keep copies
    const auto* yesPage = dynamic_cast<const DlgYesNo*>(yes.get());
    const auto* noPage = dynamic_cast<const DlgYesNo*>(no.get());
    ASSERT_TRUE(yesPage && noPage);
    EXPECT_TRUE(yesPage->defaultYes);
    EXPECT_FALSE(noPage->defaultYes);
    EXPECT_EQ("Remove it?", yesPage->question);
    EXPECT_EQ("Remove it?", noPage->question);
}

TEST(DlgMaker, MessageAndPromptPages)
{
    const ChildResult message =
        runPage([](DlgMaker& maker) { return maker.makeMessage("Read this."); }, "typed away\n");
    EXPECT_EQ("\n\nRead this.\n(press Enter to continue) ", message.out);
    EXPECT_EQ("205", message.err);

    const auto answer = [](Dialog& page) { std::cerr << " [" << dynamic_cast<DlgPrompt&>(page).answer << "]"; };
    const auto prompt = [](DlgMaker& maker) { return maker.makePrompt("Directory", "/var/tmp"); };
    const ChildResult empty = runPage(prompt, "\n", answer);
    EXPECT_EQ("Directory [/var/tmp]: ", empty.out);
    EXPECT_EQ("205 [/var/tmp]", empty.err);
    EXPECT_EQ("205 [/srv/x]", runPage(prompt, "/srv/x\n", answer).err);
    EXPECT_EQ("Name: ", runPage([](DlgMaker& maker) { return maker.makePrompt("Name", ""); }, "\n", answer).out);
    EXPECT_EQ("error 4211: " + LOST + "\n []", runPage(prompt, "", answer).err);
}

TEST(DlgPackages, CountsInstallationsUpgradesAndRemovals)
{
    Repository repository;
    addInstalledPackage(repository, "old-tool", "1.0");
    const cpkgs_t packages = {
        offerPackage(repository, "new-tool", "1.0"), offerPackage(repository, "old-tool", "2.0"),
        repository.addRemoverFor("gone-tool", ""),
        repository.addRequirerFor("core", "new-tool", false),  // a dummy that removes nothing
    };
    const Page<DlgPackages> counted(&packages, &repository);
    EXPECT_EQ(1, counted.toInstall);
    EXPECT_EQ(1, counted.toUpgrade);
    EXPECT_EQ(1, counted.toRemove);
    EXPECT_EQ(&packages, counted.packages);

    const cpkgs_t none;
    const Page<DlgPackages> empty(&none, &repository);
    EXPECT_EQ(0, empty.toInstall + empty.toUpgrade + empty.toRemove);
}

TEST_F(ComponentForestTest, InstallationTypesStartWithEachProductsFirstType)
{
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "folioforge");
    const auto type = [](const std::string& name) {
        InstTypes::type_t type;
        type.names = {name};
        type.mode = InstTypes::CUSTOM;
        return type;
    };
    manager.instTypes.addType(*build, type("Typical"));
    manager.instTypes.addType(*other, type("Minimal"));
    manager.instTypes.addType(*build, type("Full"));
    Page<DlgInstTypes> page(nullptr, &manager);
    const DlgInstTypes::chosen_t expected = {{"zanth", "Typical"}, {"folioforge", "Minimal"}};
    EXPECT_EQ(expected, page.chosen);
    EXPECT_FALSE(page.componentList);

    // The lookup appends what it does not know.
    page.chosenFor("zud") = "Custom";
    EXPECT_EQ(3u, page.chosen.size());
    EXPECT_EQ("Custom", page.chosenFor("zud"));

    const error e = caught([] { Page<DlgInstTypes>(nullptr, nullptr); });
    EXPECT_EQ(codes(error(E_INTERNAL, REP_NONE, SYS_UNSET, SUPP_NEED)), codes(e));
    EXPECT_NE(std::string::npos, e.getText().find("Try of use NULL pointer: ")) << e.getText();
}
