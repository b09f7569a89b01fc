#include "installer/ProductInf3FileGuard.h"

#include <unistd.h>

#include <csignal>
#include <memory>
#include <stdexcept>

#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/Progress.h"
#include "common/format_message.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;
const char* const GUARD_LINES = "build updates|ProductInf3FileGuard|" /* the warning */ "new product build";

// The guard's own lines of a run.
std::string guardLines(const LoggedRun& run)
{
    return linesMatching(run.log, GUARD_LINES);
}

std::string changed(const std::string& how)
{
    return "2 ProductInf3FileGuard destroyed. Build " + how + "\n";
}

class ProductInf3FileGuardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeWholeFile(mirror / "zanth.inf3", "<build_1/>\n");
        writeWholeFile(mirror / "addon.inf3", "<build_1 id=\"addon\"/>\n");
    }

    // A local source is read in place: a change of the mirror's file is a new build.
    FileFetcher local() const { return FileFetcher(SourceUrl(mirror.path() + "/"), target.path()); }

    // Under /var/tmp: children with private progress records get a /tmp of their own.
    TempDir mirror{"/var/tmp"};
    TempDir target{"/var/tmp"};
};

}  // namespace

TEST_F(ProductInf3FileGuardTest, AnUnchangedFileIsReportedInTheLogOnly)
{
    LoggedRun run = runLogged([this] {
        {
            ProductInf3FileGuard guard(local(), "zanth.inf3");
        }
        EXPECT_FALSE(ProductInf3FileGuard::newBuildAvailable);
        // The check leaves cancelling safe again.
        EXPECT_NO_THROW(Progress().markCancelUnsafe());
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(guardLines(run), changed("didn't change"));
}

TEST_F(ProductInf3FileGuardTest, ANewBuildIsAnnouncedOnceAndMarksEveryLaterCheck)
{
    LoggedRun run = runLogged([this] {
        {
            ProductInf3FileGuard addon(local(), "addon.inf3");
            ProductInf3FileGuard zanth(local(), "zanth.inf3");
            writeWholeFile(mirror / "zanth.inf3", "<build_1 revision=\"2\"/>\n");
            // zanth goes first and sees the change; addon's file is the same.
        }
        EXPECT_TRUE(ProductInf3FileGuard::newBuildAvailable);
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(guardLines(run), "0 " + messages.get("new_build_avail") + "\n" + changed("changed") + changed("changed"));
}

TEST_F(ProductInf3FileGuardTest, AServedFileIsFetchedAgainWithoutAProgressLine)
{
    LoopbackServer server = LoopbackServer::files(mirror.path());
    LoggedRun run = runLogged([this, &server] {
        FileFetcher fetcher(SourceUrl(server.url()), target.path());
        {
            ProductInf3FileGuard guard(fetcher, "zanth.inf3");
            writeWholeFile(mirror / "zanth.inf3", "<build_1 revision=\"2\"/>\n");
        }
        EXPECT_TRUE(ProductInf3FileGuard::newBuildAvailable);
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(guardLines(run), "0 " + messages.get("new_build_avail") + "\n" + changed("changed"));
    // Only the first fetch draws its progress.
    const size_t second = run.console.find("DEBUG: Mark cancel/stop operation as unsafe");
    ASSERT_NE(second, std::string::npos) << run.console;
    EXPECT_NE(run.console.substr(0, second).find("Downloading file zanth.inf3: 100%"), std::string::npos);
    EXPECT_EQ(run.console.find("Downloading file", second), std::string::npos) << run.console;
    EXPECT_EQ(readWholeFile(target / "zanth.inf3"), "<build_1 revision=\"2\"/>\n");
}

TEST_F(ProductInf3FileGuardTest, NoCheckWhileAnErrorUnwindsOrAfterAnActedOnSignal)
{
    LoggedRun run = runLogged(
        [this] {
            EXPECT_TRUE(thrown<std::runtime_error>([this] {
                ProductInf3FileGuard guard(local(), "zanth.inf3");
                writeWholeFile(mirror / "zanth.inf3", "<build_1 revision=\"2\"/>\n");
                throw std::runtime_error("the installation failed");
            }));
            // A guard made while an error is being handled still checks when that handling ends normally.
            try {
                throw std::runtime_error("handled");
            } catch (const std::runtime_error&) {
                ProductInf3FileGuard guard(local(), "addon.inf3");
            }

            ProductInf3FileGuard guard(local(), "zanth.inf3");
            writeWholeFile(mirror / "zanth.inf3", "<build_1 revision=\"3\"/>\n");
            Progress progress;
            progress.signalReceived(SIGTERM);
            EXPECT_TRUE(thrown<Progress::Interrupted>([&progress] { progress.checkInterrupted(); }));
            EXPECT_FALSE(ProductInf3FileGuard::newBuildAvailable);
        },
        privateProgressOptions());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(guardLines(run), changed("didn't change"));
}

TEST_F(ProductInf3FileGuardTest, AFailingCheckIsOneInfoLineAndChangesNothing)
{
    LoggedRun run = runLogged([this] {
        {
            ProductInf3FileGuard guard(local(), "zanth.inf3");
            remove((mirror / "zanth.inf3").c_str());  // the source lost the file
        }
        {
            ProductInf3FileGuard guard(local(), "addon.inf3");
            remove((mirror / "addon.inf3").c_str());
            ASSERT_EQ(symlink("/proc/self/mem", (mirror / "addon.inf3").c_str()), 0);  // unreadable
        }
        remove((mirror / "addon.inf3").c_str());
        writeWholeFile(mirror / "addon.inf3", "<build_1/>\n");
        EXPECT_NO_THROW(Progress().markCancelUnsafe());
        {
            // Cancelling is already unsafe: the check is not made, and cancelling stays unsafe.
            ProductInf3FileGuard guard(local(), "addon.inf3");
            writeWholeFile(mirror / "addon.inf3", "<build_1 revision=\"2\"/>\n");
        }
        EXPECT_TRUE(thrown<error>([] { Progress().markCancelUnsafe(); }));
        EXPECT_FALSE(ProductInf3FileGuard::newBuildAvailable);
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    // The lost file, the unreadable one, then the internal error of marking cancelling unsafe twice.
    const std::string prefix = "1 Error during checking for build updates at download site: ";
    const std::string lost = prefix + format_message(messages.get("err_misfile"), mirror / "zanth.inf3") + "\n" + "0 " +
                             messages.get("err_chk_md5") + (mirror / "addon.inf3") + "\n";
    const std::string lines = linesMatching(run.log, GUARD_LINES + std::string("|^") + messages.get("err_chk_md5"));
    ASSERT_EQ(lines.substr(0, lost.size()), lost) << lines;
    EXPECT_TRUE(boost::regex_match(lines.substr(lost.size()),
                                   boost::regex(prefix + "An internal error occured in Zanth Installer "
                                                         ".*Progress\\.cpp, line \\d+\\.\n")))
        << lines;
}

TEST_F(ProductInf3FileGuardTest, TheFileMustBeFetchedAndReadable)
{
    const error missing = caught([this] { ProductInf3FileGuard guard(local(), "absent.inf3"); });
    EXPECT_EQ(missing.getText(), format_message(messages.get("err_misfile"), mirror / "absent.inf3") + "\n");

    // A file that is there but cannot be read (even by root) gives no checksum.
    ASSERT_EQ(symlink("/proc/self/mem", (mirror / "mem.inf3").c_str()), 0);
    const error unreadable = caught([this] { ProductInf3FileGuard guard(local(), "mem.inf3"); });
    EXPECT_EQ(unreadable.getText(), format_message(messages.get("err_md5_pre"), mirror / "mem.inf3") + "\n");
    EXPECT_EQ(codes(unreadable), std::make_tuple(4, 1, 1, 2));
}
