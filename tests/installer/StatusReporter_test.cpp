#include "installer/StatusReporter.h"

#include <string>

#include <gtest/gtest.h>

#include "common/Progress.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/XmlLint.h"
#include "tests/support/printed.h"

namespace {

const std::string DECLARATION = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

// An installer in another process: it records a stage and a step, then ends as `end` says.
void runInstaller(const std::function<void(Progress&)>& end)
{
    const ChildResult writer = runInChild([&end] {
        Progress progress;
        progress.stage(Progress::STAGE_RESOLV, 3);
        progress.step("deps", "Checking <dependencies> & more");
        progress.step("order", "Ordering packages");
        end(progress);
        return 0;
    });
    EXPECT_EQ(writer.exit_code, 0) << writer.err;
}

std::string xmlReply(int status, const std::string& message)
{
    Reporter::xmlOutput = true;
    Reporter::statusPrefix = "query_";
    const std::string reply = printed(StatusReporter(status, message));
    Reporter::xmlOutput = false;
    return reply;
}

// Each case in a private IPC namespace: the first reader finds no segment and makes it.
ChildResult inPrivateIpc(const std::function<void()>& checks)
{
    const ChildResult r = runChecksInChild(checks, privateProgressOptions());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    return r;
}

TEST(StatusReporterTest, NoInstallerSinceStartUp)
{
    inPrivateIpc([] {
        EXPECT_EQ(printed(StatusReporter(0, "Not running.")), "\nNot running.\n\n");
        // Stage and step are there with zeros and empty texts.
        const std::string reply = xmlReply(0, "Not running.");
        EXPECT_EQ(reply, DECLARATION +
                             "<kitwright status=\"query_ok\" error_message=\"Not running.\">\n"
                             "    <progress>\n"
                             "        <stage stage=\"0\" stage_n=\"0\" id=\"\" title=\"\" />\n"
                             "        <step step=\"0\" step_n=\"0\" id=\"\" title=\"\" />\n"
                             "    </progress>\n"
                             "</kitwright>\n\n");
        EXPECT_EQ(xmlProblems(reply), "");
    });
}

TEST(StatusReporterTest, AFailedRunShowsItsErrorBeforeItsProgress)
{
    const ChildResult r = inPrivateIpc([] {
        runInstaller([](Progress& progress) { progress.fail("Apt failed: <held> & broken"); });
        EXPECT_EQ(printed(StatusReporter(0, "Not running.")),
                  "\nNot running.\n\n"
                  "Kitwright failed: Apt failed: <held> & broken\n"
                  "\n"
                  "Overall progress: 2/4: - Resolving package\n"
                  "Current step: 2/3: - Ordering packages\n");
        // A status 1 reply still goes through the envelope alone: nothing on standard error.
        const std::string reply = xmlReply(1, "Locked.");
        EXPECT_EQ(reply, DECLARATION +
                             "<kitwright status=\"query_error\" error_message=\"Locked.\">\n"
                             "    <progress finished=\"true\" failed=\"true\">\n"
                             "        <error>Apt failed: &lt;held&gt; &amp; broken</error>\n"
                             "        <stage stage=\"2\" stage_n=\"4\" id=\"resolv\" "
                             "title=\"Resolving package\" />\n"
                             "        <step step=\"2\" step_n=\"3\" id=\"order\" title=\"Ordering packages\" />\n"
                             "    </progress>\n"
                             "</kitwright>\n\n");
        EXPECT_EQ(xmlProblems(reply), "");
    });
    EXPECT_EQ(r.err.find("ERROR: "), std::string::npos) << r.err;
}

TEST(StatusReporterTest, AFinishedRunKeepsItsLastStage)
{
    inPrivateIpc([] {
        runInstaller([](Progress& progress) { progress.finish(); });
        EXPECT_EQ(printed(StatusReporter(2, "Busy.")),
                  "\nBUSY: Busy.\n\n"
                  "Kitwright finished. \n"
                  "\n"
                  "Overall progress: 2/4: - Resolving package\n"
                  "Current step: 2/3: - Ordering packages\n");
        const std::string reply = xmlReply(2, "Busy.");
        EXPECT_EQ(xpath(reply,
                        "concat(/kitwright/@status, ' ', //progress/@finished, ' ', count(//progress/@failed), "
                        "' ', count(//error), ' ', //step/@id)"),
                  "query_busy true 0 0 order");
    });
}

}  // namespace
