#include "common/Progress.h"

#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <csignal>
#include <iostream>
#include <string>
#include <thread>

#include <boost/exception_ptr.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Signals.h"
#include "tests/support/thrown.h"

namespace {

// The lock file and the segment are fixed names: every test runs in a child with its own /tmp and its
// own IPC namespace.
ChildOptions privateTmpAndIpc()
{
    ChildOptions options = privateProgressOptions();
    options.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    return options;
}

ProgressStatus snapshot()
{
    ProgressStatusGuard guard;
    return guard.data();
}

// Another process reads the segment by the offsets of the record (python ctypes, shmat).
std::string readRecordFromOtherProcess()
{
    return shellOutput(
        "/usr/bin/python3 -c '\n"
        "import ctypes, struct\n"
        "libc = ctypes.CDLL(None, use_errno=True)\n"
        "libc.shmat.restype = ctypes.c_void_p\n"
        "libc.shmat.argtypes = [ctypes.c_int, ctypes.c_void_p, ctypes.c_int]\n"
        "shmid = libc.shmget(0x4e7b0, 0, 0)\n"
        "raw = ctypes.string_at(libc.shmat(shmid, None, 0o10000), 20564)\n"
        "text = lambda offset, size: raw[offset:offset + size].split(b\"\\0\")[0].decode()\n"
        "print(*struct.unpack_from(\"II\", raw, 0), text(8, 80), text(88, 4096),\n"
        "      *struct.unpack_from(\"II\", raw, 4184), text(4192, 80), text(4272, 4096),\n"
        "      raw[8368], raw[8369], text(8370, 8096), sum(raw[16466:]), sep=\"|\")\n"
        "'");
}

TEST(ProgressTest, RecordIsSharedWithOtherProcessesAtItsOffsets)
{
    ChildResult r = runChecksInChild(
        [] {
            Progress progress;
            progress.stage(2, 5);
            for (int i = 1; i <= 7; ++i)
                progress.step("step" + std::to_string(i), "Step number " + std::to_string(i));
            const std::string title = Messages().get("progress_stage_resolv");
            EXPECT_EQ(readRecordFromOtherProcess(), "2|4|resolv|" + title + "|7|7|step7|Step number 7|0|0||0\n");

            // ipcs columns: key shmid owner perms bytes nattch status
            const std::string listing = shellOutput("ipcs -m | grep '^0x0004e7b0 '");
            char key[32], owner[32];
            int shmid = 0, perms = 0, attached = -1;
            long bytes = 0;
            const int fields =
                sscanf(listing.c_str(), "%31s %d %31s %o %ld %d", key, &shmid, owner, &perms, &bytes, &attached);
            ASSERT_EQ(fields, 6) << listing;
            EXPECT_EQ(perms, 0600);
            EXPECT_EQ(bytes, 20564);
            EXPECT_EQ(attached, 0);  // each access attaches and detaches

            progress.fail("It broke");
            EXPECT_EQ(readRecordFromOtherProcess(),
                      "2|4|resolv|" + title + "|7|7|step7|Step number 7|1|1|It broke|0\n");
            progress.finish();
            EXPECT_EQ(readRecordFromOtherProcess(),
                      "2|4|resolv|" + title + "|7|7|step7|Step number 7|1|0|It broke|0\n");
            progress.stage(4, 2);
            EXPECT_EQ(readRecordFromOtherProcess(),
                      "4|4|inst|" + Messages().get("install_start") + "|0|2|||0|0|It broke|0\n");
        },
        privateTmpAndIpc());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(ProgressTest, StagesStepsAndTextLimits)
{
    ChildResult r = runChecksInChild(
        [] {
            Log::consoleLevel = 3;
            Progress progress;
            const std::pair<unsigned, const char*> stages[] = {
                {0, "init"}, {1, "prep"}, {2, "resolv"}, {3, "download"}, {4, "inst"}};
            const char* const keys[] = {"progress_stage_init", "progress_stage_prep", "progress_stage_resolv",
                                        "progress_stage_download", "install_start"};
            for (const auto& stage : stages) {
                progress.stage(stage.first, 3);
                const ProgressStatus status = snapshot();
                EXPECT_EQ(status.stage, stage.first);
                EXPECT_EQ(status.stage_n, 4u);
                EXPECT_STREQ(status.stage_id, stage.second);
                EXPECT_EQ(std::string(status.stage_title), Messages().get(keys[stage.first]));
            }

            progress.step("first", "The first step");
            progress.stage(7, 0);  // unknown stage: numbers change, name and title stay
            ProgressStatus status = snapshot();
            EXPECT_EQ(status.stage, 7u);
            EXPECT_STREQ(status.stage_id, "inst");
            EXPECT_EQ(std::string(status.stage_title), Messages().get("install_start"));
            EXPECT_EQ(status.step, 0u);
            EXPECT_EQ(status.step_n, 0u);
            EXPECT_STREQ(status.step_id, "");

            progress.step(std::string(100, 'i'), std::string(5000, 't'));
            progress.fail(std::string(9000, 'e'));
            status = snapshot();
            EXPECT_EQ(std::string(status.step_id), std::string(79, 'i'));
            EXPECT_EQ(std::string(status.step_title), std::string(4095, 't'));
            EXPECT_EQ(std::string(status.error), std::string(8095, 'e'));
            EXPECT_EQ(status.step, 1u);
            EXPECT_EQ(status.step_n, 1u);
        },
        privateTmpAndIpc());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("Progress::stage: --- 2/4 (3 steps) " + Messages().get("progress_stage_resolv") + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Progress::stage: --- 7/4 (0 steps) " + Messages().get("install_start") + "\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("Progress::step: 1/3 The first step\n"), std::string::npos);
}

TEST(ProgressTest, WithoutSharedMemoryTheRecordIsPrivate)
{
    ChildResult r = runChecksInChild(
        [] {
            // A segment of another size under the key: shmget of the record fails (EINVAL).
            const int other = shmget(ProgressStatusGuard::key, 100, IPC_CREAT | 0600);
            ASSERT_GE(other, 0);
            Messages().getLocale();  // the catalog's creation logs lines of its own
            Log::consoleLevel = 3;
            Progress progress;
            progress.stage(1, 3);
            progress.step("s", "Step");
            const ProgressStatus status = snapshot();
            EXPECT_EQ(status.stage, 1u);
            EXPECT_EQ(status.step, 1u);
            EXPECT_STREQ(status.step_title, "Step");
            const char* bytes = static_cast<const char*>(shmat(other, nullptr, SHM_RDONLY));
            EXPECT_EQ(std::string(bytes, 100), std::string(100, '\0'));
        },
        privateTmpAndIpc());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    const std::string lines =
        "Error: Can't create/access to shm segment: Invalid argument\n"
        "Remove status reporter feature will unavailable.\n";
    EXPECT_EQ(r.err.find(lines + "Progress::stage: --- 1/4 (3 steps) " + Messages().get("progress_stage_prep")),
              r.err.find(lines))
        << r.err;
    EXPECT_NE(r.err.find(lines + "Progress::step: 1/3 Step\n" + lines), std::string::npos) << r.err;
}

// The signal number of the Interrupted that the safe point throws, or -1 when it does not throw.
int safePoint()
{
    try {
        Progress().checkInterrupted();
    } catch (const Progress::Interrupted& interrupted) {
        return interrupted.signal;
    }
    return -1;
}

TEST(ProgressTest, SighupWaitsUntilCancellingIsSafe)
{
    ChildResult r = runChecksInChild(
        [] {
            installProgressHandler();
            Progress progress;
            progress.markCancelUnsafe();
            raise(SIGHUP);
            EXPECT_FALSE(progress.mayStop());
            EXPECT_FALSE(progress.takeCancelRequest());
            EXPECT_EQ(safePoint(), -1);
            EXPECT_FALSE(snapshot().finished);
            progress.markCancelSafe();
            EXPECT_TRUE(progress.mayStop());
            EXPECT_EQ(safePoint(), SIGHUP);
            EXPECT_TRUE(progress.isInterrupted());
            EXPECT_EQ(safePoint(), -1);  // the run winds down until a new signal comes

            // SIGTERM replaces a pending SIGHUP and stops even an unsafe operation.
            progress.markCancelUnsafe();
            raise(SIGHUP);
            EXPECT_EQ(safePoint(), -1);
            raise(SIGTERM);
            EXPECT_EQ(safePoint(), SIGTERM);
        },
        privateTmpAndIpc());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(ProgressTest, SigtermRecordsTheFailureAndThrows)
{
    ChildResult r = runChecksInChild(
        [] {
            Log::consoleLevel = 2;
            installProgressHandler();
            Progress progress;
            progress.stage(3, 2);
            EXPECT_FALSE(progress.isInterrupted());
            raise(SIGINT);
            raise(SIGTERM);
            EXPECT_TRUE(progress.takeCancelRequest());  // once: a child or transfer is being stopped
            EXPECT_FALSE(progress.takeCancelRequest());
            const auto interrupted = thrown<Progress::Interrupted>([&] { progress.checkInterrupted(); });
            ASSERT_TRUE(interrupted) << "no interruption";
            EXPECT_EQ(interrupted->signal, SIGTERM);  // the last of the two
            EXPECT_EQ(interrupted->message(), Messages().get("user_canceled"));
            const ProgressStatus status = snapshot();
            EXPECT_TRUE(status.finished);
            EXPECT_TRUE(status.failed);
            EXPECT_EQ(std::string(status.error), Messages().get("user_canceled"));
            EXPECT_EQ(status.stage, 3u);
        },
        privateTmpAndIpc());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    const std::string line = Messages().get("Kitwright") +
                             " process has received termination signal and will stop working (signal number 15).\n";
    EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(line), r.err.rfind(line));
}

struct SignalWhileUnwinding {
    ~SignalWhileUnwinding() { raise(SIGTERM); }
};

TEST(ProgressTest, SignalDuringTheUnwindingIsNoNewRequest)
{
    ChildResult r = runChecksInChild(
        [] {
            Log::consoleLevel = 2;
            installProgressHandler();
            raise(SIGINT);
            try {
                SignalWhileUnwinding guard;
                Progress().checkInterrupted();
            } catch (const Progress::Interrupted& interrupted) {
                EXPECT_EQ(interrupted.signal, SIGINT);
            }
            EXPECT_EQ(safePoint(), -1);
            // Without an exception in flight a signal is a new request (the web interface passes an
            // interruption of its installation thread to its main thread this way).
            Progress().signalReceived(0);
            EXPECT_EQ(safePoint(), 0);
        },
        privateTmpAndIpc());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find(Messages().get("Kitwright") + " process has received termination signal and will stop "
                                                       "working.\n"),
              std::string::npos)
        << r.err;
}

TEST(ProgressTest, InterruptedIsRethrownOnAnotherThread)
{
    ChildResult r = runChecksInChild(
        [] {
            boost::exception_ptr stored;
            std::thread job([&stored] {
                Progress().signalReceived(SIGTERM);
                try {
                    Progress().checkInterrupted();
                } catch (...) {
                    stored = boost::current_exception();
                }
            });
            job.join();
            ASSERT_TRUE(stored);
            try {
                boost::rethrow_exception(stored);
            } catch (const Progress::Interrupted& interrupted) {
                EXPECT_EQ(interrupted.signal, SIGTERM);
            } catch (...) {
                ADD_FAILURE() << "stored as another type";
            }
        },
        privateTmpAndIpc());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(ProgressTest, MarkingUnsafeTwiceIsAnInternalError)
{
    ChildResult r = runChecksInChild([] {
        Log::consoleLevel = 3;
        Progress progress;
        progress.markCancelUnsafe();
        const error e = caught([&] { progress.markCancelUnsafe(); });
        EXPECT_EQ(e.e_class, 3);
        EXPECT_NE(e.getText().find(", common/Progress.cpp, line "), std::string::npos) << e.getText();
        progress.markCancelSafe();
        progress.markCancelUnsafe();
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("DEBUG: Mark cancel/stop operation as unsafe\nDEBUG: Mark cancel/stop operation as safe\n"
                         "DEBUG: Mark cancel/stop operation as unsafe\n"),
              std::string::npos)
        << r.err;
}

}  // namespace
