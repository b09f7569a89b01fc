#include "installer/Detector.h"

#include <csignal>

#include <gtest/gtest.h>

#include "common/Progress.h"
#include "common/tinybind.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/thrown.h"

namespace {

// A detection description as the catalogue holds it.
class DetectorTest : public testing::Test {
protected:
    tinybind::element parse(const std::string& text)
    {
        EXPECT_TRUE(document.parse_text(text)) << text;
        return document.RootElement();
    }

    // What detecting over the parent's children gives, as "value|found".
    std::string detected(const std::string& parent)
    {
        bool found = true;
        const std::string value = Detecting::detect(parse(parent), found);
        return value + "|" + (found ? "found" : "not found");
    }

    tinybind::Document document;
};

// The lines that detections log.
std::string ownLines(const LoggedRun& run)
{
    return linesMatching(run.log, "^Execution of ");
}

}  // namespace

TEST_F(DetectorTest, DescriptionsThatCannotBeUsedAreRefused)
{
    const std::optional<tinybind::err> null = thrown<tinybind::err>([] { Detecting::Detector::create(nullptr); });
    ASSERT_TRUE(null);
    EXPECT_EQ(null->code, 0);
    EXPECT_EQ(null->message, "no element pointer");

    for (const char* missing : {"value-attr", "command-line"}) {
        const std::string text = std::string("<read-exec-xml-output ") +
                                 (std::string(missing) == "value-attr" ? "command-line='true'" : "value-attr='v'") +
                                 "/>";
        const std::optional<tinybind::err> e = thrown<tinybind::err>([&] { Detecting::Detector::create(parse(text)); });
        ASSERT_TRUE(e) << missing;
        EXPECT_EQ(e->code, 1);
        EXPECT_EQ(
            e->message.rfind(std::string("There is no attribute '") + missing + "' in element read-exec-xml-output", 0),
            0u)
            << e->message;
    }

    const error e = caught(
        [&] { Detecting::Detector::create(parse("<Read-Exec-Xml-Output command-line='true' value-attr='v'/>")); });
    EXPECT_EQ(e.getText(), "Unknown detection type 'Read-Exec-Xml-Output' has been occured\n");
    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));

    // The children are made as they are tried: a bad one before the finder stops the detection.
    const error early = caught([&] {
        detected(
            "<d><read-file path='/etc/os-release'/>"
            "<read-exec-xml-output command-line=\"printf '&lt;r v=&quot;1&quot;/&gt;'\" value-attr='v'/></d>");
    });
    EXPECT_EQ(early.getText(), "Unknown detection type 'read-file' has been occured\n");
}

TEST_F(DetectorTest, ReadsTheAttributeOfTheRootOfTheCommandsOutput)
{
    struct Case {
        const char* command;  // a shell command line, as an attribute value
        const char* expected;
    };
    const Case cases[] = {
        {"printf '&lt;?xml version=&quot;1.0&quot;?&gt;&lt;info version=&quot;7.4.33&quot;&gt;&lt;x/&gt;&lt;/info&gt;'",
         "7.4.33|found"},
        {"printf '&lt;info release=&quot;7.4&quot;/&gt;'", "|not found"},
        {"printf '&lt;info version=&quot;&quot;/&gt;'", "|not found"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(detected(std::string("<d><read-exec-xml-output value-attr='version' command-line=\"") + c.command +
                           "\"/></d>"),
                  c.expected)
            << c.command;
    EXPECT_EQ(detected("<d/>"), "|not found");
}

TEST_F(DetectorTest, TriesTheChildrenInOrderUntilOneFindsAValue)
{
    LoggedRun run = runLogged([&] {
        EXPECT_EQ(
            detected("<d>"
                     "<read-exec-xml-output command-line=\"printf '&lt;r/&gt;'\" value-attr='v'/>"
                     "<read-exec-xml-output command-line=\"printf '&lt;r v=&quot;second&quot;/&gt;'\" value-attr='v'/>"
                     "<read-exec-xml-output command-line=\"printf '&lt;r v=&quot;third&quot;/&gt;'\" value-attr='v'/>"
                     "<not-a-detector/>"
                     "</d>"),
            "second|found");
    });
    EXPECT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(ownLines(run), "");  // finding nothing is no failure
}

TEST_F(DetectorTest, FailuresAreLoggedWithTheOutputAndFindNothing)
{
    LoggedRun run = runLogged([&] {
        EXPECT_EQ(detected("<d><read-exec-xml-output command-line=\"printf 'half &lt;r v=&quot;1&quot;/&gt;'; exit 4\""
                           " value-attr='v'/></d>"),
                  "|not found");
        EXPECT_EQ(detected("<d><read-exec-xml-output command-line=\"printf 'plain text'\" value-attr='v'/></d>"),
                  "|not found");
        EXPECT_EQ(detected("<d><read-exec-xml-output command-line=\"printf '&lt;r v=&quot;1&quot;&gt;'\""
                           " value-attr='v'/></d>"),
                  "|not found");
        EXPECT_EQ(detected("<d><read-exec-xml-output command-line='no-such-command-kw' value-attr='v'/></d>"),
                  "|not found");
    });
    EXPECT_EQ(run.exit_code, 0) << run.out << run.console;
    const std::string lines = ownLines(run);
    EXPECT_TRUE(testing::internal::RE::PartialMatch(
        lines,
        "^3 Execution of printf 'half <r v=\"1\"/>'; exit 4 failed: The external command '[^']*' exited with "
        "non-zero status 4\\.[^\n]*\\. Output: half <r v=\"1\"/>\n"
        "3 Execution of printf 'plain text' failed: no XML root node in output\\. Output: plain text\n"
        "3 Execution of printf '<r v=\"1\">' failed: no XML root node in output\\. Output: <r v=\"1\">\n"
        "3 Execution of no-such-command-kw failed: [^\n]*no-such-command-kw[^\n]*\\. Output: \n$"))
        << lines;
}

TEST_F(DetectorTest, AStopRequestedMeanwhileIsNotSwallowed)
{
    // The stop is acted on once: a detection that took it for a failure would let the run go on.
    ChildResult r = runChecksInChild(
        [&] {
            Progress().signalReceived(SIGTERM);
            const std::optional<Progress::Interrupted> stop = thrown<Progress::Interrupted>([&] {
                detected(
                    "<d><read-exec-xml-output command-line=\"printf '&lt;r v=&quot;1&quot;/&gt;'\" "
                    "value-attr='v'/></d>");
            });
            ASSERT_TRUE(stop);
            EXPECT_EQ(stop->signal, SIGTERM);
        },
        privateProgressOptions());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}
