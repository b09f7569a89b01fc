#include "common/md5.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "common/sysutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

std::string digest_of(const std::string& data, size_t chunk)
{
    md5_context context;
    md5_init(context);
    for (size_t i = 0; i < data.size(); i += chunk)
        md5_update(context, data.data() + i, std::min(chunk, data.size() - i));
    char text[33];
    return md5_hex_digest(context, text);
}

// The test suite of RFC 1321, appendix A.5, fed whole and in chunks of every size up to 65 bytes.
TEST(Md5Test, Rfc1321Suite)
{
    const std::pair<std::string, std::string> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : suite) {
        EXPECT_EQ(digest_of(c.first, c.first.size() + 1), c.second) << c.first;
        for (size_t chunk = 1; chunk <= 65; ++chunk)
            ASSERT_EQ(digest_of(c.first, chunk), c.second) << c.first << " in chunks of " << chunk;
    }
}

TEST(Md5Test, HexDigestAllocatesWithoutBuffer)
{
    md5_context context;
    md5_init(context);
    md5_update(context, "abc", 3);
    char* text = md5_hex_digest(context, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "900150983cd24fb0d6963f7d28e17f72");
    std::free(text);
}

class Md5FileTest : public ::testing::Test {
protected:
    // The digest as md5sum prints it; empty when md5sum fails.
    static std::string md5sum(const std::string& path) { return shellOutput("md5sum '" + path + "'").substr(0, 32); }

    TempDir dir;
};

// Sizes around the 56-byte padding boundary and the 64-byte block, the 65536-byte read, and a few MB.
TEST_F(Md5FileTest, AgreesWithMd5sum)
{
    std::mt19937 random(1321);
    for (size_t size :
         {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 8191, 8192, 8193, 65535, 65536, 65537, 3 * 1024 * 1024 + 7}) {
        const std::string path = dir / ("f" + std::to_string(size));
        {
            std::ofstream out(path, std::ios::binary);
            for (size_t i = 0; i < size; ++i)
                out.put(static_cast<char>(random()));
        }
        const std::string expected = md5sum(path);
        char buffer[33];
        ASSERT_EQ(md5_file(path.c_str(), buffer), buffer);
        EXPECT_EQ(std::string(buffer), expected) << size;
        EXPECT_EQ(get_file_md5(path), expected) << size;

        char* allocated = md5_file(path.c_str(), nullptr);
        ASSERT_NE(allocated, nullptr);
        EXPECT_EQ(std::string(allocated), expected);
        std::free(allocated);
    }
}

TEST_F(Md5FileTest, UnreadableFilesGiveNoDigest)
{
    char buffer[33];
    const std::string missing = dir / "missing";
    errno = 0;
    EXPECT_EQ(md5_file(missing.c_str(), buffer), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(get_file_md5(missing), "");

    // Opened, but every read fails: no digest of the empty part that was read.
    errno = 0;
    EXPECT_EQ(md5_file(dir.path().c_str(), buffer), nullptr);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(get_file_md5("/proc/self/mem"), "");
}

}  // namespace
