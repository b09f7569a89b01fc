#include "installer/Bootstrapper.h"

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/tinybind.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/StageActions.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

// The forest of one run: the product "zanth" with a component to install, an installed one that is
// kept and the build's own actions; the product "ext" with one installed component to remove. Every
// action appends its tag to the file "order" of a temporary directory through /bin/sh.
struct Forest {
    Forest()
    {
        zanth = makeProductBuild(repository, "zanth");
        ext = makeProductBuild(repository, "ext");
        base = componentInMode(repository, zanth, "base", KwComponent::INSTALL);
        base->requestInstall();
        kept = componentInMode(repository, zanth, "kept", KwComponent::UP2DATE);
        gone = componentInMode(repository, ext, "gone", KwComponent::UP2DATE);
        gone->requestRemove();
        manager.roots = {base, kept, gone};
    }

    // An action element whose command appends the tag to the order file, then runs `then`.
    std::string action(const std::string& tag, const std::string& attributes, const std::string& then = "") const
    {
        return "<action " + attributes + " exec-cmd='echo " + tag + " >> " + dir / "order" + then + "'/>";
    }

    // The tags written so far, one per line, and the file emptied.
    std::string order() const
    {
        const std::string text = readWholeFile(dir / "order");
        writeWholeFile(dir / "order", "");
        return text;
    }

    TempDir dir;
    Repository repository;
    StageActions actions;
    ComponentManager manager;
    boost::shared_ptr<Build> zanth, ext;
    boost::shared_ptr<KwComponent> base, kept, gone;
};

}  // namespace

TEST(BootstrapperTest, LoadingReadsDefaultsAndRefusesMissingWords)
{
    LogFile log;
    StageActions owned;
    const Bootstrapper::actions_t loaded = owned.load(
        "<action sequence='prep' exec-cmd='true'/>"
        "<skipped sequence='prep' exec-cmd='false'/>"
        "<action sequence='post' stage='commit' sequence-order='-7' operation='remove' critical='false' "
        "arch='x86_64' exec-cmd='echo a &amp;&amp; echo b'/>"
        "<action sequence='post' critical='False' exec-cmd='x'/><action sequence='post' critical='no' exec-cmd='x'/>"
        "<action sequence='post' stage='' sequence-order='+3' exec-cmd=''/>",
        "zanth-18.0");
    ASSERT_EQ(loaded.size(), 5u);
    struct Expected {
        std::string sequence, stage;
        int order;
        std::string operation;
        bool critical;
        std::string command, arch;
    };
    const std::vector<Expected> expected = {
        {"prep", "execute", 0, "install", true, "true", ""},
        {"post", "commit", -7, "remove", false, "echo a && echo b", "x86_64"},
        {"post", "execute", 0, "install", true, "x", ""},
        {"post", "execute", 0, "install", true, "x", ""},
        {"post", "", 3, "install", true, "", ""},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const auto* action = dynamic_cast<const Bootstrapper::Action_ExecCmd*>(loaded[i]);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->sequence, expected[i].sequence);
        EXPECT_EQ(action->stage, expected[i].stage);
        EXPECT_EQ(action->sequence_order, expected[i].order);
        EXPECT_EQ(action->operation, expected[i].operation);
        EXPECT_EQ(action->critical, expected[i].critical);
        EXPECT_EQ(action->exec_cmd, expected[i].command);
        EXPECT_EQ(action->m_arch, expected[i].arch);
        EXPECT_EQ(action->parent_name, "zanth-18.0");
    }
    EXPECT_TRUE(
        log.has(" add action sequence: post, sequence_order:-7, operation:remove, stage:commit, exec_cmd: "
                "echo a && echo b"));

    // A missing word names the element where grep finds it; the actions before it stay loaded.
    TempDir dir;
    const std::string file = dir / "build.xml";
    writeWholeFile(file,
                   "<build>\n"
                   "  <bootstrapper>\n"
                   "    <action sequence='prep' exec-cmd='true'/>\n"
                   "    <action stage='commit' exec-cmd='true'/>\n"
                   "  </bootstrapper>\n"
                   "  <bootstrapper><action sequence='prep' sequence-order='2'/></bootstrapper>\n"
                   "  <bootstrapper><action sequence='prep' sequence-order='1x' exec-cmd='true'/></bootstrapper>\n"
                   "</build>\n");
    const std::string position = shellOutput("grep -n \"stage='commit'\" " + file +
                                             " | awk -F: '{ printf \"%s %d\", $1, index($0, \"<action\") - "
                                             "length($1) - 1 }'");
    const std::string second = shellOutput("grep -n \"sequence-order='2'\" " + file +
                                           " | awk -F: '{ printf \"%s %d\", $1, index($0, \"<action\") - "
                                           "length($1) - 1 }'");
    tinybind::Document document(file);
    TiXmlElement* bootstrapper = document.get_root()->FirstChildElement("bootstrapper");
    struct Refused {
        std::string attribute, position;
    };
    const std::vector<Refused> refused = {{"sequence", position}, {"exec-cmd", second}};
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.attribute);
        Bootstrapper::actions_t list;
        const std::optional<tinybind::err> e =
            thrown<tinybind::err>([&] { Bootstrapper::loadActions(list, bootstrapper, "x"); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->code, 1);
        const std::string row = r.position.substr(0, r.position.find(' '));
        const std::string col = r.position.substr(r.position.find(' ') + 1);
        EXPECT_EQ(e->message,
                  "There is no attribute '" + r.attribute + "' in element action (row:" + row + " col:" + col + ")");
        EXPECT_EQ(list.size(), r.attribute == "sequence" ? 1u : 0u);
        for (Bootstrapper::Action* action : list)
            delete action;
        bootstrapper = bootstrapper->NextSiblingElement("bootstrapper");
    }
    Bootstrapper::actions_t list;
    const error e = caught([&] { Bootstrapper::loadActions(list, bootstrapper, "x"); });
    EXPECT_EQ(e.getText(), messages.get("err_non_digit") + "\n");
    EXPECT_TRUE(list.empty());
}

TEST(BootstrapperTest, StagesRunInOrderWithCommitOrRollback)
{
    struct Case {
        const char* name;
        std::string extra;  // another action of the component to install
        bool result;
        std::string order;
    };
    const std::string before = "-1\ncomp0\nbuild0\n";
    const std::vector<Case> cases = {
        {"all succeed", "", true, before + "5\ncommit\n"},
        {"critical failure", "<action sequence='prep' sequence-order='1' exec-cmd='echo fail >> @; exit 3'/>", false,
         before + "fail\nrollback\n"},
        {"non-critical failure",
         "<action sequence='prep' sequence-order='1' critical='false' exec-cmd='echo fail >> @; exit 3'/>", true,
         before + "fail\n5\ncommit\n"},
        {"False stays critical",
         "<action sequence='prep' sequence-order='1' critical='False' exec-cmd='echo fail >> @; exit 3'/>", false,
         before + "fail\nrollback\n"},
        {"no stays critical",
         "<action sequence='prep' sequence-order='1' critical='no' exec-cmd='echo fail >> @; exit 3'/>", false,
         before + "fail\nrollback\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Forest f;
        std::string extra = c.extra;
        for (std::string::size_type at; (at = extra.find('@')) != std::string::npos;)
            extra.replace(at, 1, f.dir / "order");
        f.base->bootstrapper_actions = f.actions.load(
            f.action("5", "sequence='prep' sequence-order='5'") +
                f.action("-1", "sequence='prep' sequence-order='-1'") + f.action("comp0", "sequence='prep'") +
                f.action("patched", "sequence='post-patch'") + f.action("commit", "sequence='prep' stage='commit'") +
                f.action("rollback", "sequence='prep' stage='rollback'") + extra,
            "base");
        // The build's actions follow the component's of the same order; "remove" is not this change.
        f.zanth->attachBuildFileData({}, f.actions.load(f.action("build0", "sequence='prep'") +
                                                            f.action("removed", "sequence='prep' operation='remove'"),
                                                        "zanth-1.0"));
        EXPECT_EQ(Bootstrapper::performActions(f.manager, "prep", false), c.result);
        EXPECT_EQ(f.order(), c.order);
    }
}

TEST(BootstrapperTest, CollectionByChangeOfComponentAndProduct)
{
    Forest f;
    f.base->bootstrapper_actions = f.actions.load(f.action("base", "sequence='post'"), "base");
    f.kept->bootstrapper_actions =
        f.actions.load(f.action("kept", "sequence='post'") + f.action("kept-commit", "sequence='post' stage='commit'") +
                           f.action("kept-rollback", "sequence='post' stage='rollback'"),
                       "kept");
    f.gone->bootstrapper_actions = f.actions.load(f.action("gone", "sequence='post'"), "gone");
    f.zanth->attachBuildFileData({}, f.actions.load(f.action("zanth-install", "sequence='post'") +
                                                        f.action("zanth-remove", "sequence='post' operation='remove'"),
                                                    "zanth-1.0"));
    // The product whose components are only removed runs its build's removal actions.
    f.ext->attachBuildFileData({}, f.actions.load(f.action("ext-install", "sequence='post'") +
                                                      f.action("ext-remove", "sequence='post' operation='remove'") +
                                                      f.action("ext-rollback",
                                                               "sequence='post' stage='rollback' "
                                                               "operation='remove'"),
                                                  "ext-1.0"));
    {
        LogFile log;
        EXPECT_TRUE(Bootstrapper::performActions(f.manager, "post", false));
        EXPECT_EQ(f.order(), "base\next-remove\nzanth-install\n");
        EXPECT_TRUE(log.has("base: get component specific actions for post/execute/install"));
        EXPECT_TRUE(log.has("kept: do not run component specific actions for post/execute/install"));
        EXPECT_TRUE(log.has("ext: get build specific actions for post/execute/remove"));
        EXPECT_TRUE(log.has("zanth: get build specific actions for post/execute/install"));
    }
    // Every installed component that stays, for the execute and commit stages only.
    EXPECT_TRUE(Bootstrapper::performActions(f.manager, "post", true));
    EXPECT_EQ(f.order(), "base\nkept\next-remove\nzanth-install\nkept-commit\n");

    // The needs-upgrade flag brings a kept component in without forAllComponents; a failure then runs
    // the rollback stage.
    f.kept->setNeedsUpgrade(true);
    f.base->requestLeave();
    f.gone->requestLeave();
    f.manager.roots = {f.kept, f.base, f.gone};
    LogFile log;
    const std::string rollback = "<action sequence='post' exec-cmd='echo failed >> " + f.dir / "order" + "; false'/>";
    f.kept->bootstrapper_actions.push_back(f.actions.load(rollback, "kept").front());
    EXPECT_FALSE(Bootstrapper::performActions(f.manager, "post", false));
    EXPECT_EQ(f.order(), "kept\nfailed\nkept-rollback\n");
    EXPECT_TRUE(log.has("kept: get component specific actions for post/execute/install"));
    // Once a component was eligible the operation shows in the lines of those that are not.
    EXPECT_TRUE(log.has("base: do not run component specific actions for post/execute/install"));
}

TEST(BootstrapperTest, PackageFailureActionsAndTheirLogLines)
{
    Forest f;
    f.base->bootstrapper_actions = f.actions.load(
        f.action("pkgs", "sequence='pkgs' stage='rollback' arch='all'", "; echo said-so; exit 4") +
            f.action("after", "sequence='pkgs' stage='rollback'") + f.action("not-now", "sequence='pkgs'"),
        "base");
    f.kept->bootstrapper_actions = f.actions.load(f.action("kept", "sequence='pkgs' stage='rollback'"), "kept");
    LogFile log(2);
    EXPECT_FALSE(Bootstrapper::performPkgsFailureActions(f.manager));
    EXPECT_EQ(f.order(), "pkgs\n");
    const std::string command = "echo pkgs >> " + f.dir / "order" + "; echo said-so; exit 4";
    bool found = false;
    for (const std::string& line : log.lines())
        if (line.find("Bootstrapper has finished action (exec time: ") == 0) {
            found = true;
            EXPECT_EQ(line.substr(line.find(" sec.): ")),
                      " sec.): parent_name='base', sequence='pkgs', stage='rollback', sequence_order='0', "
                      "operation='install', exec_cmd='" +
                          command + "', m_arch='all', exit code: 4, output: said-so");
        }
    EXPECT_TRUE(found);

    // The validate actions of one component, whatever the rest of the forest holds.
    f.kept->bootstrapper_actions = f.actions.load(f.action("validated", "sequence='validate'"), "kept");
    f.kept->requestInstall();
    EXPECT_TRUE(Bootstrapper::performValidateActions(f.kept));
    EXPECT_EQ(f.order(), "validated\n");
    EXPECT_TRUE(Bootstrapper::performActions(ComponentManager(), "prep", false));
}

TEST(BootstrapperTest, ShellKilledBySignalLeavesThePhase)
{
    Forest f;
    f.base->bootstrapper_actions =
        f.actions.load(f.action("first", "sequence='prep'") + f.action("killed", "sequence='prep'", "; kill -TERM $$") +
                           f.action("commit", "sequence='prep' stage='commit'") +
                           f.action("rollback", "sequence='prep' stage='rollback'"),
                       "base");
    const error e = caught([&] { Bootstrapper::performActions(f.manager, "prep", false); });
    EXPECT_EQ(e.e_class, E_SYSTEM) << e.getText();
    EXPECT_EQ(f.order(), "first\nkilled\n");
}
