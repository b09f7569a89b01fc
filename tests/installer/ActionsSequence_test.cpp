#include "installer/ActionsSequence.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/tinybind.h"
#include "installer/Action_Execute.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

// A package whose property "dir" names a temporary directory, for sequences that note what ran there.
struct Fixture {
    Fixture() : package("zanth-web", "1.0")
    {
        package.setProperty("dir", dir.path());
        package.setProperty("tag", "web");
    }

    // The sequence of the "actions" element's text, loaded for the package.
    void load(ActionsSequence& sequence, const std::string& xml)
    {
        ASSERT_TRUE(document.parse_text(xml)) << xml;
        sequence.load(document.get_root(), &package);
    }

    TempDir dir;
    DebPackage package;
    tinybind::Document document;
};

// A child of no loaded kind: it counts as critical and throws what it is given.
class Throwing : public Action {
public:
    explicit Throwing(int kind) : kind(kind) {}
    void load(TiXmlElement*, const Package*) override {}
    int execute() override
    {
        if (kind == 0)
            throw std::runtime_error("broken");
        throw 7;
    }

    int kind;
};

}  // namespace

TEST(ActionsSequenceTest, ChildrenRunInOrderAndCriticalFailuresStop)
{
    Fixture f;
    ActionsSequence sequence;
    f.load(sequence,
           "<actions sequence='remove' displayname='Removing [tag]'>"
           "  <execute displayname='Stopping [tag]' program='/bin/false' command-line='' critical='false'/>"
           "  <execute program='/bin/sh' command-line=\"-c 'pwd > [dir]/where'\" working-dir='[dir]/sub'/>"
           "  <actions sequence='nested'>"
           "    <execute program='/bin/sh' command-line=\"-c 'echo [tag] >> [dir]/log'\"/>"
           "    <execute program='/bin/sh' command-line=\"-c 'exit 3'\" critical='False' context='c' arch='all'/>"
           "    <execute program='/bin/sh' command-line=\"-c 'echo never >> [dir]/log'\"/>"
           "  </actions>"
           "  <execute program='/bin/sh' command-line=\"-c 'echo never either >> [dir]/log'\"/>"
           "</actions>");
    EXPECT_EQ(sequence.getSequence(), "remove");
    EXPECT_EQ(sequence.displayname, "Removing web");
    EXPECT_TRUE(sequence.critical);
    fileops::create_directory(f.dir / "sub");

    LogFile log(2);
    // The nested sequence is one critical child: its failure ends the outer one.
    EXPECT_EQ(sequence.execute(), 768);
    EXPECT_EQ(readWholeFile(f.dir / "where"), f.dir / "sub\n");
    EXPECT_EQ(readWholeFile(f.dir / "log"), "web\n");
    EXPECT_TRUE(log.has("Stopping web"));
    EXPECT_TRUE(log.has("/bin/false  failed with error 256(0x00000100). Output: "));
    EXPECT_TRUE(log.has("Action 'Stopping web' failed with error 256(0x00000100)"));
    EXPECT_TRUE(log.has("/bin/sh -c 'exit 3' failed with error 768(0x00000300). Output: "));
    EXPECT_TRUE(log.has("Action '' failed with error 768(0x00000300)"));
    bool described = false;
    for (const std::string& line : log.lines())
        if (line.find("Package action: Execute, package: zanth-web, exec time: ") == 0 &&
            line.find(" sec. desc: program='/bin/sh', command-line='-c 'exit 3'', working-dir='', context='c', "
                      "arch='all', output=''") != std::string::npos)
            described = true;
    EXPECT_TRUE(described);
}

TEST(ActionsSequenceTest, FailuresOfChildrenBecomeResults)
{
    Fixture f;
    ActionsSequence empty;
    f.load(empty, "<actions sequence='remove'/>");
    EXPECT_EQ(empty.execute(), 0);

    // A child that throws gives -1; one that is not a loaded action counts as critical.
    ActionsSequence sequence;
    f.load(sequence,
           "<actions sequence='remove'>"
           "<execute program='/bin/sh' command-line=\"-c 'echo out; echo err >&amp;2; exit 1'\" critical='false'/>"
           "</actions>");
    sequence.addAction(new Throwing(0));
    sequence.addAction(new Throwing(1));
    LogFile log(2);
    EXPECT_EQ(sequence.execute(), -1);
    EXPECT_TRUE(log.has("/bin/sh -c 'echo out; echo err >&2; exit 1' failed with error 256(0x00000100). Output: out"));
    EXPECT_TRUE(log.has("STDERR:err"));
    EXPECT_TRUE(
        log.has("Error occured while performing action '" + std::string(typeid(Throwing).name()) + "': broken"));
    EXPECT_TRUE(log.has("Action '' failed with error -1(0xffffffff)"));
    EXPECT_FALSE(log.has("Error occured while performing action '" + std::string(typeid(Throwing).name()) +
                         "': unexpected error"));

    // A program that cannot start is a failure like any other.
    ActionsSequence missing;
    f.load(missing, "<actions sequence='remove'><execute program='[dir]/absent' command-line='x'/></actions>");
    EXPECT_EQ(missing.execute(), 127 << 8);
}

TEST(ActionsSequenceTest, LoadingRefusesWhatItCannotRun)
{
    Fixture f;
    {
        ActionsSequence sequence;
        const error e = caught([&] {
            f.load(sequence,
                   "<actions sequence='s'><execute program='/bin/sh' command-line=\"-c 'echo ran >> [dir]/log'\"/>"
                   "<run program='x' command-line='y'/></actions>");
        });
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_EQ(e.getText(), "Unable to parse 'action' element run \n");
        // What was loaded before stays and runs.
        EXPECT_EQ(sequence.execute(), 0);
        EXPECT_EQ(readWholeFile(f.dir / "log"), "ran\n");
    }
    const char* const refused[][2] = {
        {"<actions/>", "sequence"},
        {"<actions sequence='s'><execute command-line=''/></actions>", "program"},
        {"<actions sequence='s'><execute program='/bin/true'/></actions>", "command-line"},
        {"<actions sequence='s'><actions/></actions>", "sequence"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r[0]);
        ActionsSequence sequence;
        const std::optional<tinybind::err> e = thrown<tinybind::err>([&] { f.load(sequence, r[0]); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->code, 1);
        EXPECT_EQ(e->message.substr(0, e->message.find(" in element")),
                  "There is no attribute '" + std::string(r[1]) + "'");
    }
    const std::optional<tinybind::err> none =
        thrown<tinybind::err>([&] { ActionsSequence::createAction(nullptr, &f.package); });
    ASSERT_TRUE(none);
    EXPECT_EQ(none->code, 0);
}
