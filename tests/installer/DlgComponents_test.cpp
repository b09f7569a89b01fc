#include "installer/DlgComponents.h"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/SourceSysCache.h"
#include "common/error.h"
#include "installer/Build.h"
#include "installer/CheckInstalled.h"
#include "installer/ComponentsChangeset.h"
#include "installer/TextDialog.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LoadedForest.h"
#include "tests/support/LogFile.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const std::string PRESS_ENTER = "(press Enter to continue) ";

// The components page's logic without its screen.
class Components : public DlgComponents {
public:
    using DlgComponents::DlgComponents;
    DialogResult run() override { return DONE; }
};

class DlgComponentsTest : public ComponentForestTest {
public:
    DlgComponentsTest() { build->setUninstallSupport(true); }

    // The forest: an installed base component first, so that the page's constructor leaves the
    // others alone, then the given ones.
    void forest(const std::vector<boost::shared_ptr<KwComponent>>& components)
    {
        manager.roots = {component("base", KwComponent::UP2DATE)};
        manager.roots.insert(manager.roots.end(), components.begin(), components.end());
    }

    // Runs the checks in a child whose standard input carries the answers (and then ends).
    ChildResult withAnswers(const std::string& answers, const std::function<void()>& body)
    {
        ChildOptions options;
        options.input = answers;
        return runChecksInChild(
            [&body] {
                TextDialog::noClear = true;
                body();
            },
            options);
    }

    LogFile log;
};

std::string errorText(const std::string& text)
{
    return text + "\n";
}

}  // namespace

// One component toggled three times: the status after each step, or the refusal of every step.
TEST_F(DlgComponentsTest, TogglingWalksTheCycleOfTheInstallMode)
{
    struct Row {
        std::string name;
        KwComponent::install_mode_t mode;
        bool buildUninstall;
        bool componentUninstall;
        std::string statuses;  // before and after each toggle
        std::string refusal;   // the error of every toggle instead
        std::tuple<int, int, int, int> codes;
    };
    const std::vector<Row> rows = {
        {"up to date, removable", KwComponent::UP2DATE, true, true, "=X=X", "", {}},
        {"up to date, the build cannot uninstall",
         KwComponent::UP2DATE,
         false,
         true,
         "=",
         "The component c component is already installed.",
         {2, 1, 1, 1}},
        {"up to date, the component cannot be removed",
         KwComponent::UP2DATE,
         true,
         false,
         "=",
         "The component c component cannot be removed.",
         {2, 1, 1, 1}},
        {"older, removable", KwComponent::UPGRADE, true, true, " X* ", "", {}},
        {"older, not removable", KwComponent::UPGRADE, true, false, " * *", "", {}},
        {"older, the build cannot uninstall", KwComponent::UPGRADE, false, true, " * *", "", {}},
        {"not installed", KwComponent::INSTALL, true, true, " * *", "", {}},
        {"not installed, nothing removable", KwComponent::INSTALL, false, false, " * *", "", {}},
        {"not available", KwComponent::ERROR, true, true, "!", "The component zanth/c is not available.", {1, 1, 1, 2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        build->setUninstallSupport(row.buildUninstall);
        const boost::shared_ptr<KwComponent> c = component("c", row.mode);
        c->uninstall_support = row.componentUninstall;
        forest({c});
        // No question may come up: the answers end at once.
        const ChildResult result = withAnswers("", [&] {
            Components page(&manager);
            std::string statuses(1, c->getStatusChar());
            for (int step = 0; step < 3; ++step) {
                if (row.refusal.empty()) {
                    page.changeState(c);
                    statuses += c->getStatusChar();
                } else {
                    const error e = caught([&] { page.changeState(c); });
                    EXPECT_EQ(errorText(row.refusal), e.getText());
                    EXPECT_EQ(row.codes, codes(e));
                }
            }
            EXPECT_EQ(row.statuses, statuses);
            EXPECT_EQ(REQ_LEAVE, manager.getBaseComponent("")->getRequest());
        });
        EXPECT_EQ(0, result.exit_code) << result.out << result.err;
        EXPECT_EQ("", result.out);
    }
}

TEST_F(DlgComponentsTest, ConstructorMarksTheBaseAndWhatRequiredComponentsNeed)
{
    build->setUninstallSupport(false);
    const boost::shared_ptr<KwComponent> base = component("base"), tool = component("tool");
    base->requirements = {"tool"};
    manager.roots = {base, tool, component("other")};
    Components page(&manager);
    EXPECT_TRUE(base->isRequired());
    EXPECT_EQ(REQ_INSTALL, base->getRequest());
    EXPECT_EQ(REQ_INSTALL, tool->getRequest());
    EXPECT_TRUE(page.products.empty());

    // With uninstall support the base component is not forced.
    ComponentManager removable;
    build->setUninstallSupport(true);
    const boost::shared_ptr<KwComponent> free = component("base");
    removable.roots = {free};
    Components again(&removable);
    EXPECT_FALSE(free->isRequired());
    EXPECT_EQ(REQ_LEAVE, free->getRequest());
}

TEST_F(DlgComponentsTest, AStatusOutsideItsRowIsAnInternalError)
{
    const boost::shared_ptr<KwComponent> c = component("c");
    c->setRequest(REQ_REMOVE);  // 'X' on a component that is not installed
    forest({c});
    Components page(&manager);
    const error e = caught([&] { page.changeState(c); });
    EXPECT_EQ(codes(internal_error("", 0)), codes(e));
    EXPECT_NE(std::string::npos, e.getText().find(", installer/DlgComponents, line 267.")) << e.getText();
    EXPECT_EQ(REQ_REMOVE, c->getRequest());
}

TEST_F(DlgComponentsTest, AnUnresolvableToggleChangesNothing)
{
    // x needs y, which cannot stand beside it.
    const boost::shared_ptr<KwComponent> x = component("x"), y = component("y");
    x->requirements = {"y"};
    y->conflicts = {"x"};
    forest({x, y});
    Components page(&manager);
    const error e = caught([&] { page.changeState(x); });
    EXPECT_EQ(std::make_tuple(5, 1, 1, 2), codes(e));
    EXPECT_EQ("Unable to change state for zanth/x due to inter-component dependencies. Check '" + Log::getFileName() +
                  "' for more details.\n",
              e.getText());
    EXPECT_EQ(requestsOf({x, y}), (requests_t{{"zanth/x", REQ_LEAVE}, {"zanth/y", REQ_LEAVE}}));
}

// A toggle that implies two installations asks once, naming them by description in the order of
// their names (a name without description stays); only yes applies the change.
TEST_F(DlgComponentsTest, ImpliedChangesAreAskedFor)
{
    const boost::shared_ptr<KwComponent> x = component("x"), a = component("dep-a"), b = component("dep-b"),
                                         c = component("dep-c");
    a->description = "Zulu tool";
    b->description = "Alpha tool";
    c->description = "";
    x->requirements = {"dep-a", "dep-b", "dep-c"};
    forest({x, a, b, c});
    const std::string question =
        "\nTo toggle this component state you also need to\n"
        "install or upgrade the following components: Zulu tool, Alpha tool, dep-c\n\nDo you want to do this? [Y/n]: ";
    struct Row {
        std::string answers;
        request_mode_t request;
        std::string screen;
    };
    const std::vector<Row> rows = {
        {"y\n", REQ_INSTALL, question},
        {"\n", REQ_INSTALL, question},
        {"n\n", REQ_LEAVE, question},
        {"maybe\nno\n", REQ_LEAVE, question + "Type Y for yes or N for no [Y/n]: "},
    };
    for (const Row& row : rows) {
        const ChildResult result = withAnswers(row.answers, [&] {
            Components page(&manager);
            page.changeState(x);
            EXPECT_EQ(requestsOf({x, a, b, c}), (requests_t{{"zanth/x", row.request},
                                                            {"zanth/dep-a", row.request},
                                                            {"zanth/dep-b", row.request},
                                                            {"zanth/dep-c", row.request}}));
        });
        EXPECT_EQ(0, result.exit_code) << row.answers << result.out << result.err;
        EXPECT_EQ(row.screen, result.out) << row.answers;
    }
}

// A group action marks a subtree explicitly: the question speaks of these components, and lists
// removals and deselections too.
TEST_F(DlgComponentsTest, GroupChangesUseThePluralQuestion)
{
    const boost::shared_ptr<KwComponent> web = component("web"), mail = component("mail"),
                                         lite = component("mail-lite", KwComponent::UP2DATE), core = component("core");
    web->requirements = {"core"};
    mail->conflicts = {"mail-lite"};
    forest({web, mail, lite, core});
    const ChildResult result = withAnswers("y\n", [&] {
        ComponentsChangeset changeset;
        ComponentsChangeset::MarkSubtree(&changeset, "zanth", REQ_INSTALL, true, true)
            .mark(manager.roots.begin() + 1, manager.roots.begin() + 3);
        ASSERT_TRUE(manager.resolveComponents(&changeset));
        EXPECT_TRUE(DlgComponents::confirmChanges(changeset));
    });
    EXPECT_EQ(0, result.exit_code) << result.out << result.err;
    EXPECT_EQ(
        "\nTo toggle these components state you also need to\n"
        "install or upgrade the following components: core component\n"
        "remove the following components: mail-lite component\n\nDo you want to do this? [Y/n]: ",
        result.out);
}

TEST_F(DlgComponentsTest, ConflictsAndDeniedRemovalsAreShownNotAsked)
{
    // Two explicit installs that exclude each other.
    const boost::shared_ptr<KwComponent> a = component("a"), b = component("b");
    a->conflicts = {"b"};
    forest({a, b});
    const ChildResult conflict = withAnswers("\n", [&] {
        ComponentsChangeset changeset;
        changeset.requests[a] = REQ_INSTALL;
        changeset.requests[b] = REQ_INSTALL;
        EXPECT_FALSE(manager.resolveComponents(&changeset));
        EXPECT_FALSE(DlgComponents::confirmChanges(changeset));
    });
    EXPECT_EQ(0, conflict.exit_code) << conflict.out << conflict.err;
    EXPECT_EQ(
        "\n\nIt is not possible to toggle these components state as it will break dependencies for the following "
        "components: \na, b\nTry toggling components one by one instead.\n\n" +
            PRESS_ENTER,
        conflict.out);

    // Removing core takes the support tools with it, which may not go implicitly.
    const boost::shared_ptr<KwComponent> core = component("core", KwComponent::UP2DATE),
                                         support = component("support-tools", KwComponent::UP2DATE);
    support->requirements = {"core"};
    support->deny_implicit_removal = true;
    support->description = "Support tools";
    forest({core, support});
    const ChildResult denied = withAnswers("\n", [&] {
        Components page(&manager);
        page.changeState(core);
        EXPECT_EQ('=', core->getStatusChar());
        EXPECT_EQ('=', support->getStatusChar());
    });
    EXPECT_EQ(0, denied.exit_code) << denied.out << denied.err;
    EXPECT_EQ(
        "\n\nTo remove this component or group of components, first you need to remove components that cannot be "
        "implicitly removed: \nSupport tools (support-tools)\n\n" +
            PRESS_ENTER,
        denied.out);
}

namespace {

const ForcedSystem DEBIAN{"Linux", "Debian", "12", "x86_64", ""};

// The support tools of the mirror also require the core here, so that removing the core would take
// them implicitly, which they deny.
const char* const MIRROR_MODEL = R"({"component_changes": {"zanth/support-tools": {"requires": ["core"]}}})";

// The components page over the forest that the build loader makes of the generated mirror's Zanth
// 10.1 for Debian, with the installed packages read from a cache file as the system's.
class MirrorComponentsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        TempDir model;
        writeWholeFile(model / "model.json", MIRROR_MODEL);
        mirror = new GeneratedMirror(
            {"--model", model / "model.json", "--phase", "builds", "--phase", "products", "--phase", "index"});
    }
    static void TearDownTestSuite() { delete mirror; }

    // Cache records of installed Debian packages, from "name=version" words; "zanth-mail" provides
    // the mail transfer agent that the mail component is known by.
    static std::string installedRecords(const std::string& words)
    {
        std::string records;
        std::istringstream in(words);
        for (std::string word; in >> word;) {
            const std::string name = word.substr(0, word.find('='));
            records += "N:" + name + "\nV:" + word.substr(word.find('=') + 1) + "\nA:amd64\n" +
                       (name == "zanth-mail" ? "P:zanth-mta\n" : "") + "X:\n\n";
        }
        return records;
    }

    static GeneratedMirror* mirror;
    PrivateHome home;
};

GeneratedMirror* MirrorComponentsTest::mirror = nullptr;

// The status characters of these Zanth components, in walk order: core, support-tools, backup, migrator,
// web, mail, mail-lite. (The mirror's other components, for whole installations, take no part.)
std::string statuses(const LoadedForest& forest)
{
    std::string text;
    for (const char* name : {"core", "support-tools", "backup", "migrator", "web", "mail", "mail-lite"})
        text += forest.component("zanth/" + std::string(name))->getStatusChar();
    return text;
}

}  // namespace

// Toggles over the real forest: its dependencies (web and mail-lite need core, the support tools
// need core and deny implicit removal, mail is known by a provided name), its radio group of the two
// mail servers and the group holding them, with installed packages up to date or older.
TEST_F(MirrorComponentsTest, TogglingFollowsTheForestsDependencies)
{
    const std::string UPDATED =
        "zanth-core=10.1.0-1 zanth-base=10.1.0-1 zanth-support=10.1.0-1 "
        "zanth-mail-lite=10.1.0-1 zanth-web=10.0.0-1";
    const std::string WITH_MAIL = "zanth-core=10.1.0-1 zanth-base=10.1.0-1 zanth-mail=10.1.0-1";
    const std::string ASK = "\n\nDo you want to do this? [Y/n]: ";
    const std::string ONE = "\nTo toggle this component state you also need to\n";
    const std::string GROUP = "\nTo toggle these components state you also need to\n";
    struct Row {
        std::string name;
        std::string installed;  // name=version words
        std::string toggles;    // component names; "[services]" selects that whole group
        std::string answers;
        std::string before;  // statuses(): core, support-tools, backup, migrator, web, mail, mail-lite
        std::string trail;   // the status of the toggled component after each toggle
        std::string after;   // statuses() at the end
        std::string screen;
        std::string refusal;  // the error's text, without the line end
    };
    const std::vector<Row> rows = {
        {"a fresh installation: web needs core", "", "web", "y\n", "     ! ", "*", "*   *! ",
         ONE + "install or upgrade the following components: Zanth core" + ASK, ""},
        {"answered no", "", "web", "n\n", "     ! ", " ", "     ! ",
         ONE + "install or upgrade the following components: Zanth core" + ASK, ""},
        {"nothing implied: no question", "", "core core", "", "     ! ", "* ", "     ! ", "", ""},
        {"nothing provides the mail transfer agent", "", "mail", "", "     ! ", "!", "     ! ", "",
         "The component zanth/mail is not available."},
        {"a radio member's partner goes explicitly: the group's wording", "", "mail-lite", "\n", "     ! ", "*",
         "*    !*", GROUP + "install or upgrade the following components: Zanth core" + ASK, ""},
        // The radio group's default member is not available, so the group gets no member.
        {"selecting the services group", "", "[services]", "y\n", "     ! ", "", "*   *! ",
         GROUP + "install or upgrade the following components: Zanth core" + ASK, ""},
        {"an older component: remove, update, leave", UPDATED, "web web web", "", "==   !=", "X* ", "==   !=", "", ""},
        {"removing core would take the support tools", UPDATED, "core", "\n", "==   !=", "=", "==   !=",
         "\n\nTo remove this component or group of components, first you need to remove components that cannot be "
         "implicitly removed: \nSupport tools (support-tools)\n\n(press Enter to continue) ",
         ""},
        {"the support tools themselves may go and come back", UPDATED, "support-tools support-tools", "",
         "==   !=", "X=", "==   !=", "", ""},
        {"switching the radio group removes the other member without a question", WITH_MAIL, "mail-lite", "",
         "=    = ", "*", "=    X*", "", ""},
        {"removing core takes the mail server", WITH_MAIL, "core", "y\n", "=    = ", "X", "X    X ",
         ONE + "remove the following components: Mail server" + ASK, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeWholeFile(dir / "installed.cache", installedRecords(row.installed));
        ChildOptions options = home.options;
        options.input = row.answers;
        options.private_ipc = true;  // the installed-state check publishes its progress step
        const ChildResult result = runChecksOnSystem(
            DEBIAN,
            [&] {
                TextDialog::noClear = true;
                LoadedForest forest(mirror->path());
                SourceSysCache installed(&forest.repository, dir / "installed.cache");
                forest.repository.getBriefPackagesInfo();
                forest.load({"zanth-10.1"});
                ComponentManager::CheckInstalled check(&forest.repository, nullptr);
                forest.manager.walk(check);
                Components page(&forest.manager);
                EXPECT_EQ(row.before, statuses(forest));
                std::string trail;
                std::istringstream toggles(row.toggles);
                for (std::string name; toggles >> name;) {
                    if (name == "[services]") {
                        ComponentsChangeset changeset;
                        ComponentsChangeset::MarkSubtree(&changeset, "zanth", REQ_INSTALL, true, true)
                            .mark(forest.manager.roots.end() - 1, forest.manager.roots.end());
                        ASSERT_TRUE(forest.manager.resolveComponents(&changeset));
                        if (DlgComponents::confirmChanges(changeset))
                            forest.manager.applyChangeset(&changeset);
                    } else if (row.refusal.empty()) {
                        page.changeState(forest.component("zanth/" + name));
                    } else {
                        const error e = caught([&] { page.changeState(forest.component("zanth/" + name)); });
                        EXPECT_EQ(row.refusal + "\n", e.getText());
                    }
                    if (name[0] != '[')
                        trail += forest.component("zanth/" + name)->getStatusChar();
                }
                EXPECT_EQ(row.trail, trail);
                EXPECT_EQ(row.after, statuses(forest));
            },
            options);
        EXPECT_EQ(0, result.exit_code) << result.out << result.err;
        EXPECT_EQ(row.screen, result.out);
    }
}
