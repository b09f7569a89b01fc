#include "installer/TimeReport.h"

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/fileops.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCatalogue.h"

namespace {

const std::string DIRECTORY = "/var/log/zanth/install";
const std::string FILE = DIRECTORY + "/kw_action_time.xml";

// The statistics file as python3's ElementTree reads it: one line per element, its tag and its
// attributes in document order, the timestamps replaced by "TS" once they have the basic ISO form.
std::string records(const std::string& path = FILE)
{
    const std::string script =
        "import sys, re, xml.etree.ElementTree as ET\n"
        "for e in ET.parse(sys.argv[1]).getroot().iter():\n"
        "    a = ' '.join('%s=%s' % (k, 'TS' if k == 'timestamp' and "
        "re.fullmatch(r'\\d{8}T\\d{6}', v) else v) for k, v in e.attrib.items())\n"
        "    print((e.tag + ' ' + a).strip())\n";
    writeWholeFile("/tmp/records.py", script);
    return shellOutput("python3 /tmp/records.py '" + path + "' 2>&1");
}

// Runs the checks in a child whose /var/log is a private tmpfs holding the log directory.
void inLogDirectory(const std::function<void()>& checks, bool makeDirectory = true)
{
    ChildOptions options;
    options.tmpfs = {"/var/log", "/tmp"};
    const ChildResult result = runChecksInChild(
        [&] {
            if (makeDirectory)
                fileops::create_directory(DIRECTORY);
            checks();
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

class TimeReportTest : public ComponentForestTest {
protected:
    // A component of the forest in that mode with that request.
    void add(const std::string& name, KwComponent::install_mode_t mode, request_mode_t request)
    {
        const boost::shared_ptr<KwComponent> made = component(name, mode);
        made->setRequest(request);
        manager.roots.push_back(made);
    }

    void report(bool success = true)
    {
        TimeReport record;
        record.report(&*catalogue, &manager, success);
    }

    TestCatalogue catalogue;
};

TEST_F(TimeReportTest, FreshInstallationRecordsTheNewReleaseAndEachChangedComponent)
{
    catalogue->selectRelease("zanth", "z18");
    add("base", KwComponent::INSTALL, REQ_INSTALL);
    add("mail", KwComponent::UPGRADE, REQ_INSTALL);
    add("web", KwComponent::UP2DATE, REQ_REMOVE);
    add("dns", KwComponent::UP2DATE, REQ_LEAVE);
    add("spam", KwComponent::INSTALL, REQ_LEAVE);
    inLogDirectory([&] {
        report();
        EXPECT_EQ(records(),
                  "reports\n"
                  "action version=1.0.0 timestamp=TS duration=0 status=success\n"
                  "release version= new_version=z18 mode=install\n"
                  "components\n"
                  "component name=zanth/base mode=I\n"
                  "component name=zanth/mail mode=U from=1.0 to=2.0\n"
                  "component name=zanth/web mode=R\n");
        EXPECT_EQ(shellOutput("xmllint --noout " + FILE + " 2>&1 && head -n 1 " + FILE),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n");
    });
}

TEST_F(TimeReportTest, ReleaseElementFollowsTheReleasesBetweenWhichTheRunMoved)
{
    struct Case {
        std::string installed;  // version of the key package
        std::string selected;
        bool componentChange;
        std::string release;
    } cases[] = {
        // The walk meets the higher release first, then the lower one first.
        {"17", "z18", false, "release version=z17 new_version=z18 mode=upgrade"},
        {"18", "z19b", false, "release version=z18 new_version=z19b mode=upgrade"},
        {"18", "z18", true, "release version=z18 mode=update"},
        {"18", "z18", false, "release version=z18 mode=up2date"},
        {"17", "", false, "release version=z17 mode=up2date"},
    };
    for (const Case& c : cases) {
        catalogue.install({{"kwt-zanth-core", c.installed}});
        catalogue->unselectAllReleases();
        if (!c.selected.empty())
            catalogue->selectRelease("zanth", c.selected);
        manager.roots.clear();
        if (c.componentChange)
            add("mail", KwComponent::INSTALL, REQ_INSTALL);
        inLogDirectory([&] {
            report(false);
            const std::string text = records();
            EXPECT_NE(text.find("status=failed\n" + c.release + "\n"), std::string::npos) << text;
        });
    }
}

TEST_F(TimeReportTest, RecordsAreAppendedOldestFirst)
{
    catalogue->selectRelease("zanth", "z18");
    inLogDirectory([&] {
        report(false);
        report(true);
        EXPECT_EQ(records(),
                  "reports\n"
                  "action version=1.0.0 timestamp=TS duration=0 status=failed\n"
                  "release version= new_version=z18 mode=install\n"
                  "components\n"
                  "action version=1.0.0 timestamp=TS duration=0 status=success\n"
                  "release version= new_version=z18 mode=install\n"
                  "components\n");
    });
}

TEST_F(TimeReportTest, TimestampIsTheLocalTimeInBasicForm)
{
    catalogue->selectRelease("zanth", "z18");
    ChildOptions options;
    options.tmpfs = {"/var/log"};
    options.env = {{"TZ", "XYZ-5:30"}};
    const ChildResult result = runChecksInChild(
        [&] {
            fileops::create_directory(DIRECTORY);
            const std::string before = shellOutput("date +%Y%m%dT%H%M%S");
            report();
            const std::string after = shellOutput("date +%Y%m%dT%H%M%S");
            std::smatch found;
            const std::string text = readWholeFile(FILE);
            ASSERT_TRUE(std::regex_search(text, found, std::regex("timestamp=\"(\\d{8}T\\d{6})\"")));
            EXPECT_LE(before.substr(0, 15), found[1].str());
            EXPECT_GE(after.substr(0, 15), found[1].str());
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST_F(TimeReportTest, NoRecordWithoutExactlyOneOrTwoReleasesOrWithoutTheLogDirectory)
{
    add("base", KwComponent::INSTALL, REQ_INSTALL);
    inLogDirectory([&] {
        LogFile log(2);
        report();
        EXPECT_TRUE(log.has("Unable to save time statistics to file - unexpected releases quantity"));
        EXPECT_FALSE(fileops::exists(FILE));
    });
    catalogue->selectRelease("zanth", "z18");
    inLogDirectory(
        [&] {
            LogFile log(2);
            report();
            EXPECT_TRUE(log.has("Unable to save time statistics: missed directory /var/log/zanth/install"));
        },
        false);
}

TEST_F(TimeReportTest, AFileThatHoldsNoListIsKeptAsideAndAnUnreadableOneIsLeftAlone)
{
    catalogue->selectRelease("zanth", "z18");
    for (const std::string broken : {"<reports><action>", "", "<?xml version=\"1.0\"?><other/>"}) {
        inLogDirectory([&] {
            writeWholeFile(FILE, broken);
            LogFile log(2);
            report();
            EXPECT_EQ(records(),
                      "reports\n"
                      "action version=1.0.0 timestamp=TS duration=0 status=success\n"
                      "release version= new_version=z18 mode=install\n"
                      "components\n");
            const std::string kept = shellOutput("ls " + DIRECTORY + " | grep broken");
            EXPECT_TRUE(std::regex_match(kept, std::regex("kw_action_time\\.xml\\.broken-\\d{8}T\\d{6}\n"))) << kept;
            EXPECT_EQ(readWholeFile(DIRECTORY + "/" + kept.substr(0, kept.size() - 1)), broken);
        });
    }
    inLogDirectory([&] {
        fileops::create_directory(FILE);
        LogFile log(2);
        report();
        EXPECT_TRUE(fileops::is_directory(FILE));
        EXPECT_EQ(shellOutput("ls " + DIRECTORY), "kw_action_time.xml\n");
        EXPECT_TRUE(
            log.has("Unable to save time statistics: cannot read /var/log/zanth/install/kw_action_time.xml: "
                    "/var/log/zanth/install/kw_action_time.xml is directory, xml file expected."));
    });
}

}  // namespace
