#include "installer/CustomerFeedback.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/error.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const std::string dir = "/var/quillfern";

// The flags live in a fixed system directory and the permission flags in the process: every case
// runs in a child over a fresh /var.
void inChild(const std::function<void()>& body)
{
    ChildOptions options;
    options.tmpfs = {"/var"};
    const ChildResult r = runChecksInChild(body, options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

std::vector<std::string> filesOf(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : boost::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CustomerFeedback, StateAndSendingFollowTheFlagFilesAndTheProcessFlags)
{
    inChild([] {
        mkdir(dir.c_str(), 0755);
        struct Case {
            bool enabledFile, disabledFile;
            int state;
            bool sendsInteractive;  // allowed, not a command-line run
        };
        const Case cases[] = {
            {false, false, CustomerFeedback::UNDECIDED, false},
            {true, false, CustomerFeedback::ENABLED, true},
            {false, true, CustomerFeedback::DISABLED, false},
            {true, true, CustomerFeedback::DISABLED, false},
        };
        auto setUp = [](const Case& c) {
            unlink((dir + "/feedback-enabled").c_str());
            unlink((dir + "/feedback-disabled").c_str());
            if (c.enabledFile)
                writeWholeFile(dir + "/feedback-enabled", "");
            if (c.disabledFile)
                writeWholeFile(dir + "/feedback-disabled", "");
        };
        EXPECT_TRUE(CustomerFeedback::isAllowed());
        for (const Case& c : cases) {
            setUp(c);
            SCOPED_TRACE(c.state);
            EXPECT_EQ(CustomerFeedback::getState(), c.state);
            EXPECT_EQ(CustomerFeedback::isEnabled(), c.state == CustomerFeedback::ENABLED);
            EXPECT_EQ(CustomerFeedback::isUndecided(), c.state == CustomerFeedback::UNDECIDED);
            EXPECT_EQ(CustomerFeedback::shouldSend(), c.sendsInteractive);
        }
        // A command-line run sends until the administrator refuses.
        CustomerFeedback::setNonInteractiveRun();
        for (const Case& c : cases) {
            setUp(c);
            SCOPED_TRACE(c.state);
            EXPECT_EQ(CustomerFeedback::shouldSend(), c.state != CustomerFeedback::DISABLED);
        }
        // The catalogue's refusal wins over everything.
        CustomerFeedback::setAllowed(false);
        EXPECT_FALSE(CustomerFeedback::isAllowed());
        for (const Case& c : cases) {
            setUp(c);
            EXPECT_FALSE(CustomerFeedback::shouldSend());
        }
    });
}

TEST(CustomerFeedback, EnablingAndDisablingLeaveExactlyOneFlag)
{
    inChild([] {
        // The directory is made when missing, with mode 0755.
        CustomerFeedback::setEnabled(true);
        struct stat info;
        ASSERT_EQ(stat(dir.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0755u);
        CustomerFeedback::setEnabled(true);
        EXPECT_EQ(filesOf(dir), std::vector<std::string>{"feedback-enabled"});
        ASSERT_EQ(stat((dir + "/feedback-enabled").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(info.st_size, 0);
        EXPECT_EQ(CustomerFeedback::getState(), CustomerFeedback::ENABLED);

        CustomerFeedback::setEnabled(false);
        EXPECT_EQ(filesOf(dir), std::vector<std::string>{"feedback-disabled"});
        EXPECT_EQ(CustomerFeedback::getState(), CustomerFeedback::DISABLED);
        CustomerFeedback::setEnabled(true);
        EXPECT_EQ(filesOf(dir), std::vector<std::string>{"feedback-enabled"});
    });
}

TEST(CustomerFeedback, APlainFileInPlaceOfTheDirectoryFailsWithTheFileError)
{
    inChild([] {
        writeWholeFile(dir, "not a directory");
        for (bool enabled : {true, false}) {
            const error e = caught([enabled] { CustomerFeedback::setEnabled(enabled); });
            EXPECT_EQ(e.getText(), "Failed to open the file " + dir + "/feedback-" +
                                       (enabled ? "enabled" : "disabled") + " for writing: Not a directory.\n");
        }
        EXPECT_EQ(readWholeFile(dir), "not a directory");
        EXPECT_EQ(CustomerFeedback::getState(), CustomerFeedback::UNDECIDED);
        EXPECT_THROW(CustomerFeedback::setProduct("other"), boost::filesystem::filesystem_error);
        EXPECT_EQ(CustomerFeedback::getProduct(), "zanth");
    });
}

TEST(CustomerFeedback, ProductAndGroupAreStoredWithoutLineEndAndReadTrimmed)
{
    inChild([] {
        EXPECT_EQ(CustomerFeedback::getProduct(), "zanth");  // no file, not even the directory
        CustomerFeedback::setProduct("hosting panel");
        CustomerFeedback::setGroupId("group 42");
        EXPECT_EQ(readWholeFile(dir + "/feedback-product"), "hosting panel");
        EXPECT_EQ(readWholeFile(dir + "/feedback-group-id"), "group 42");
        EXPECT_EQ(CustomerFeedback::getProduct(), "hosting panel");

        const std::pair<std::string, std::string> cases[] = {
            {" \t\n  \r\n", "zanth"},
            {"", "zanth"},
            {"  \tpanel\n", "panel"},
            {"\vtwo words \f\r\n", "two words"},
        };
        for (const auto& c : cases) {
            writeWholeFile(dir + "/feedback-product", c.first);
            EXPECT_EQ(CustomerFeedback::getProduct(), c.second) << c.first;
        }
        // A shorter text replaces the whole file.
        CustomerFeedback::setGroupId("7");
        EXPECT_EQ(readWholeFile(dir + "/feedback-group-id"), "7");
        unlink((dir + "/feedback-product").c_str());
        mkdir((dir + "/feedback-product").c_str(), 0755);  // unreadable as a file
        EXPECT_EQ(CustomerFeedback::getProduct(), "zanth");
    });
}

}  // namespace
