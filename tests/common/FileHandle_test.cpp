#include "common/FileHandle.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <type_traits>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "tests/support/ChildProcess.h"

namespace fs = boost::filesystem;

namespace {

static_assert(!std::is_nothrow_destructible<FileHandle>::value, "closing a handle may throw");

void expect_system_error(const error& e, const char* key, const std::string& path, int errno_value)
{
    EXPECT_EQ(e.getText(), format_message(Messages().get(key), path, strerror(errno_value)) + "\n");
    EXPECT_EQ(e.e_class, 4);
    EXPECT_EQ(e.e_rep, 1);
    EXPECT_EQ(e.e_sys, 1);
    EXPECT_EQ(e.e_supp, 2);
}

TEST(FileHandleTest, OpenFailuresNameTheDirection)
{
    const std::string missing = "/nonexistent-kw-dir/file";
    const std::pair<const char*, const char*> cases[] = {
        {"r", "err_fileread1"}, {"w", "err_filewrite1"}, {"r+", "err_fileread1"}, {"wb+", "err_filewrite1"}};
    for (const auto& c : cases) {
        try {
            FileHandle handle(missing, c.first);
            ADD_FAILURE() << c.first;
        } catch (const error& e) {
            expect_system_error(e, c.second, missing, ENOENT);
        }
    }
    try {
        FileHandle handle(-1, "descriptor -1", "r");
        ADD_FAILURE();
    } catch (const error& e) {
        expect_system_error(e, "err_fileread1", "descriptor -1", EBADF);
    }
}

TEST(FileHandleTest, WritesAndReads)
{
    const std::string path = (fs::temp_directory_path() / fs::unique_path("kw-handle-%%%%-%%%%")).string();
    {
        FileHandle out(path, "w");
        EXPECT_TRUE(out.for_writing);
        EXPECT_EQ(out.path, path);
        fputs("hello\n", out.file);
    }
    {
        FileHandle in(path, "r");
        EXPECT_FALSE(in.for_writing);
        char line[16] = "";
        ASSERT_NE(fgets(line, sizeof(line), in.file), nullptr);
        EXPECT_STREQ(line, "hello\n");
    }
    fs::remove(path);

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    {
        FileHandle out(ends[1], "pipe", "w");
        fputs("through the pipe", out.file);
    }
    char text[32] = "";
    EXPECT_EQ(read(ends[0], text, sizeof(text) - 1), 16);
    EXPECT_STREQ(text, "through the pipe");
    close(ends[0]);
}

TEST(FileHandleTest, FailedCloseThrows)
{
    // /dev/full takes the buffered text at fclose and refuses it there.
    try {
        FileHandle handle("/dev/full", "w");
        fputs("lost", handle.file);
    } catch (const error& e) {
        expect_system_error(e, "err_filewrite2", "/dev/full", ENOSPC);
        return;
    }
    ADD_FAILURE() << "no error from the close";
}

TEST(FileHandleTest, FailedCloseDuringUnwindingIsOnlyLogged)
{
    const ChildResult result = runInChild([] {
        Log::consoleLevel = 1;
        try {
            FileHandle handle("/dev/full", "w");
            fputs("lost", handle.file);
            throw std::runtime_error("the first failure");
        } catch (const std::runtime_error& e) {
            std::cout << e.what();
        }
        return 0;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "the first failure");
    error expected(4, 1, 1, 2);
    expected << format_message(Messages().get("err_filewrite2"), "/dev/full", strerror(ENOSPC));
    EXPECT_NE(result.err.find(expected.getFullText() + "\n"), std::string::npos) << result.err;
}

}  // namespace
