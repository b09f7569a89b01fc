#include "installer/ParamFileExport.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "installer/Build.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

struct ParamFileExportTest : ::testing::Test {
    ParamFileExportTest()
    {
        for (const auto& component : {zanth, alpha, installed})
            component->requestInstall();
        zanth->getBuild()->setParametersFile(dir / "zanth.params");
        alpha->getBuild()->setParametersFile(dir / "alpha.params");
    }

    void define(ParamManager& manager, const boost::shared_ptr<KwComponent>& component, const std::string& xml)
    {
        tinybind::Document document;
        ASSERT_TRUE(document.parse_text(xml)) << xml;
        manager.createParams(component, document.get_root("settings"));
    }

    // Settings of both products with values, and an installed component's that are not exported.
    void fill(ParamManager& manager)
    {
        define(manager, zanth,
               "<settings>"
               "<setting id='flag' type='boolean'><setting id='inside' type='string'/></setting>"
               "<setting id='secret' type='password' behaviour='secure'/>"
               "<setting id='note' type='static-text'/>"
               "<setting id='unset' type='string'/>"
               "</settings>");
        define(manager, alpha, "<settings><setting id='a1' type='string'/></settings>");
        define(manager, installed, "<settings><setting id='old' type='string'/></settings>");
        define(manager, zanth, "<settings><setting id='port' type='integer'/></settings>");
        const params_t& all = manager.getParams();
        boost::dynamic_pointer_cast<SubParams>(all[0])->getBranch("true")[0]->setValue("in the true branch");
        all[0]->setValue("no");
        all[1]->setValue("pa\"ss\n");
        all[2]->setValue("Read me");
        all[4]->setValue("alpha's");
        all[6]->setValue("8080");
    }

    PrivateHome home;
    TempDir dir;
    Repository repository;
    boost::shared_ptr<KwComponent> zanth =
        componentInMode(repository, makeProductBuild(repository, "zanth"), "web", KwComponent::INSTALL);
    boost::shared_ptr<KwComponent> alpha =
        componentInMode(repository, makeProductBuild(repository, "alpha"), "mail", KwComponent::INSTALL);
    boost::shared_ptr<KwComponent> installed =
        componentInMode(repository, zanth->getBuild(), "old", KwComponent::UPGRADE);
};

TEST_F(ParamFileExportTest, EachProductGetsAPrivateFileForTheInstallation)
{
    const ChildResult result = runChecksInChild(
        [&] {
            umask(022);
            {
                ParamManager manager;
                fill(manager);
                manager.exportToFiles();
                EXPECT_EQ(manager.getExportedFiles(),
                          (std::vector<std::string>{dir / "zanth.params", dir / "alpha.params"}));
                EXPECT_EQ(readWholeFile(dir / "zanth.params"),
                          "flag=\"false\"\n"
                          "secret=\"pa\\\"ss\\x0a\"\n"
                          "note=\"Read me\"\n"
                          "port=\"8080\"\n");
                EXPECT_EQ(readWholeFile(dir / "alpha.params"), "a1=\"alpha's\"\n");
                EXPECT_EQ(shellOutput("stat -c %a " + dir / "zanth.params" + " " + dir / "alpha.params"), "600\n600\n");
            }
            EXPECT_EQ(shellOutput("ls -A " + dir.path()), "");
        },
        home.options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST_F(ParamFileExportTest, TheFilesGoAlsoWhenTheInstallationFails)
{
    const ChildResult result = runChecksInChild(
        [&] {
            try {
                ParamManager manager;
                fill(manager);
                manager.exportToFiles();
                EXPECT_EQ(shellOutput("ls -A " + dir.path()), "alpha.params\nzanth.params\n");
                throw std::runtime_error("the package system failed");
            } catch (const std::runtime_error&) {
            }
            EXPECT_EQ(shellOutput("ls -A " + dir.path()), "");
        },
        home.options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST_F(ParamFileExportTest, ADirectoryOrAMissingDirectoryIsNotWritten)
{
    runProgram("/bin/mkdir", {dir / "zanth.params"});
    alpha->getBuild()->setParametersFile(dir / "missing/alpha.params");
    const LoggedRun run = runLogged(
        [&] {
            {
                ParamManager manager;
                fill(manager);
                manager.exportToFiles();
                EXPECT_EQ(manager.getExportedFiles(), std::vector<std::string>());
            }
            EXPECT_EQ(shellOutput("ls -A " + dir.path()), "zanth.params\n");  // the directory stays
        },
        home.options);
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(linesMatching(run.log, "^ERROR"), "0 ERROR: can't rewrite non-regular file " + dir / "zanth.params\n");
}

}  // namespace
