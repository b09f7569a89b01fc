// Signals and the "stop" command while the built program installs from the generated mirror, inside a
// throw-away overlay of /. The mirror's "prep-wait" component holds the installation in its "prep"
// action until the test releases it: SIGTERM and SIGINT end the run with code 2 and leave /etc/apt as
// it was and the lock free; SIGHUP ("stop") is ignored while installing; "stop --terminate" ends it.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/sysutils.h"
#include "common/textutils.h"
#include "tests/support/EndToEnd.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

const std::string ETC_APT = "/etc/apt";

class Interruptions : public EndToEndTest {
protected:
    const std::string product = mirror.list("products", "id").front();
    const std::string older = mirror.release(product, 0).get<std::string>("id");
    const boost::property_tree::ptree& wait = mirror.component(product, "prep-wait").get_child("prep_wait");
    const std::string marker = wait.get<std::string>("marker");
    const std::string release = wait.get<std::string>("release");

    // Runs the command that installs the waiting component in the background; once its "prep" action
    // has started, `during` runs (with the program's process id in $pid) and the prep is released.
    // Returns what the installing run printed and its exit code.
    ChildResult installInterrupted(const std::vector<std::string>& command, const std::string& during)
    {
        TempDir dir;
        std::vector<std::string> words = {kitwrightPath()};
        words.insert(words.end(), command.begin(), command.end());
        words.insert(words.end(), {"--components", "prep-wait", "--source", mirror.path() + "/"});
        const std::string script = shell_command(words) + " >" + dir / "out" + " 2>" + dir / "err" + " & pid=$!; " +
                                   "i=0; while [ ! -e " + shell_word(marker) +
                                   " ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done; " + during +
                                   "; sleep 0.5; touch " + shell_word(release) + "; wait $pid; echo $?";
        const ChildResult shell = runProgram("/bin/sh", {"-c", script}, programOptions());
        ChildResult run;
        run.exit_code = std::atoi(shell.out.c_str());
        run.out = readWholeFile(dir / "out");
        run.err = readWholeFile(dir / "err");
        return run;
    }

    void expectInterrupted(const ChildResult& run, const std::string& before)
    {
        EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
        EXPECT_NE(run.out.find(text("user_canceled")), std::string::npos) << run.out;
        EXPECT_EQ(treeFingerprint(ETC_APT), before);
        // The lock is free: the next run is not refused as busy.
        const ChildResult next = kitwright({"list"});
        EXPECT_EQ(next.exit_code, 0) << next.out;
        EXPECT_EQ(next.out.find(text("status_locked_by_another")), std::string::npos) << next.out;
    }
};

TEST_F(Interruptions, TerminationSignalsEndTheRun)
{
    for (const char* signal : {"TERM", "INT"}) {
        SCOPED_TRACE(signal);
        unlink(marker.c_str());
        unlink(release.c_str());
        const std::string before = treeFingerprint(ETC_APT);
        expectInterrupted(installInterrupted({"install", older}, std::string("kill -") + signal + " $pid"), before);
    }
}

TEST_F(Interruptions, StopIsIgnoredWhileInstallingUnlessItTerminates)
{
    const std::string program = shell_word(kitwrightPath());
    const ChildResult stopped = installInterrupted({"install", older}, program + " stop >/dev/null");
    EXPECT_EQ(stopped.exit_code, 0) << stopped.out << stopped.err;
    EXPECT_NE(stopped.err.find(text("install_ok")), std::string::npos) << stopped.out << stopped.err;

    const std::string prep = mirror.component(product, "prep-wait").get_child("packages").front().second.data();
    EXPECT_EQ(dpkgStates({prep})[prep], "ii " + mirror.debVersion(product, 0, prep));

    // Removed again, the component is added anew, and this time the stop terminates.
    ASSERT_EQ(kitwright({"remove", product, "--components", "prep-wait"}).exit_code, 0);
    unlink(marker.c_str());
    unlink(release.c_str());
    const std::string before = treeFingerprint(ETC_APT);
    expectInterrupted(installInterrupted({"add", product}, program + " stop --terminate >/dev/null"), before);
}

}  // namespace
