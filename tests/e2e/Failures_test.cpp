// Installations that fail, from the generated mirror, inside a throw-away overlay of /: every failure
// ends with code 1 and leaves /etc/apt exactly as before the run (sha256sum over the tree), records a
// failed action only when the installer itself failed, files an error report when feedback is on, and
// shows in --query-status. A failing post-installation check is the exception the flow keeps: the run
// fails after the new configuration was committed.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/EndToEnd.h"
#include "tests/support/TempDir.h"

namespace {

const std::string ETC_APT = "/etc/apt";
const std::string REPORTS = "/var/quillfern/error-reports";

class Failures : public EndToEndTest {
protected:
    const std::string product = mirror.list("products", "id").front();
    const std::string older = mirror.release(product, 0).get<std::string>("id");
    const std::string tools = mirror.component(product, "tools").get_child("packages").front().second.data();

    struct Case {
        const char* what;
        std::vector<std::string> args;  // run with the mirror as source, unless `source` names another
        const char* message;            // the message key that the answer holds
        bool installerFailed;           // the installer itself failed: a failed action is recorded
        std::string source;
    };

    // On a server with the product installed, components are added to it; on a fresh one the release is
    // installed.
    std::vector<Case> cases(bool installed) const
    {
        const auto with = [&](const char* component) {
            return installed ? std::vector<std::string>{"add", product, "--components", component}
                             : std::vector<std::string>{"install", older, "--components", component};
        };
        return {
            {"an unknown component, named with a command word", with("no-such"), nullptr, false, ""},
            {"a pre-installation check that fails", with("precheck-fail"), "examine_unpassed", false, ""},
            {"an unreadable catalogue", with("tools"), nullptr, false, catalogue.path()},
            // Last: dpkg keeps the package unconfigured, which later runs would have to repair.
            {"a package whose configuration fails", with("failing"), nullptr, true, ""},
        };
    }

    void SetUp() override
    {
        EndToEndTest::SetUp();
        writeWholeFile(catalogue / "products.inf3", "<vendors><products><product id=");
        ASSERT_EQ(runKitwright({"--enable-feedback"}).exit_code, 0);
    }

    // Runs each case and checks what every failure leaves: code 1, /etc/apt as it was, the action record,
    // the filed report, the status query.
    void runCases(bool installed)
    {
        for (const Case& c : cases(installed)) {
            SCOPED_TRACE(c.what);
            const std::string before = treeFingerprint(ETC_APT);
            const std::string listBefore = readWholeFile(ETC_APT + "/sources.list.d/" + product + ".list");
            const int actions = lastRecordedAction().actions;
            const size_t reports = filesEndingWith(REPORTS, ".xml").size();

            std::vector<std::string> args = c.args;
            const ChildResult run = c.source.empty() ? kitwright(args) : [&] {
                args.push_back("--source");
                args.push_back(c.source + "/");
                return runKitwright(args);
            }();
            EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
            EXPECT_NE(run.out.find("ERROR: "), std::string::npos) << run.out;
            if (c.message) {
                EXPECT_TRUE(holdsMessage(run.out, c.message)) << run.out;
            }
            EXPECT_EQ(treeFingerprint(ETC_APT), before);
            if (installed) {
                EXPECT_EQ(readWholeFile(ETC_APT + "/sources.list.d/" + product + ".list"), listBefore);
            }

            RecordedAction action = lastRecordedAction();
            EXPECT_EQ(action.actions, actions + (c.installerFailed ? 1 : 0));
            if (c.installerFailed) {
                EXPECT_EQ(action.action["status"], "failed");
            }

            // The utility files the report after the run has ended.
            for (int i = 0; i < 100 && filesEndingWith(REPORTS, ".xml").size() == reports; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(filesEndingWith(REPORTS, ".xml").size(), reports + 1);

            const ChildResult status = runKitwright({"--query-status"});
            EXPECT_NE(status.out.find("Kitwright failed: "), std::string::npos) << status.out;
        }
    }

    TempDir catalogue;
};

TEST_F(Failures, OnAFreshServer)
{
    runCases(false);
    EXPECT_FALSE(dpkgStates({tools}).count(tools));
}

TEST_F(Failures, OnAServerWithTheProductInstalled)
{
    ASSERT_EQ(kitwright({"install", older, "--components", "tools"}).exit_code, 0);
    runCases(true);
    EXPECT_EQ(dpkgStates({tools})[tools], "ii " + mirror.debVersion(product, 0, tools));
}

// The check runs after the commit was marked: the run fails, and the packages and sources it installed
// stay.
TEST_F(Failures, APostInstallationCheckFailsAfterTheCommit)
{
    const std::vector<std::string> packages = {
        mirror.component(product, "postcheck-fail").get_child("packages").front().second.data()};
    const ChildResult run = kitwright({"install", older, "--components", "postcheck-fail"});
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    EXPECT_TRUE(holdsMessage(run.out, "examine_unpassed")) << run.out;
    EXPECT_EQ(dpkgStates(packages)[packages.front()], "ii " + mirror.debVersion(product, 0, packages.front()));
    EXPECT_NE(readWholeFile(ETC_APT + "/sources.list.d/" + product + ".list").find("signed-by="), std::string::npos);
    EXPECT_EQ(filesEndingWith(ETC_APT, ".kw_back"), std::vector<std::string>{});
    EXPECT_EQ(lastRecordedAction().action["status"], "success") << "the installer itself succeeded";
}

}  // namespace
