#include "installer/DownloadUrl.h"

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

std::string text(const std::vector<unsigned char>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class DownloadUrlTest : public ::testing::Test {
protected:
    TempDir dir;
    LoopbackServer server = LoopbackServer::scripted(dir.path(), dir / "requests.log");
};

TEST_F(DownloadUrlTest, ReturnsTheBodyEvenOfAnErrorPage)
{
    EXPECT_EQ(downloadUrl(server.url() + "bytes/1048576/icon").size(), 1048576u);
    EXPECT_EQ(text(downloadUrl(server.url() + "status/404/icon")), "scripted status\n");
}

TEST_F(DownloadUrlTest, ABodyLargerThanTheMemoryLimitIsRefused)
{
    auto e = thrown<error>([&] { downloadUrl(server.url() + "bytes/2000000/icon"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), messages.get("err_no_space2") + "\n");
    EXPECT_EQ(codes(*e), std::make_tuple(4, 1, 1, 2));
}

TEST_F(DownloadUrlTest, FailuresNameTheUrl)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(LoopbackServer::deadPort()) + "/icon";
    auto e = thrown<error>([&] { downloadUrl(url); });
    ASSERT_TRUE(e);
    EXPECT_EQ(codes(*e), std::make_tuple(4, 1, 1, 2));
    const std::string expected = format_message(messages.get("err_pkg_dwnld"), url, "");
    EXPECT_EQ(e->getText().substr(0, expected.size()), expected);

    e = thrown<error>([] { downloadUrl(""); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->e_class, 3);
    EXPECT_NE(e->getText().find("installer/DownloadUrl"), std::string::npos) << e->getText();
}

}  // namespace
