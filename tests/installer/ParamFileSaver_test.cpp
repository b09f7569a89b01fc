#include "installer/ParamFileSaver.h"

#include <sys/stat.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "installer/Options.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempDir.h"

namespace {

const char* const INI = "/root/.kitwright/options.ini";

// Children see root's home, from the password database, on a fresh tmpfs of that size.
ChildOptions homeOnTmpfs(const PrivateHome& home, const std::string& size = "")
{
    ChildOptions options = home.options;
    options.binds.erase(options.binds.begin() + 1);  // the bound directory over /root
    options.tmpfs = {"/root"};
    options.tmpfs_size = size;
    return options;
}

struct ParamFileSaverTest : ::testing::Test {
    ParamFileSaverTest()
    {
        zanth->requestInstall();
        alpha->requestInstall();
    }

    void define(ParamManager& manager, const boost::shared_ptr<KwComponent>& component, const std::string& xml)
    {
        tinybind::Document document;
        ASSERT_TRUE(document.parse_text(xml)) << xml;
        manager.createParams(component, document.get_root("settings"));
    }

    PrivateHome home;
    Repository repository;
    boost::shared_ptr<KwComponent> zanth =
        componentInMode(repository, makeProductBuild(repository, "zanth"), "web", KwComponent::INSTALL);
    boost::shared_ptr<KwComponent> alpha =
        componentInMode(repository, makeProductBuild(repository, "alpha"), "mail", KwComponent::INSTALL);
    boost::shared_ptr<KwComponent> idle =
        componentInMode(repository, makeProductBuild(repository, "idle"), "idle", KwComponent::INSTALL);
};

TEST_F(ParamFileSaverTest, AnswersAreSavedPrivatelyPerProductAndReadBack)
{
    const std::map<std::string, std::map<std::string, std::string>> answers = {
        {"alpha", {{"1x", "plain"}}},
        {"zanth",
         {{"quote", "a\"b\\c"},
          {"ssl-port", "8443"},
          {"mixed", "  # not a comment \t \"x\" \\ "},
          {"lines", "one\ntwo\r"},
          {"utf8",
           "Gr\xc3\xbc\xc3\x9f"
           "e \xe2\x82\xac"}}}};
    const ChildResult result = runChecksInChild(
        [&] {
            umask(022);
            {
                ParamManager manager;
                define(manager, zanth,
                       "<settings>"
                       "<setting id='quote' type='string'/>"
                       "<setting id='secret' type='password' behaviour='secure'/>"
                       "<setting id='ssl-port' type='integer'/>"
                       "<setting id='found' type='string' behaviour='detectable'><read-setting-value/></setting>"
                       "<setting id='note' type='static-text'/>"
                       "<setting id='token' type='hidden'/>"
                       "<setting id='unset' type='string'/>"
                       "<group><setting id='mixed' type='string'/><setting id='lines' type='string'/></group>"
                       "<setting id='utf8' type='string'/>"
                       "<setting id='pw' type='password'/>"
                       "</settings>");
                define(manager, alpha, "<settings><setting id='1x' type='string'/></settings>");
                define(manager, idle, "<settings><setting id='notmine' type='string'/></settings>");
                const params_t& all = manager.getParams();
                for (const param_ptr_t& setting : all) {
                    const std::string product = setting->getComponents().front()->getProductId();
                    if (answers.count(product) && answers.at(product).count(setting->getId())) {
                        ASSERT_TRUE(setting->setValue(answers.at(product).at(setting->getId())));
                    }
                }
                all[1]->setValue("hidden");
                all[3]->setValue("found");
                all[4]->setValue("note");
                all[5]->setValue("token");
                all[7]->setValue("");
                const params_t group = boost::dynamic_pointer_cast<SubParams>(all[7])->getBranch("");
                ASSERT_TRUE(group[0]->setValue(answers.at("zanth").at("mixed")));
                ASSERT_TRUE(group[1]->setValue(answers.at("zanth").at("lines")));
                all[9]->setValue("regular password");
                all[11]->setValue("not to be installed");
            }
            EXPECT_EQ(readWholeFile(INI),
                      "[alpha]\n"
                      "1x=\"plain\"\n"
                      "\n\n\n"
                      "[zanth]\n"
                      "quote=\"a\\\"b\\\\c\"\n"
                      "ssl-port=\"8443\"\n"
                      "__SUBGROUP=\"\"\n"  // a group is complete once it holds a value
                      "mixed=\"  # not a comment \\x09 \\\"x\\\" \\\\ \"\n"
                      "lines=\"one\\x0atwo\\x0d\"\n"
                      "utf8=\"Gr\\xc3\\xbc\\xc3\\x9fe \\xe2\\x82\\xac\"\n"
                      "pw=\"regular password\"\n"
                      "\n\n\n");
            EXPECT_EQ(shellOutput("stat -c %a /root/.kitwright /root/.kitwright/options.ini"), "700\n600\n");
            EXPECT_EQ(umask(0), 022);

            // The next start reads back what was saved.
            static char program[] = "kitwright";
            static char* arguments[] = {program, nullptr};
            std::map<std::string, std::map<std::string, std::string>> expected = answers;
            expected["zanth"]["pw"] = "regular password";
            expected["zanth"]["__SUBGROUP"] = "";
            EXPECT_EQ(Options(1, arguments).componentSettings, expected);
        },
        homeOnTmpfs(home));
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST_F(ParamFileSaverTest, WhatCannotBeSavedLeavesTheEarlierFile)
{
    const std::string earlier = "[zanth]\nkept=\"yes\"\n\n\n\n";
    struct Case {
        const char* name;
        std::function<void(ParamManager&)> prepare;  // runs with the earlier file in place
        std::string log;                             // the level-0 lines of the save
        std::string size;                            // of the home's tmpfs
    };
    const param_ptr_t none;
    const std::vector<Case> cases = {
        {"nothing editable",
         [&](ParamManager& manager) {
             define(manager, idle, "<settings><setting id='a' type='string'/></settings>");
             manager.getParams()[0]->setValue("a");
         },
         "", ""},
        {"no disk space",
         [&](ParamManager& manager) {
             define(manager, zanth, "<settings><setting id='big' type='string'/></settings>");
             manager.getParams()[0]->setValue(std::string(200000, 'x'));
         },
         "0 ERROR: Unable to create the file .kitwright/options.ini\n", "128k"},
    };
    for (const Case& c : cases) {
        const LoggedRun run = runLogged(
            [&] {
                ASSERT_EQ(mkdir("/root/.kitwright", 0700), 0);
                writeWholeFile(INI, earlier);
                const std::string before = shellOutput("md5sum /root/.kitwright/options.ini");
                {
                    ParamManager manager;
                    c.prepare(manager);
                }
                EXPECT_EQ(shellOutput("md5sum /root/.kitwright/options.ini"), before);
                EXPECT_EQ(shellOutput("ls -A /root/.kitwright"), "options.ini\n");  // no temporary left
            },
            homeOnTmpfs(home, c.size));
        EXPECT_EQ(run.exit_code, 0) << c.name << run.out;
        EXPECT_EQ(linesMatching(run.log, "^ERROR"), c.log) << c.name;
    }
}

TEST_F(ParamFileSaverTest, AKitwrightDirectoryThatIsAFileIsLeftAlone)
{
    const LoggedRun run = runLogged(
        [&] {
            writeWholeFile("/root/.kitwright", "not a directory");
            {
                ParamManager manager;
                define(manager, zanth, "<settings><setting id='a' type='string'/></settings>");
                manager.getParams()[0]->setValue("a");
            }
            EXPECT_EQ(readWholeFile("/root/.kitwright"), "not a directory");
        },
        homeOnTmpfs(home));
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(linesMatching(run.log, "^ERROR"), "0 ERROR: path /root/.kitwright exists, but it is not directory\n");
}

TEST_F(ParamFileSaverTest, SettingsTheReaderCouldNotReadAreLeftOut)
{
    const LoggedRun run = runLogged(
        [&] {
            {
                ParamManager manager;
                const boost::shared_ptr<KwComponent> odd =
                    componentInMode(repository, makeProductBuild(repository, "a]b"), "odd", KwComponent::INSTALL);
                odd->requestInstall();
                define(manager, odd, "<settings><setting id='a' type='string'/></settings>");
                define(manager, zanth, "<settings><setting id='ok' type='string'/></settings>");
                for (const param_ptr_t& setting : manager.getParams())
                    setting->setValue("v");
            }
            EXPECT_EQ(readWholeFile(INI), "[zanth]\nok=\"v\"\n\n\n\n");
        },
        homeOnTmpfs(home));
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(
        linesMatching(run.log, "is not saved"),
        "2 ParamManager: param \"a\" of product \"a]b\" is not saved: the settings file could not be read back\n");
}

}  // namespace
