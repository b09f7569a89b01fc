#include "common/Lock.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Signals.h"
#include "tests/support/thrown.h"

namespace {

const char* const lock_path = "/tmp/zorv-installer.lock";

// The lock file is a fixed path: every test runs its checks in a child with its own /tmp.
void expectInPrivateTmp(const std::function<void()>& checks)
{
    ChildOptions options;
    options.tmpfs = {"/tmp"};
    options.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    const ChildResult r = runChecksInChild(checks, options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

// A second process that probes bytes 0, 1 and 2 with lockf and asks F_GETLK who holds byte 0.
std::string probeFromOtherProcess()
{
    return shellOutput(
        "/usr/bin/python3 -c '\n"
        "import fcntl, os, struct\n"
        "fd = os.open(\"/tmp/zorv-installer.lock\", os.O_WRONLY)\n"
        "def probe(b):\n"
        "    try:\n"
        "        fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB, 1, b)\n"
        "    except OSError:\n"
        "        return \"held\"\n"
        "    fcntl.lockf(fd, fcntl.LOCK_UN, 1, b)\n"
        "    return \"free\"\n"
        "query = struct.pack(\"hhqqi\", fcntl.F_WRLCK, 0, 0, 1, 0)\n"
        "t = struct.unpack(\"hhqqi\", fcntl.fcntl(fd, fcntl.F_GETLK, query))\n"
        "print(probe(0), probe(1), probe(2), t[4] if t[0] != fcntl.F_UNLCK else 0)\n"
        "'");
}

// A second process that takes `byte` and holds it for `seconds`; its pid is read once it holds it.
struct OtherHolder {
    OtherHolder(int byte, double seconds)
    {
        const std::string command =
            "exec /usr/bin/python3 -c '\n"
            "import fcntl, os, sys, time\n"
            "fd = os.open(\"/tmp/zorv-installer.lock\", os.O_WRONLY | os.O_CREAT, 0o600)\n"
            "fcntl.lockf(fd, fcntl.LOCK_EX, 1, " +
            std::to_string(byte) +
            ")\n"
            "print(os.getpid(), flush=True)\n"
            "time.sleep(" +
            std::to_string(seconds) + ")\n'";
        pipe = popen(command.c_str(), "r");
        char line[64] = "";
        if (pipe && fgets(line, sizeof(line), pipe))
            pid = atoi(line);
    }
    ~OtherHolder()
    {
        if (pid > 0)
            kill(pid, SIGTERM);
        if (pipe)
            pclose(pipe);
    }
    FILE* pipe = nullptr;
    pid_t pid = 0;
};

int lockFileDescriptors()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (const dirent* entry = readdir(dir)) {
        char target[256] = "";
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(link.c_str(), target, sizeof(target) - 1) > 0 && strcmp(target, lock_path) == 0)
            ++count;
    }
    closedir(dir);
    return count;
}

long lockFileSize()
{
    struct stat st;
    return stat(lock_path, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

TEST(LockTest, HeldByteRefusesOtherProcessesAndNamesTheHolder)
{
    expectInPrivateTmp([] {
        {
            Lock installer(0, false);
            EXPECT_EQ(Lock::test(0), 0);  // our own lock never conflicts with our request
            EXPECT_EQ(probeFromOtherProcess(), "held free free " + std::to_string(getpid()) + "\n");
            struct stat st;
            ASSERT_EQ(stat(lock_path, &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
        }
        EXPECT_EQ(probeFromOtherProcess(), "free free free 0\n");
        EXPECT_EQ(lockFileSize(), 0);
    });
}

TEST(LockTest, ByteHeldByAnotherProcess)
{
    expectInPrivateTmp([] {
        OtherHolder other(0, 30);
        ASSERT_GT(other.pid, 0);
        EXPECT_EQ(Lock::test(0), other.pid);
        EXPECT_EQ(Lock::test(1), 0);
        EXPECT_EQ(Lock::test(2), 0);
        const std::optional<error> refused = thrown<error>([] { Lock second(0, false); });
        ASSERT_TRUE(refused);
        EXPECT_EQ(codes(*refused), std::make_tuple(4, 2, 1, 1));
        EXPECT_EQ(refused->getText(), Messages().get("err_lock_locked") + "\n");
        {
            Lock unused(1, false);
            Lock status(2, false);
        }
        EXPECT_EQ(lockFileSize(), 0);
    });
}

TEST(LockTest, WaitingLockWaitsForTheOtherProcessThroughSignals)
{
    expectInPrivateTmp([] {
        OtherHolder other(2, 0.6);
        ASSERT_GT(other.pid, 0);
        // A handler without SA_RESTART, as the installer's own: the wait sees EINTR every 10 ms.
        interruptEvery(10000);
        const auto start = std::chrono::steady_clock::now();
        {
            Lock status(2, true);
            interruptEvery(0);
            EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
            EXPECT_EQ(Lock::test(2), 0);
        }
    });
}

TEST(LockTest, OneDescriptorWhileAnyLockLives)
{
    expectInPrivateTmp([] {
        std::optional<error> bad = thrown<error>([] { Lock::test(5); });
        ASSERT_TRUE(bad);
        EXPECT_EQ(codes(*bad), std::make_tuple(3, 1, 1, 3));
        EXPECT_EQ(bad->getText(), Messages().get("err_bad_semnum") + "\n");
        EXPECT_EQ(lockFileSize(), -1);  // refused before the file is opened

        bad = thrown<error>([] { Lock bad_byte(3, true); });
        ASSERT_TRUE(bad);
        EXPECT_EQ(codes(*bad), std::make_tuple(3, 1, 1, 3));
        EXPECT_EQ(bad->getText(), Messages().get("err_bad_semnum") + "\n");
        EXPECT_EQ(lockFileDescriptors(), 1);  // the open comes first and stays

        {
            Lock first(0, false);
            Lock same_byte(0, false);  // locks of one process do not exclude each other
            Lock status(2, true);
            EXPECT_EQ(lockFileDescriptors(), 1);
        }
        EXPECT_EQ(lockFileDescriptors(), 0);
        EXPECT_EQ(Lock::test(0), 0);
        EXPECT_EQ(lockFileDescriptors(), 1);  // the test leaves the file open for the next Lock
        {
            Lock again(0, false);
            EXPECT_EQ(probeFromOtherProcess().substr(0, 5), "held ");
        }
        EXPECT_EQ(lockFileDescriptors(), 0);
        EXPECT_EQ(lockFileSize(), 0);
    });
}

TEST(LockTest, UnopenableLockFile)
{
    expectInPrivateTmp([] {
        ASSERT_EQ(mkdir(lock_path, 0700), 0);
        const std::string text = format_message(Messages().get("err_lock_file"), lock_path, strerror(EISDIR));
        const std::function<void()> uses[] = {[] { Lock installer(0, false); }, [] { Lock::test(0); }};
        for (const auto& use : uses) {
            const std::optional<error> e = thrown<error>(use);
            ASSERT_TRUE(e);
            EXPECT_EQ(codes(*e), std::make_tuple(4, 1, 1, 2));
            EXPECT_EQ(e->getText(), text + "\n");
        }
    });
}

}  // namespace
