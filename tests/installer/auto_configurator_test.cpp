#include "installer/auto_configurator.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Package.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/fileops.h"
#include "installer/DummyConfigurator.h"
#include "installer/SystemSpecificConfigurator.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

typedef std::vector<std::string> events_t;

// A configured configurator that rewrites one persistent file and records what happens to it; each
// clean-up step can be made to fail.
class RecordingConfigurator : public SystemSpecificConfigurator {
public:
    RecordingConfigurator(events_t& events_, const std::string& path_) : events(events_), path(path_) { configure(); }
    ~RecordingConfigurator() override { events.push_back("deleted"); }

    void configureSources() override {}
    Installer* createInstaller(ComponentManager*) override { return nullptr; }

    bool failRemoval = false;
    bool failFinish = false;
    bool interruptRemoval = false;

protected:
    const Package* doGetAvailablePackage(const std::string&) override { return nullptr; }
    void doConfigure() override
    {
        addPersistentFile(path);
        writeWholeFile(path, "new");
    }
    void doRemoveTemporarySources() override
    {
        events.push_back("remove temporary");
        if (interruptRemoval)
            throw Progress::Interrupted(15);
        if (failRemoval)
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "removal failed";
    }
    void doFinish() override
    {
        events.push_back("finish");
        if (failFinish)
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "finish failed";
        SystemSpecificConfigurator::doFinish();
    }

private:
    events_t& events;
    std::string path;
};

class AutoConfiguratorTest : public testing::Test {
protected:
    AutoConfiguratorTest() { writeWholeFile(path, "old"); }

    TempDir dir;
    std::string path = dir / "zanth.list";
    events_t events;
};

TEST_F(AutoConfiguratorTest, ReleaseCleansUpFinishesAndDeletesInOrderRollingBackWithoutCommit)
{
    {
        driver::auto_configurator holder(new RecordingConfigurator(events, path), true);
        EXPECT_EQ(readWholeFile(path), "new");
    }
    EXPECT_EQ(events, (events_t{"remove temporary", "finish", "deleted"}));
    EXPECT_EQ(readWholeFile(path), "old");
    EXPECT_FALSE(fileops::exists(path + ".kw_back"));
}

TEST_F(AutoConfiguratorTest, CommittedConfigurationStaysAndSkippedCleanupKeepsTemporarySources)
{
    {
        RecordingConfigurator* configurator = new RecordingConfigurator(events, path);
        driver::auto_configurator holder(configurator, false);
        configurator->setCommitChanges();
    }
    EXPECT_EQ(events, (events_t{"finish", "deleted"}));
    EXPECT_EQ(readWholeFile(path), "new");
    EXPECT_FALSE(fileops::exists(path + ".kw_back"));
}

TEST_F(AutoConfiguratorTest, ReleaseSwallowsEachFailingStepLogsItAndStillRestoresTheFiles)
{
    struct Case {
        bool failRemoval, interruptRemoval, failFinish;
        events_t logged;
        std::string content;
    } cases[] = {
        {true, false, false, {"Failed to remove the temporary package sources: removal failed"}, "old"},
        {false,
         true,
         false,
         {"Failed to remove the temporary package sources: " + Progress::Interrupted(15).message()},
         "old"},
        {true,
         false,
         true,
         {"Failed to remove the temporary package sources: removal failed",
          "Failed to finish the package system configuration: finish failed"},
         "new"},
    };
    for (const Case& c : cases) {
        events.clear();
        writeWholeFile(path, "old");
        LogFile log(2);
        {
            RecordingConfigurator* configurator = new RecordingConfigurator(events, path);
            configurator->failRemoval = c.failRemoval;
            configurator->interruptRemoval = c.interruptRemoval;
            configurator->failFinish = c.failFinish;
            driver::auto_configurator holder(configurator, true);
        }
        EXPECT_EQ(events, (events_t{"remove temporary", "finish", "deleted"}));
        for (const std::string& line : c.logged)
            EXPECT_TRUE(log.has(line)) << line;
        EXPECT_EQ(readWholeFile(path), c.content);
    }
}

TEST_F(AutoConfiguratorTest, NullBecomesADummyThatConfiguresNothingAndMakesNoInstaller)
{
    driver::auto_configurator holder(nullptr, true);
    auto* dummy = dynamic_cast<driver::auto_configurator::DummyConfigurator*>(holder.get());
    ASSERT_NE(dummy, nullptr);
    holder->configure();
    holder->configureSources();
    holder->prepareAvailablePackagesList({"zanth-core"});
    EXPECT_EQ(holder->createInstaller(nullptr), nullptr);
    EXPECT_EQ(holder->getAvailablePackage("zanth-core"), nullptr);
    EXPECT_EQ(holder->checkConfiguration(), "");
    holder->removeTemporarySources();
    holder->finish();
}

TEST_F(AutoConfiguratorTest, ResetCleansUpTheOldOneOrLeavesTheHolderAsItWasWhenThatFails)
{
    driver::auto_configurator holder(new RecordingConfigurator(events, path), true);
    SystemSpecificConfigurator* first = holder.get();
    holder.reset(first);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(holder.get(), first);

    static_cast<RecordingConfigurator*>(first)->failRemoval = true;
    events_t spare;
    TempDir other;
    RecordingConfigurator* replacement = new RecordingConfigurator(spare, other / "other.list");
    EXPECT_EQ(caught([&] { holder.reset(replacement); }).getText(), "removal failed\n");
    EXPECT_EQ(holder.get(), first);
    EXPECT_EQ(events, (events_t{"remove temporary"}));
    delete replacement;

    static_cast<RecordingConfigurator*>(first)->failRemoval = false;
    events.clear();
    holder.reset(nullptr);
    EXPECT_EQ(events, (events_t{"remove temporary", "finish", "deleted"}));
    EXPECT_EQ(readWholeFile(path), "old");
    EXPECT_NE(dynamic_cast<driver::auto_configurator::DummyConfigurator*>(holder.get()), nullptr);
}

}  // namespace
