#include "installer/CheckInstalled.h"

#include <gtest/gtest.h>

#include "common/Progress.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"

namespace {

class CheckInstalledTest : public ComponentForestTest {};

TEST_F(CheckInstalledTest, DeterminesTheInstalledStateOfEveryComponentAndAnnouncesTheStep)
{
    addInstalledPackage(repository, "postfix", "1.0");
    offerPackage(repository, "postfix", "2.0");
    offerPackage(repository, "apache", "1.0");
    const boost::shared_ptr<KwComponent> mail = makeComponent(build, "mail", {keySection({"postfix"})});
    const boost::shared_ptr<KwComponent> web = makeComponent(build, "web", {keySection({"apache"})});
    const boost::shared_ptr<KwComponent> gone = makeComponent(build, "gone", {keySection({"absent"})});
    manager.roots = {makeSubGroup(build, "all", {mail, web}), gone};

    const ChildResult result = runChecksInChild(
        [&] {
            LogFile log(0);
            ComponentManager::CheckInstalled check(&repository, nullptr);
            EXPECT_TRUE(log.has("Detecting installed product components."));
            {
                ProgressStatusGuard status;
                EXPECT_STREQ(status.data().step_id, "checking_comps_status");
                EXPECT_STREQ(status.data().step_title, "Detecting installed product components.");
            }
            manager.walk(check);
            EXPECT_EQ(mail->getInstallMode(), KwComponent::UPGRADE);
            EXPECT_EQ(web->getInstallMode(), KwComponent::INSTALL);
            EXPECT_EQ(gone->getInstallMode(), KwComponent::ERROR);
        },
        privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
