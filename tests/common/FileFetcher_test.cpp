#include "common/FileFetcher.h"

#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/http_error.h"
#include "common/textutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

void noWait() {}

// The digest as md5sum prints it.
std::string md5sum(const std::string& path)
{
    return shellOutput("md5sum " + shell_quote(path)).substr(0, 32);
}

bool sameFiles(const std::string& a, const std::string& b)
{
    return system(("cmp -s " + shell_quote(a) + " " + shell_quote(b)).c_str()) == 0;
}

std::string binaryContent(size_t n)
{
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 977) % 256);
    return bytes;
}

class FileFetcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Downloader::setSecondSleeper(&noWait);
        Downloader::setRetryCount(1);
        ASSERT_EQ(mkdir((mirror / "p").c_str(), 0755), 0);
        writeWholeFile(mirror / "p/q.xml", binaryContent(300000));
    }
    void TearDown() override { Downloader::setSecondSleeper(nullptr); }

    size_t requests() const
    {
        std::istringstream lines(readWholeFile(log));
        std::string line;
        size_t n = 0;
        while (std::getline(lines, line))
            ++n;
        return n;
    }

    TempDir mirror;
    TempDir work;
    const std::string log = work / "requests.log";
    const std::string target = work / "target";
};

TEST_F(FileFetcherTest, ARemoteFileIsFetchedThroughATmpName)
{
    LoopbackServer server = LoopbackServer::files(mirror.path());
    FileFetcher fetcher(SourceUrl(server.url()), target);  // a "/" is added to the target
    EXPECT_EQ(fetcher.target_dir, target + "/");
    EXPECT_EQ(fetcher.sources, std::vector<std::string>{server.url()});

    const std::string local = fetcher.getFile("p/q.xml", md5sum(mirror / "p/q.xml"));
    EXPECT_EQ(local, target + "/p/q.xml");
    EXPECT_TRUE(sameFiles(local, mirror / "p/q.xml"));
    EXPECT_FALSE(fileops::exists(local + ".tmp"));

    // Without a checksum the file is fetched again, over the old one.
    writeWholeFile(mirror / "p/q.xml", "changed");
    EXPECT_EQ(fetcher.getFile("p/q.xml"), local);
    EXPECT_EQ(readWholeFile(local), "changed");
    EXPECT_FALSE(fileops::exists(local + ".tmp"));
}

TEST_F(FileFetcherTest, AFileWithTheExpectedChecksumIsNotFetchedAgain)
{
    LoopbackServer server = LoopbackServer::scripted(mirror.path(), log);
    const std::string md5 = md5sum(mirror / "p/q.xml");
    FileFetcher fetcher(SourceUrl(server.url()), target);
    fetcher.getFile("p/q.xml", md5);
    ASSERT_EQ(requests(), 1u);

    ChildOptions quiet_console;
    quiet_console.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    ChildResult r = runInChild(
        [&] {
            std::cout << fetcher.getFile("p/q.xml", md5);
            return 0;
        },
        quiet_console);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, target + "/p/q.xml");
    EXPECT_EQ(requests(), 1u);
    // The line ends as completed.
    EXPECT_NE(r.err.find(messages.get("download_file") + "p/q.xml: " + messages.get("download_completed") + "\n"),
              std::string::npos)
        << r.err;

    // A checksum in upper case never matches the computed one.
    std::string upper = md5;
    for (char& c : upper)
        c = static_cast<char>(toupper(c));
    EXPECT_THROW(fetcher.getFile("p/q.xml", upper), error);
    EXPECT_EQ(requests(), 2u);
}

TEST_F(FileFetcherTest, AChecksumMismatchKeepsTheTmpFileAndTheOldTarget)
{
    LoopbackServer server = LoopbackServer::files(mirror.path());
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((target + "/p").c_str(), 0755), 0);
    writeWholeFile(target + "/p/q.xml", "old");
    FileFetcher fetcher(SourceUrl(server.url()), target);
    const std::string wrong(32, '0');
    auto e = thrown<error>([&] { fetcher.getFile("p/q.xml", wrong); });
    ASSERT_TRUE(e);
    EXPECT_EQ(codes(*e), std::make_tuple(4, 1, 1, 2));
    EXPECT_EQ(e->getText(),
              format_message(messages.get("err_mk5check"), target + "/p/q.xml.tmp", wrong, md5sum(mirror / "p/q.xml")) +
                  "\n");
    EXPECT_TRUE(sameFiles(target + "/p/q.xml.tmp", mirror / "p/q.xml"));
    EXPECT_EQ(readWholeFile(target + "/p/q.xml"), "old");
}

TEST_F(FileFetcherTest, ANameReplacesThePathWithReservedCharactersReplaced)
{
    LoopbackServer server = LoopbackServer::files(mirror.path());
    FileFetcher fetcher(SourceUrl(server.url()), target);
    EXPECT_EQ(fetcher.getFile("p/q.xml", "", "a:b*c?d<e>f|g"), target + "/a_b_c_d_e_f_g");
    EXPECT_TRUE(sameFiles(target + "/a_b_c_d_e_f_g", mirror / "p/q.xml"));
}

TEST_F(FileFetcherTest, OffsetsAccumulateAndCopiesKeepTheirOwn)
{
    LoopbackServer server = LoopbackServer::scripted(mirror.path(), log);
    ASSERT_EQ(mkdir((mirror / "a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((mirror / "a/b").c_str(), 0755), 0);
    writeWholeFile(mirror / "a/b/f", "in a/b");
    FileFetcher fetcher(SourceUrl(server.url()), target);
    FileFetcher copy(fetcher);
    copy.setSubdirsOffset("a");
    copy.setSubdirsOffset("");
    copy.setSubdirsOffset("b/");
    EXPECT_EQ(copy.subdirs_offset, "a/b/");
    EXPECT_EQ(fetcher.subdirs_offset, "");
    EXPECT_NE(copy.getRenderer(), fetcher.getRenderer());

    EXPECT_EQ(copy.getFile("f"), target + "/a/b/f");
    EXPECT_EQ(readWholeFile(target + "/a/b/f"), "in a/b");
    EXPECT_NE(readWholeFile(log).find("\"target\": \"/a/b/f\""), std::string::npos);
}

TEST_F(FileFetcherTest, ALocalSourceIsReadInPlace)
{
    FileFetcher fetcher(SourceUrl(mirror.path()), target);
    EXPECT_EQ(fetcher.sources, std::vector<std::string>{mirror.path() + "/"});
    EXPECT_EQ(fetcher.getFile("p/q.xml", md5sum(mirror / "p/q.xml"), "ignored"), mirror / "p/q.xml");
    EXPECT_FALSE(fileops::exists(target));

    auto e = thrown<error>([&] { fetcher.getFile("p/missing.xml"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(codes(*e), std::make_tuple(4, 2, 1, 1));
    EXPECT_EQ(e->getText(), format_message(messages.get("err_misfile"), mirror / "p/missing.xml") + "\n");
    EXPECT_THROW(fetcher.getFile("p/q.xml", std::string(32, 'f')), error);
    EXPECT_TRUE(fileops::exists(mirror / "p/q.xml"));
}

TEST_F(FileFetcherTest, AFileMissingOnTheMirrorIsAnHttpError)
{
    LoopbackServer server = LoopbackServer::files(mirror.path());
    FileFetcher fetcher(SourceUrl(server.url()), target);
    auto e = thrown<http_error>([&] { fetcher.getFile("p/missing.xml"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 404);
    EXPECT_EQ(e->url, server.url() + "p/missing.xml");
    EXPECT_FALSE(fileops::exists(target + "/p/missing.xml"));
}

// A full disk: a small tmpfs over the target directory, in a child.
TEST_F(FileFetcherTest, AFullDiskLeavesNoTargetBehind)
{
    LoopbackServer server = LoopbackServer::files(mirror.path());
    writeWholeFile(mirror / "small.txt", "a small file");
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    ChildOptions options;
    options.tmpfs = {target};
    options.tmpfs_size = "64k";
    ChildResult r = runInChild(
        [&] {
            FileFetcher fetcher(SourceUrl(server.url()), target);
            // Larger than the disk: the transfer stops at the block that cannot be written.
            try {
                fetcher.getFile("p/q.xml");
                return 1;
            } catch (const error& e) {
                std::cout << e.getText() << "--\n";
            }
            if (fileops::exists(target + "/p/q.xml"))
                return 2;
            // A disk filled up: the file's only block fails when the file is closed.
            fileops::remove(target + "/p/q.xml.tmp");
            std::ofstream filler(target + "/filler", std::ios::binary);
            const std::string block(4096, 'x');
            while (filler.write(block.data(), block.size()) && filler.flush()) {
            }
            try {
                fetcher.getFile("small.txt");
                return 3;
            } catch (const error& e) {
                std::cout << e.getText() << "--\n";
            }
            return fileops::exists(target + "/small.txt") ? 4 : 0;
        },
        options);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, messages.get("err_no_space2") + "\n--\n" +
                         format_message(messages.get("err_filewrite2"), target + "/small.txt.tmp", strerror(ENOSPC)) +
                         "\n--\n");
}

// Names from a hostile mirror: a private tmpfs holds everything the fetcher writes, and a find over
// it shows what lies outside the target directory.
TEST_F(FileFetcherTest, NamesLeadingOutOfTheTargetAreRefused)
{
    LoopbackServer server = LoopbackServer::files(mirror.path());
    ASSERT_EQ(mkdir((mirror / "tmp").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((mirror / "a").c_str(), 0755), 0);
    for (const char* file : {"escape", "tmp/escape", "a/b", "x:y"})
        writeWholeFile(mirror / file, file);
    const std::string root = work / "root";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ChildOptions options;
    options.tmpfs = {root};
    const std::string target_dir = root + "/t1/t2/target";

    const ChildResult r = runChecksInChild(
        [&] {
            struct Case {
                const char* offset;
                const char* path;
                const char* name;
                const char* refused;  // the name in the message
            };
            const Case refused[] = {
                {"", "../../escape", "", "../../escape"},
                {"", "a/../../escape", "", "a/../../escape"},
                {"", "..", "", ".."},
                {"", "/tmp/escape", "", "/tmp/escape"},
                {"", "escape", "../../escape", "../../escape"},
                {"", "escape", "/tmp/escape", "/tmp/escape"},
                {"../", "escape", "", "../"},
                {"a/../..", "escape", "", "a/../.."},
                {"/tmp", "escape", "", "/tmp"},
            };
            for (const Case& c : refused) {
                FileFetcher fetcher(SourceUrl(server.url()), target_dir);
                const error e = caught([&] {
                    fetcher.setSubdirsOffset(c.offset);
                    fetcher.getFile(c.path, "", c.name);
                });
                EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 2)) << c.path;
                EXPECT_EQ(e.getText(),
                          format_message(messages.get("err_outside_dir"), c.refused, target_dir + "/") + "\n");
            }

            // Names that stay inside arrive where they always did.
            FileFetcher fetcher(SourceUrl(server.url()), target_dir);
            EXPECT_EQ(fetcher.getFile("a/./b"), target_dir + "/a/./b");
            EXPECT_EQ(readWholeFile(target_dir + "/a/b"), "a/b");
            EXPECT_EQ(fetcher.getFile("x:y"), target_dir + "/x_y");
            EXPECT_EQ(fetcher.getFile("p/q.xml"), target_dir + "/p/q.xml");
            EXPECT_TRUE(sameFiles(target_dir + "/p/q.xml", mirror / "p/q.xml"));
            EXPECT_EQ(fetcher.getFile("escape", "", "..x/y..z/..."), target_dir + "/..x/y..z/...");

            // Links planted at the ".tmp" name and at the final name are replaced, not written through.
            writeWholeFile(root + "/outside", "kept");
            EXPECT_EQ(symlink((root + "/outside").c_str(), (target_dir + "/escape.tmp").c_str()), 0);
            EXPECT_EQ(symlink((root + "/outside").c_str(), (target_dir + "/tmp").c_str()), 0);
            EXPECT_EQ(fetcher.getFile("escape"), target_dir + "/escape");
            EXPECT_EQ(fetcher.getFile("tmp/escape", "", "tmp"), target_dir + "/tmp");
            EXPECT_EQ(readWholeFile(root + "/outside"), "kept");
            for (const char* name : {"/escape", "/tmp"}) {
                struct stat status;
                ASSERT_EQ(lstat((target_dir + name).c_str(), &status), 0);
                EXPECT_TRUE(S_ISREG(status.st_mode)) << name;
            }
            EXPECT_EQ(readWholeFile(target_dir + "/escape"), "escape");
            EXPECT_EQ(readWholeFile(target_dir + "/tmp"), "tmp/escape");

            const std::string found = shellOutput("cd " + shell_quote(root) + " && find . -mindepth 1 | sort");
            EXPECT_EQ(found,
                      "./outside\n./t1\n./t1/t2\n./t1/t2/target\n./t1/t2/target/..x\n./t1/t2/target/..x/y..z\n"
                      "./t1/t2/target/..x/y..z/...\n./t1/t2/target/a\n./t1/t2/target/a/b\n"
                      "./t1/t2/target/escape\n./t1/t2/target/p\n./t1/t2/target/p/q.xml\n"
                      "./t1/t2/target/tmp\n./t1/t2/target/x_y\n");
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST_F(FileFetcherTest, ALocalSourceIsReadOnlyUnderItsDirectory)
{
    writeWholeFile(work / "secret", "outside the source");
    const std::string source_dir = mirror.path() + "/";
    FileFetcher fetcher(SourceUrl(mirror.path()), target);
    for (const char* path : {"../secret", "p/../../secret", "/etc/passwd"}) {
        const error e = caught([&] { fetcher.getFile(path); });
        EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 2)) << path;
        EXPECT_EQ(e.getText(), format_message(messages.get("err_outside_dir"), path, source_dir) + "\n");
    }
    const error e = caught([&] { fetcher.setSubdirsOffset(".."); });
    EXPECT_EQ(e.getText(), format_message(messages.get("err_outside_dir"), "..", source_dir) + "\n");
    EXPECT_EQ(fetcher.subdirs_offset, "");
    EXPECT_EQ(fetcher.getFile("p/./q.xml"), mirror / "p/./q.xml");
}

TEST(FileFetcherLogTest, TheNewFetcherNamesItsTargetAndSource)
{
    ChildResult r = runInChild([] {
        Log::consoleLevel = 2;
        FileFetcher fetcher(SourceUrl("http://mirror.invalid/dist/products.inf3"), "/var/tmp/kw");
        return 0;
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(
        r.err.find("FileFetcher new object: target_dir=/var/tmp/kw/, main_source_url=http://mirror.invalid/dist/\n"),
        std::string::npos)
        << r.err;
}

}  // namespace
