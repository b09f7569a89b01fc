#include "common/fileops.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace fs = boost::filesystem;

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool has_line(const std::string& text, const std::string& line)
{
    const std::vector<std::string> lines = lines_of(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Runs the body in a child whose console shows the log down to debug level.
ChildResult with_log(const std::function<int()>& body, const ChildOptions& options = ChildOptions())
{
    return runInChild(
        [&] {
            Log::consoleLevel = 3;
            return body();
        },
        options);
}

void expect_error(const error& e, int e_class, int e_rep, const std::string& text)
{
    EXPECT_EQ(e.getText(), text + "\n");
    EXPECT_EQ(e.e_class, e_class);
    EXPECT_EQ(e.e_rep, e_rep);
    EXPECT_EQ(e.e_sys, 1);
    EXPECT_EQ(e.e_supp, 2);
}

std::string text_of(const char* key, const std::string& first, const std::string& second = std::string())
{
    return format_message(Messages().get(key), first, second);
}

class FileopsTest : public ::testing::Test {
protected:
    TempDir temp;
    const std::string dir = temp.path();
};

TEST_F(FileopsTest, ExistsLooksOnlyAtLocalPaths)
{
    writeWholeFile(dir + "/file", "x");
    fs::create_directories(dir + "/http:");
    writeWholeFile(dir + "/http:/x", "x");
    fs::create_symlink(dir + "/nowhere", dir + "/dangling");

    const std::pair<std::string, bool> cases[] = {{dir + "/file", true},
                                                  {dir, true},
                                                  {dir + "/missing", false},
                                                  {dir + "/file/below", false},
                                                  {dir + "/dangling", false},
                                                  {dir + "/http://x", true},
                                                  {"http://" + dir + "/file", false},
                                                  {"ftp://" + dir + "/file", false},
                                                  {"", false}};
    for (const auto& c : cases)
        EXPECT_EQ(fileops::exists(c.first), c.second) << c.first;

    const ChildResult logged = with_log([&] {
        fileops::exists(dir + "/file");
        fileops::exists(dir + "/missing");
        fileops::exists("http://example.com/x");
        return 0;
    });
    EXPECT_TRUE(has_line(logged.err, "fileops::exists: " + dir + "/file - yes")) << logged.err;
    EXPECT_TRUE(has_line(logged.err, "fileops::exists: " + dir + "/missing - no"));
    EXPECT_TRUE(has_line(logged.err, "fileops::exists: http://example.com/xno (not local)"));
}

TEST_F(FileopsTest, TypesOfPaths)
{
    writeWholeFile(dir + "/file", "x");
    fs::create_directories(dir + "/sub");
    fs::create_symlink(dir + "/sub", dir + "/link_to_dir");
    fs::create_symlink(dir + "/file", dir + "/link_to_file");
    fs::create_symlink(dir + "/nowhere", dir + "/dangling");
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);

    struct Case {
        std::string path;
        bool directory;
        bool file;
    };
    const Case cases[] = {
        {dir + "/file", false, true},         {dir + "/sub", true, false},       {dir + "/link_to_dir", true, false},
        {dir + "/link_to_file", false, true}, {dir + "/dangling", false, false}, {dir + "/fifo", false, true},
        {"/dev/null", false, true},           {dir + "/missing", false, false},  {dir + "/file/below", false, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(fileops::is_directory(c.path), c.directory) << c.path;
        EXPECT_EQ(fileops::is_file(c.path), c.file) << c.path;
    }
}

TEST_F(FileopsTest, UnreadableStatusCountsAsMissing)
{
    fs::create_directories(dir + "/locked/sub");
    writeWholeFile(dir + "/locked/file", "x");
    fs::permissions(dir + "/locked", fs::owner_all);
    const std::string file = dir + "/locked/file";
    const std::string sub = dir + "/locked/sub";

    const ChildResult result = with_log([&] {
        if (setegid(65534) != 0 || seteuid(65534) != 0)
            return 10;
        std::cerr << "---\n";
        return (fileops::exists(file) ? 1 : 0) | (fileops::is_file(file) ? 2 : 0) |
               (fileops::is_directory(sub) ? 4 : 0);
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(has_line(result.err, "fileops::exists: " + file + " - no"));
    // is_directory reports the library's failure at debug level.
    EXPECT_NE(result.err.find("Permission denied"), std::string::npos) << result.err;
}

TEST_F(FileopsTest, SizeAndTime)
{
    writeWholeFile(dir + "/file", "12345");
    const time_t stamp = 1700000000;
    fs::last_write_time(dir + "/file", stamp);
    EXPECT_EQ(fileops::file_size(dir + "/file"), 5u);
    EXPECT_EQ(fileops::last_write_time(dir + "/file"), stamp);
    EXPECT_THROW(fileops::file_size(dir + "/missing"), fs::filesystem_error);
    EXPECT_THROW(fileops::last_write_time(dir + "/missing"), fs::filesystem_error);
}

TEST_F(FileopsTest, Remove)
{
    writeWholeFile(dir + "/file", "x");
    fs::create_directories(dir + "/empty");
    fs::create_directories(dir + "/full/inner");
    fs::create_symlink(dir + "/file", dir + "/link");
    fs::create_symlink(dir + "/nowhere", dir + "/dangling");

    fileops::remove(dir + "/missing");
    fileops::remove(dir + "/link");  // the link goes, its target stays
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir + "/link")));
    EXPECT_TRUE(fs::exists(dir + "/file"));
    fileops::remove(dir + "/file");
    fileops::remove(dir + "/empty");
    fileops::remove(dir + "/dangling");
    EXPECT_FALSE(fs::exists(dir + "/file"));
    EXPECT_FALSE(fs::exists(dir + "/empty"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir + "/dangling")));

    const error e = caught([&] { fileops::remove(dir + "/full"); });
    std::string library_text;
    try {
        fs::remove(dir + "/full");
    } catch (const fs::filesystem_error& failure) {
        library_text = failure.what();
    }
    EXPECT_NE(library_text.find("Directory not empty"), std::string::npos);
    expect_error(e, 4, 1, text_of("err_rmfile2", dir + "/full", library_text));
    EXPECT_TRUE(fs::exists(dir + "/full/inner"));

    const ChildResult logged = with_log([&] {
        fileops::remove(dir + "/missing");
        return 0;
    });
    EXPECT_TRUE(has_line(logged.err, "fileops::remove(" + dir + "/missing)"));
}

TEST_F(FileopsTest, RenameAndRemoveAll)
{
    writeWholeFile(dir + "/a", "content");
    fs::create_directories(dir + "/tree/x/y");
    writeWholeFile(dir + "/tree/x/f", "1");

    const ChildResult result = with_log([&] {
        fileops::rename(dir + "/a", dir + "/b");
        return fileops::remove_all(dir + "/tree") == 4 ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(readWholeFile(dir + "/b"), "content");
    EXPECT_FALSE(fs::exists(dir + "/tree"));
    EXPECT_TRUE(has_line(result.err, "fileops::rename(" + dir + "/a, " + dir + "/b)"));
    EXPECT_TRUE(has_line(result.err, "fileops::remove_all(" + dir + "/tree)"));

    EXPECT_THROW(fileops::rename(dir + "/missing", dir + "/c"), fs::filesystem_error);
}

TEST_F(FileopsTest, CopyReplacesTheTarget)
{
    std::string content;
    for (int i = 0; i < 300000; ++i)
        content += static_cast<char>(i * 7 + i / 251);
    writeWholeFile(dir + "/from", content);
    writeWholeFile(dir + "/to", "an older and longer text than nothing");

    const ChildResult result = with_log([&] {
        umask(022);
        const auto start = std::chrono::steady_clock::now();
        fileops::copy_file(dir + "/from", dir + "/to");
        return std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(100) ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(has_line(result.err, "fileops::copy_file(" + dir + "/from, " + dir + "/to)"));
    EXPECT_EQ(readWholeFile(dir + "/to"), content);
    struct stat info;
    ASSERT_EQ(stat((dir + "/to").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);

    writeWholeFile(dir + "/empty", "");
    fileops::copy_file(dir + "/empty", dir + "/to");
    EXPECT_EQ(fs::file_size(dir + "/to"), 0u);
}

TEST_F(FileopsTest, CopyRefusals)
{
    fs::create_directories(dir + "/sub");
    writeWholeFile(dir + "/from", "x");

    expect_error(caught([&] { fileops::copy_file(dir + "/missing", dir + "/to"); }), 4, 1,
                 text_of("err_copy1", dir + "/missing"));
    expect_error(caught([&] { fileops::copy_file(dir + "/sub", dir + "/to"); }), 4, 1,
                 text_of("err_copy2", dir + "/sub", dir + "/to"));
    EXPECT_FALSE(fs::exists(dir + "/to"));

    // Something puts the target back while the copy waits after removing it.
    writeWholeFile(dir + "/to", "old");
    std::thread intruder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        writeWholeFile(dir + "/to", "back again");
    });
    const error again = caught([&] { fileops::copy_file(dir + "/from", dir + "/to"); });
    intruder.join();
    expect_error(again, 4, 1, text_of("err_copy3", dir + "/from", dir + "/to"));
    EXPECT_EQ(readWholeFile(dir + "/to"), "back again");

    expect_error(caught([&] { fileops::copy_file(dir + "/from", dir + "/no/such/dir"); }), 4, 1,
                 text_of("err_filewrite1", dir + "/no/such/dir", strerror(ENOENT)));
}

TEST_F(FileopsTest, CopyDoesNotWriteThroughADanglingLink)
{
    writeWholeFile(dir + "/from", "new");
    fs::create_symlink(dir + "/planted", dir + "/to");
    fileops::copy_file(dir + "/from", dir + "/to");
    EXPECT_FALSE(fs::is_symlink(dir + "/to"));
    EXPECT_EQ(readWholeFile(dir + "/to"), "new");
    EXPECT_FALSE(fs::exists(dir + "/planted"));
}

TEST_F(FileopsTest, FailedCopyRaisesAndLeavesNoTarget)
{
    // A read that fails after the open succeeded.
    expect_error(caught([&] { fileops::copy_file("/proc/self/mem", dir + "/to"); }), 4, 1,
                 text_of("err_fileread2", "/proc/self/mem", strerror(EIO)));
    EXPECT_FALSE(fs::exists(dir + "/to"));

    // A disk that fills up: a tiny file system of its own in a private mount namespace.
    writeWholeFile(dir + "/big", std::string(1 << 20, 'b'));
    writeWholeFile(dir + "/small", "fits");
    fs::create_directories(dir + "/full");
    ChildOptions options;
    options.tmpfs = {dir + "/full"};
    const ChildResult result = runInChild(
        [&] {
            if (mount("tmpfs", (dir + "/full").c_str(), "tmpfs", MS_REMOUNT, "size=64k") != 0)
                return 10;
            try {
                fileops::copy_file(dir + "/big", dir + "/full/copy");
                return 1;
            } catch (const error& e) {
                const std::string expected = text_of("err_filewrite2", dir + "/full/copy", strerror(ENOSPC)) + "\n";
                if (e.getText() != expected || e.e_class != 4 || e.e_rep != 1 || e.e_sys != 1 || e.e_supp != 2) {
                    std::cerr << e.getText();
                    return 2;
                }
            }
            if (fileops::exists(dir + "/full/copy"))
                return 3;
            fileops::copy_file(dir + "/small", dir + "/full/copy");  // the space is free again
            return readWholeFile(dir + "/full/copy") == "fits" ? 0 : 4;
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.err;
}

TEST_F(FileopsTest, CreateDirectory)
{
    fs::create_directories(dir + "/a");
    writeWholeFile(dir + "/file", "x");

    const ChildResult result = with_log([&] {
        umask(022);
        if (fileops::create_directory(dir + "/a"))
            return 1;
        if (!fileops::create_directory(dir + "/a/b/c") || !fileops::create_directory(dir + "//x//y/"))
            return 2;
        return 0;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(has_line(result.err, "fileops::create_directory(" + dir + "/a)"));
    EXPECT_TRUE(fs::is_directory(dir + "/a/b/c"));
    EXPECT_TRUE(fs::is_directory(dir + "/x/y"));
    struct stat info;
    ASSERT_EQ(stat((dir + "/a/b").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_FALSE(fileops::create_directory(dir + "/a/b/c"));

    const std::string blocked = dir + "/file/d/e";
    const ChildResult failed = with_log([&] {
        const error e = caught([&] { fileops::create_directory(blocked); });
        std::cout << e.getText() << e.e_class << e.e_rep << e.e_sys << e.e_supp;
        return 0;
    });
    EXPECT_EQ(failed.out, text_of("err_mkdir", blocked, strerror(EEXIST)) + "\n4112");
    EXPECT_TRUE(has_line(
        failed.err, "Can't create directory " + blocked + ": error in create " + dir + "/file: " + strerror(EEXIST)))
        << failed.err;
}

TEST_F(FileopsTest, CreateEmptyFile)
{
    writeWholeFile(dir + "/old", "content");
    const ChildResult result = runInChild([&] {
        umask(0);
        fileops::create_empty_file(dir + "/old");
        fileops::create_empty_file(dir + "/new");
        return 0;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(fs::file_size(dir + "/old"), 0u);
    struct stat info;
    ASSERT_EQ(stat((dir + "/new").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_size, 0);

    expect_error(caught([&] { fileops::create_empty_file(dir + "/no/file"); }), 4, 2,
                 text_of("err_filewrite1", dir + "/no/file", strerror(ENOENT)));
}

TEST_F(FileopsTest, CreatePrivateFileReplacesWhateverStoodThere)
{
    writeWholeFile(dir + "/victim", "precious");
    fs::create_symlink(dir + "/victim", dir + "/link");
    writeWholeFile(dir + "/old", "content");
    for (const char* name : {"/link", "/old", "/new"}) {
        SCOPED_TRACE(name);
        const int fd = fileops::create_private_file(dir + name);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(write(fd, "x", 1), 1);
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
        EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_WRONLY);
        close(fd);
        struct stat info;
        ASSERT_EQ(lstat((dir + name).c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(readWholeFile(dir + name), "x");
    }
    EXPECT_EQ(readWholeFile(dir + "/victim"), "precious");

    expect_error(caught([&] { fileops::create_private_file(dir + "/no/file"); }), 4, 1,
                 text_of("err_filewrite1", dir + "/no/file", strerror(ENOENT)));
}

TEST_F(FileopsTest, SyncedCopy)
{
    const std::string content(10000, 'q');
    writeWholeFile(dir + "/from", content);
    writeWholeFile(dir + "/to", std::string(20000, 'o'));
    EXPECT_EQ(copy_file_synced(dir + "/from", dir + "/to"), 0);
    EXPECT_EQ(readWholeFile(dir + "/to"), content);

    expect_error(caught([&] { copy_file_synced(dir + "/missing", dir + "/to"); }), 4, 2,
                 text_of("err_fileread1", dir + "/missing", strerror(ENOENT)));
    expect_error(caught([&] { copy_file_synced(dir + "/from", dir + "/no/to"); }), 4, 2,
                 text_of("err_filewrite1", dir + "/no/to", strerror(ENOENT)));
    expect_error(caught([&] { copy_file_synced("/proc/self/mem", dir + "/to"); }), 4, 2,
                 text_of("err_fileread2", "/proc/self/mem", strerror(EIO)));
    expect_error(caught([&] { copy_file_synced(dir + "/from", "/dev/full"); }), 4, 2,
                 text_of("err_filewrite2", "/dev/full", strerror(ENOSPC)));
}

TEST(FileopsPathsTest, SplitPaths)
{
    struct Case {
        const char* path;
        const char* dir;
        const char* file;
    };
    const Case cases[] = {{"", "", ""},          {"name", "", "name"},
                          {"/name", "", "name"}, {"a/b/c", "a/b", "c"},
                          {"a/b/", "a/b", ""},   {"/", "", ""},
                          {"a//b", "a/", "b"},   {"/var/log/zanth/install", "/var/log/zanth", "install"}};
    for (const Case& c : cases) {
        EXPECT_EQ(fileops::dirname(c.path), c.dir) << c.path;
        EXPECT_EQ(fileops::path_dir(c.path), c.dir) << c.path;
        EXPECT_EQ(fileops::basename(c.path), c.file) << c.path;
        EXPECT_EQ(fileops::path_file(c.path), c.file) << c.path;
    }
}

TEST(FileopsPathsTest, TrailingCharacters)
{
    const std::pair<std::string, std::string> stripped[] = {
        {"a/b///", "a/b"}, {"///", ""}, {"", ""}, {"a/b", "a/b"}, {"/a//b/", "/a//b"}};
    for (const auto& c : stripped) {
        std::string text = c.first;
        fileops::strip_trailing(text, '/');
        EXPECT_EQ(text, c.second) << c.first;
    }
    const std::pair<std::string, std::string> ensured[] = {{"a/b", "a/b/"}, {"a/b/", "a/b/"}, {"", "/"}, {"//", "//"}};
    for (const auto& c : ensured) {
        std::string text = c.first;
        fileops::ensure_trailing(text, '/');
        EXPECT_EQ(text, c.second) << c.first;
    }
    std::string other = "x.";
    fileops::ensure_trailing(other, '.');
    fileops::strip_trailing(other, '/');
    EXPECT_EQ(other, "x.");
}

TEST_F(FileopsTest, FileContainsLine)
{
    const std::string path = dir + "/lines";
    writeWholeFile(path, "  alpha  \n\tbeta\r\n\n" + std::string(5000, 'z') + "\n gamma");
    const std::pair<const char*, bool> cases[] = {{"alpha", true},  {" beta\t", true}, {"gamma", true},
                                                  {"delta", false}, {"alph", false},   {"", true}};
    for (const auto& c : cases)
        EXPECT_EQ(file_contains_line(path.c_str(), c.first), c.second) << c.first;
    // Lines are compared in chunks of at most 4095 bytes, and the searched line is cut to that length.
    EXPECT_TRUE(file_contains_line(path.c_str(), std::string(4095, 'z').c_str()));
    EXPECT_TRUE(file_contains_line(path.c_str(), std::string(5000 - 4095, 'z').c_str()));
    EXPECT_TRUE(file_contains_line(path.c_str(), std::string(6000, 'z').c_str()));
    EXPECT_FALSE(file_contains_line(path.c_str(), std::string(4000, 'z').c_str()));

    expect_error(caught([&] { file_contains_line((dir + "/missing").c_str(), "x"); }), 4, 1,
                 text_of("err_fileread1", dir + "/missing", strerror(ENOENT)));
    expect_error(caught([&] { file_contains_line(dir.c_str(), "x"); }), 4, 1,
                 text_of("err_fileread2", dir, strerror(EISDIR)));
}

std::vector<std::string> home_dir_log(const std::string& log)
{
    std::vector<std::string> lines;
    for (const std::string& line : lines_of(log))
        if (line.compare(0, 19, "DEBUG: get_home_dir") == 0)
            lines.push_back(line);
    return lines;
}

// The password database is replaced in the child only: a file bind-mounted over /etc/passwd in a
// private mount namespace, or a whole root of its own.
class HomeDirTest : public FileopsTest {
protected:
    ChildResult home_dir_in_child(const std::string& passwd, uid_t euid = 0)
    {
        writeWholeFile(dir + "/passwd", passwd);
        ChildOptions options;
        options.binds = {{dir + "/passwd", "/etc/passwd"}};
        return with_log(
            [euid] {
                if (euid != 0 && seteuid(euid) != 0)
                    return 10;
                const std::string first = get_home_dir();
                std::cerr << "--- second call\n";
                const std::string second = get_home_dir();
                std::cout << first;
                return first == second ? 0 : 1;
            },
            options);
    }
};

TEST_F(HomeDirTest, FirstEntryOfTheEffectiveUserIsTakenOnce)
{
    const ChildResult result = home_dir_in_child(
        "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
        "admin:x:0:0:first:/srv/admin home:/bin/sh\n"
        "root:x:0:0:root:/root:/bin/bash\n");
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "/srv/admin home");
    const std::vector<std::string> log = home_dir_log(result.err);
    ASSERT_EQ(log.size(), 5u) << result.err;
    EXPECT_EQ(log[0], "DEBUG: get_home_dir: myUID=0");
    const std::string entry = "DEBUG: get_home_dir: passwdLine=0x";
    EXPECT_EQ(log[1].compare(0, entry.size(), entry), 0) << log[1];
    EXPECT_EQ(log[2].compare(0, entry.size(), entry), 0) << log[2];
    EXPECT_EQ(log[3], "DEBUG: get_home_dir: passwdLine not NULL, get value /srv/admin home");
    EXPECT_EQ(log[4], "DEBUG: get_home_dir: return /srv/admin home");
    // The second call walks nothing.
    EXPECT_EQ(home_dir_log(result.err.substr(result.err.find("--- second call\n"))).size(), 0u);
}

TEST_F(HomeDirTest, LongHomeIsCut)
{
    const std::string home = "/" + std::string(5000, 'h');
    const ChildResult result = home_dir_in_child("root:x:0:0:root:" + home + ":/bin/sh\n");
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, home.substr(0, 4095));
}

TEST_F(HomeDirTest, UnlistedUserFallsBackToRoot)
{
    const ChildResult result = home_dir_in_child("root:x:0:0:root:/root:/bin/sh\n", 4242);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "/root");
    const std::vector<std::string> log = home_dir_log(result.err);
    // Name services after the files may list further entries; the walk ends with the null entry.
    ASSERT_GE(log.size(), 5u) << result.err;
    const size_t n = log.size();
    EXPECT_EQ(log[0], "DEBUG: get_home_dir: myUID=4242");
    EXPECT_EQ(log[n - 3], "DEBUG: get_home_dir: passwdLine=0");
    EXPECT_EQ(log[n - 2], "DEBUG: get_home_dir: passwdLine is NULL, return /root");
    EXPECT_EQ(log[n - 1], "DEBUG: get_home_dir: return /root");
}

TEST_F(HomeDirTest, WithoutRootDirectoryTheFallBackIsSlash)
{
    // A root of its own with a password database and no /root.
    fs::create_directories(dir + "/newroot/etc");
    writeWholeFile(dir + "/newroot/etc/passwd", "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n");
    const std::string newroot = dir + "/newroot";
    const ChildResult result = with_log([&] {
        if (chroot(newroot.c_str()) != 0 || chdir("/") != 0)
            return 10;
        std::cout << get_home_dir();
        return 0;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "/");
    EXPECT_TRUE(has_line(result.err, "DEBUG: get_home_dir: passwdLine is NULL, return /")) << result.err;
}

}  // namespace
