#include "installer/ExtCatalogFeed.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/ProgramVersion.h"
#include "common/format_message.h"
#include "common/http_error.h"
#include "installer/ExtCatalogCurlFeedDownloader.h"
#include "installer/Options.h"
#include "tests/support/LogFile.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

using ExtCatalog::Feed;
using ExtCatalog::FeedItem;

// Answers a fixed text and records what it was asked for.
struct FixedDownloader : ExtCatalog::IFeedDownloader {
    explicit FixedDownloader(const std::string& text_) : text(text_) {}
    std::string download(const std::string& platform, const std::string& version,
                         const std::string& apiVersion) override
    {
        asked.push_back(platform + "|" + version + "|" + apiVersion);
        return text;
    }
    std::string text;
    std::vector<std::string> asked;
};

// code -> "name|url", for one comparison of a whole feed.
std::map<std::string, std::string> flat(const Feed::items_t& items)
{
    std::map<std::string, std::string> result;
    for (const auto& item : items)
        result[item.first] = item.second.name + "|" + item.second.download_url;
    return result;
}

std::string internalErrorText(const std::string& file, int line)
{
    return std::string("An internal error occured in Zanth Installer ") + ProgramVersion::version + ", revision " +
           ProgramVersion::revision + ", " + file + ", line " + std::to_string(line) + ".\n";
}

std::string itemWarning(const std::string& what)
{
    return format_message(messages.get("err_ext_catalog_feed_parse_item"), what);
}

TEST(ExtCatalogFeed, ReadsItemsInCodeOrderAndAsksForPlatformVersionAndApiV4)
{
    auto downloader = boost::make_shared<FixedDownloader>(R"([
        {"code": "wp", "name": "WordPress Toolkit", "download_url": "https://ext.example/wp.zip", "size": 5},
        {"code": "Zeta", "name": "Zeta", "download_url": "u2"},
        {"code": "a b", "name": "", "download_url": ""}
    ])");
    Feed feed(downloader);
    EXPECT_EQ(flat(feed.getPackages("unix", "18.0.61")),
              (std::map<std::string, std::string>{
                  {"Zeta", "Zeta|u2"}, {"a b", "|"}, {"wp", "WordPress Toolkit|https://ext.example/wp.zip"}}));
    EXPECT_EQ(downloader->asked, std::vector<std::string>{"unix|18.0.61|v4"});
    // Byte order: upper case first.
    EXPECT_EQ(feed.getPackages("unix", "1").begin()->first, "Zeta");
}

TEST(ExtCatalogFeed, SkipsBadItemsAndKeepsTheFirstOfTwoCodes)
{
    struct Case {
        const char* json;
        std::map<std::string, std::string> items;
        size_t warnings;
    };
    const Case cases[] = {
        {"[]", {}, 0},
        {"{}", {}, 0},
        // A root object of item objects reads like an array.
        {R"({"x": {"code": "c", "name": "n", "download_url": "u"}})", {{"c", "n|u"}}, 0},
        // Without "download_url" the item is skipped even with a code; a later one with the code counts.
        {R"([{"code": "c", "name": "first"}, {"code": "c", "name": "second", "download_url": "u"}])",
         {{"c", "second|u"}},
         1},
        {R"([{"name": "n", "download_url": "u"}])", {}, 1},
        {R"([{"code": "c", "download_url": "u"}])", {}, 1},
        {R"([{"code": "c", "name": "one", "download_url": "u1"}, {"code": "c", "name": "two", "download_url": "u2"}])",
         {{"c", "one|u1"}},
         1},
    };
    messages.get("download_ext_catalog_feed");  // the catalog exists before the log is read
    for (const Case& c : cases) {
        LogFile log;
        Feed feed(boost::make_shared<FixedDownloader>(c.json));
        EXPECT_EQ(flat(feed.getPackages("unix", "1")), c.items) << c.json;
        const std::vector<std::string> lines = log.lines();
        ASSERT_EQ(lines.size(), 1 + c.warnings) << c.json << "\n" << ::testing::PrintToString(lines);
        EXPECT_EQ(lines[0], messages.get("download_ext_catalog_feed"));
        for (size_t i = 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].rfind(itemWarning("").substr(0, 40), 0), 0u) << lines[i];
    }
}

TEST(ExtCatalogFeed, NamesTheReasonOfASkippedItemAtLevelTwo)
{
    Feed feed(boost::make_shared<FixedDownloader>(
        R"([{"code": "c", "name": "one", "download_url": "u1"}, {"code": "c", "name": "two", "download_url": "u2"}])"));
    {
        LogFile log(2);
        feed.getPackages("unix", "1");
        EXPECT_TRUE(log.has(itemWarning("duplicate of 'code' attribute has been detected")));
    }
    {
        LogFile log(1);
        feed.getPackages("unix", "1");
        EXPECT_EQ(log.lines(), std::vector<std::string>{messages.get("download_ext_catalog_feed")});
    }
}

TEST(ExtCatalogFeed, MalformedJsonIsASystemError)
{
    for (const char* text : {"", "[{\"code\": ", "not json", "[1, 2] x"}) {
        Feed feed(boost::make_shared<FixedDownloader>(text));
        error e = caught([&] { feed.getPackages("unix", "1"); });
        EXPECT_EQ(codes(e), std::make_tuple(4, 1, 1, 2)) << text;
        const std::string prefix = format_message(messages.get("err_ext_catalog_feed_parse"), "");
        EXPECT_EQ(e.getText().rfind(prefix.substr(0, prefix.size() - 1), 0), 0u) << e.getText();
        EXPECT_GT(e.getText().size(), prefix.size() + 1) << "the parser's reason is missing";
    }
    // The whole text: the catalog's sentence around the JSON reader's own reason.
    Feed trailing(boost::make_shared<FixedDownloader>("[{\"code\": \"c\"}]\n,"));
    EXPECT_EQ(caught([&] { trailing.getPackages("unix", "1"); }).getText(),
              "Failed to parse Extensions Catalog feed: <unspecified file>(2): garbage after data.\n");
}

TEST(ExtCatalogFeed, RefusesWhatItCannotWorkWith)
{
    EXPECT_EQ(caught([] { Feed feed{boost::shared_ptr<ExtCatalog::IFeedDownloader>()}; }).getText(),
              internalErrorText("installer/ExtCatalogFeed.cpp", 21));
    EXPECT_EQ(caught([] { Feed feed{std::string()}; }).getText(),
              internalErrorText("installer/ExtCatalogCurlFeedDownloader.cpp", 15));
    ExtCatalog::CurlFeedDownloader downloader("http://127.0.0.1:1/");
    struct Case {
        const char* platform;
        const char* version;
        const char* api;
        int line;
    };
    for (const Case& c : {Case{"", "", "", 20}, Case{"unix", "", "", 21}, Case{"unix", "1", "", 22}})
        EXPECT_EQ(caught([&] { downloader.download(c.platform, c.version, c.api); }).getText(),
                  internalErrorText("installer/ExtCatalogCurlFeedDownloader.cpp", c.line));
}

// The feed over HTTP, from a loopback server that serves it at api/v4/packages and logs each request.
class CurlFeedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Downloader::setRetryCount(1);
        Downloader::setSecondSleeper(&noWait);
        writeWholeFile(dir / "api/v4/packages", R"([{"code": "git", "name": "Git", "download_url": "u"}])");
    }
    void TearDown() override
    {
        Downloader::setSecondSleeper(nullptr);
        Downloader::setRetryCount(3);
    }
    static void noWait() {}

    TempDir dir;
    const std::string requests = dir / "requests.log";
    bool made = (boost::filesystem::create_directories(dir / "api/v4"), true);
    LoopbackServer server = LoopbackServer::scripted(dir.path(), requests);
};

TEST_F(CurlFeedTest, RequestsTheSamePathWithOrWithoutATrailingSlash)
{
    const std::string base = server.url();  // ends with "/"
    for (const std::string& url : {base, base.substr(0, base.size() - 1)}) {
        ExtCatalog::CurlFeedDownloader downloader(url);
        EXPECT_EQ(downloader.download("unix", "18.0.61+b/1", "v4"), readWholeFile(dir / "api/v4/packages"));
    }
    // The values go out as given, without escapes.
    const std::string target = "/api/v4/packages?platform=unix&version=18.0.61+b/1&kw-compatible";
    EXPECT_EQ(loggedRequestValues(requests, "target"), (std::vector<std::string>{target, target}));
}

TEST_F(CurlFeedTest, TheFeedOfAUrlReadsOverHttpAndLogsTheFeedUrl)
{
    LogFile log;
    EXPECT_EQ(flat(Feed(server.url()).getPackages("unix", "18.0")),
              (std::map<std::string, std::string>{{"git", "Git|u"}}));
    EXPECT_TRUE(log.has("Debug: download extension catalog feed: " + server.url() +
                        "api/v4/packages?platform=unix&version=18.0&kw-compatible"));
    EXPECT_EQ(loggedRequestValues(requests, "target"),
              std::vector<std::string>{"/api/v4/packages?platform=unix&version=18.0&kw-compatible"});
}

TEST_F(CurlFeedTest, TransferFailuresPassUnchanged)
{
    const std::string dead = "http://127.0.0.1:" + std::to_string(LoopbackServer::deadPort());
    EXPECT_TRUE(thrown<error>([&] { Feed(dead).getPackages("unix", "18.0"); }));
    // A missing feed is the mirror's HTTP failure, not a parse error.
    Feed missing(server.url() + "nothing-here");
    error e = caught([&] { missing.getPackages("unix", "18.0"); });
    EXPECT_EQ(e.getText().find(format_message(messages.get("err_ext_catalog_feed_parse"), "").substr(0, 20)),
              std::string::npos);
}

}  // namespace

namespace {

int waits = 0;
void countWait()
{
    ++waits;
}

// The feed over HTTP with the downloader's own retry rule, its waits counted instead of slept.
class CurlFeedFailureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        waits = 0;
        Downloader::setRetryCount(2);
        Downloader::setSecondSleeper(&countWait);
    }
    void TearDown() override
    {
        Downloader::setSecondSleeper(nullptr);
        Downloader::setRetryCount(3);
    }

    TempDir dir;
    const std::string requests = dir / "requests.log";
    LoopbackServer server = LoopbackServer::scripted(dir.path(), requests);
};

}  // namespace

TEST_F(CurlFeedFailureTest, AMissingFeedIsTheMirrorsHttpErrorWithoutRetries)
{
    const std::optional<http_error> e = thrown<http_error>([&] { Feed(server.url()).getPackages("unix", "18.0"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 404);
    EXPECT_EQ(e->url, server.url() + "api/v4/packages?platform=unix&version=18.0&kw-compatible");
    EXPECT_EQ(loggedRequestValues(requests, "target").size(), 1u);
    EXPECT_EQ(waits, 0);
}

TEST_F(CurlFeedFailureTest, ADeadServerIsRetriedWithTheDownloadersWaits)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(LoopbackServer::deadPort()) + "/feed";
    const std::optional<http_error> e = thrown<http_error>([&] { Feed(url).getPackages("unix", "18.0"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 0);  // no answer at all
    EXPECT_EQ(e->url, url + "/api/v4/packages?platform=unix&version=18.0&kw-compatible");
    EXPECT_EQ(waits, 3 + 7);  // the waits before the second and the third attempt
}

TEST(ExtCatalogFeedOverHttp, ReadsAServedFeedWithItsProgressLineAndLevels)
{
    TempDir dir;
    boost::filesystem::create_directories(dir / "api/v4");
    boost::filesystem::copy_file(std::string(KW_TEST_DATA_DIR) + "/extcatalog/feed.json", dir / "api/v4/packages");
    LoopbackServer server = LoopbackServer::files(dir.path());
    const std::string feedUrl = server.url() + "api/v4/packages?platform=unix&version=18.0.61&kw-compatible";
    ChildOptions options;
    options.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    LoggedRun run = runLogged(
        [&] {
            Log::statusLines = true;  // the transient progress lines show on the console too
            EXPECT_EQ(
                flat(Feed(server.url()).getPackages("unix", "18.0.61")),
                (std::map<std::string, std::string>{{"Zed", "Zed|z"},
                                                    {"backup", "Backup|https://ext.example/backup.zip?x=1&y=2"},
                                                    {"wp-toolkit", "WordPress Toolkit|https://ext.example/wp.zip"}}));
        },
        options);
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(linesMatching(run.log, "Extensions Catalog|extension catalog"),
              "0 " + messages.get("download_ext_catalog_feed") +
                  "\n"
                  "3 Debug: download extension catalog feed: " +
                  feedUrl +
                  "\n"
                  "2 " +
                  itemWarning("duplicate of 'code' attribute has been detected") +
                  "\n"
                  "2 " +
                  itemWarning("No such node (download_url)") + "\n");
    // The progress line names the feed and is never closed as a completed file.
    EXPECT_NE(run.console.find(messages.get("download_file") + feedUrl + ": "), std::string::npos) << run.console;
    EXPECT_EQ(run.console.find(messages.get("download_completed")), std::string::npos) << run.console;
}
