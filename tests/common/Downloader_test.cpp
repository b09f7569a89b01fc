#include "common/Downloader.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include <boost/make_shared.hpp>
#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/CurlDownloader.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/format_message.h"
#include "common/http_error.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

// The seconds the waits between attempts took; no test really waits.
int slept = 0;
void countSecond()
{
    ++slept;
}

// The scripted server's body of /bytes/N and the first bytes of its partial answers.
std::string pattern(size_t n)
{
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

// Records the texts a counter shows.
struct TextRecorder : ProgressValueObserver {
    explicit TextRecorder(Downloader::counter_t* counter_) : counter(counter_) {}
    void update() override
    {
        if (texts.empty() || texts.back() != counter->text)
            texts.push_back(counter->text);
    }
    Downloader::counter_t* counter;
    std::vector<std::string> texts;
};

std::string countdownText(const std::string& failure, int seconds)
{
    return format_message(messages.get("download_retry"), failure, seconds);
}

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        slept = 0;
        Downloader::setSecondSleeper(&countSecond);
        Downloader::setRetryCount(3);
    }
    void TearDown() override { Downloader::setSecondSleeper(nullptr); }

    std::unique_ptr<Downloader> make(const std::string& path, const std::vector<std::string>& mirrors, int retry_count)
    {
        Downloader::setRetryCount(retry_count);
        std::unique_ptr<Downloader> downloader = Downloader::create(path);
        for (const std::string& mirror : mirrors)
            downloader->addMirror(mirror);
        return downloader;
    }

    // The request targets the server saw, in order.
    std::vector<std::string> targets() const { return headerValues("target"); }

    std::vector<std::string> headerValues(const std::string& name) const { return loggedRequestValues(log, name); }

    // The exception of type E that a download into a string stream ends with.
    template <typename E>
    std::optional<E> failureOf(Downloader& downloader)
    {
        std::ostringstream out;
        return thrown<E>([&] { downloader.download(out); });
    }

    std::string deadMirror(const std::string& scheme = "http") const
    {
        return scheme + "://127.0.0.1:" + std::to_string(LoopbackServer::deadPort()) + "/";
    }

    TempDir dir;
    const std::string log = dir / "requests.log";
    LoopbackServer server = LoopbackServer::scripted(dir.path(), log);
};

TEST_F(DownloaderTest, NoMirrorsIsRefusedBeforeAnyTransfer)
{
    auto downloader = make("f", {}, 3);
    auto e = failureOf<error>(*downloader);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), messages.get("err_srcs_empty") + "\n");
    EXPECT_EQ(codes(*e), std::make_tuple(3, 1, 1, 3));
}

TEST_F(DownloaderTest, WritesAtTheStreamPositionAndCountsTheBytes)
{
    auto downloader = make("f.bin", {server.url() + "bytes/50000"}, 3);  // the "/" is added
    std::ostringstream out;
    out << "kept";
    downloader->download(out);
    EXPECT_EQ(out.str(), "kept" + pattern(50000));
    EXPECT_EQ(targets(), std::vector<std::string>{"/bytes/50000/f.bin"});
    EXPECT_EQ(downloader->progress->value, 50000u);
    EXPECT_EQ(downloader->progress->maximum, 50000u);
    EXPECT_EQ(downloader->retries->value, 0u);
    EXPECT_EQ(dynamic_cast<CurlDownloader&>(*downloader).peer, "127.0.0.1");
}

TEST_F(DownloaderTest, MirrorsTakeTurnsWithWaitsOf3And7And15Seconds)
{
    auto downloader = make("f", {server.url() + "status/500/", server.url() + "status/503/"}, 3);
    auto recorder = boost::make_shared<TextRecorder>(downloader->retries.get());
    downloader->retries->addObserver(recorder);
    auto e = failureOf<http_error>(*downloader);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 503);
    EXPECT_EQ(e->url, server.url() + "status/503/f");
    EXPECT_EQ(codes(*e), std::make_tuple(1, 2, 1, 2));
    const std::string curl_text = "The requested URL returned error: 503";
    EXPECT_EQ(e->getText(), format_message(messages.get("err_pkg_dwnld"), e->url + " (127.0.0.1)", curl_text) + "\n");
    EXPECT_EQ(targets(),
              (std::vector<std::string>{"/status/500/f", "/status/503/f", "/status/500/f", "/status/503/f"}));
    EXPECT_EQ(slept, 3 + 7 + 15);
    EXPECT_EQ(downloader->retries->value, 3u);

    // The countdown of each wait, an empty text before each retry, the last error at the end.
    std::vector<std::string> expected;
    const std::pair<const char*, int> waits[] = {{"500", 3}, {"503", 7}, {"500", 15}};
    for (const auto& wait : waits) {
        for (int s = wait.second; s >= 1; --s)
            expected.push_back(countdownText(std::string("The requested URL returned error: ") + wait.first, s));
        expected.push_back("");
    }
    expected.push_back(curl_text);
    EXPECT_EQ(recorder->texts, expected);
}

TEST_F(DownloaderTest, DeadHttpMirrorsGiveHttpErrorWithCodeZeroForTheLastUrl)
{
    const std::string first = deadMirror();
    const std::string second = deadMirror();
    auto downloader = make("p/f.xml", {first, second}, 1);
    auto e = failureOf<http_error>(*downloader);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 0);
    EXPECT_EQ(e->url, second + "p/f.xml");
    EXPECT_NE(e->getText().find(second + "p/f.xml (127.0.0.1)"), std::string::npos) << e->getText();
    EXPECT_EQ(slept, 3);
}

TEST_F(DownloaderTest, FtpMirrorsNeverDropAndGiveAPlainSystemError)
{
    const std::string first = deadMirror("ftp");
    const std::string second = deadMirror("ftp");
    auto downloader = make("f", {first, second}, 2);
    bool http = false;
    std::ostringstream out;
    auto e = thrown<error>([&] {
        try {
            downloader->download(out);
        } catch (const http_error&) {
            http = true;
            throw;
        }
    });
    ASSERT_TRUE(e);
    EXPECT_FALSE(http);
    EXPECT_EQ(codes(*e), std::make_tuple(4, 1, 1, 2));
    EXPECT_NE(e->getText().find(first + "f (127.0.0.1)"), std::string::npos) << e->getText();  // A, B, A
    EXPECT_EQ(slept, 3 + 7);
}

TEST_F(DownloaderTest, AMirrorAnswering404IsDroppedAndTheNextOneTried)
{
    auto downloader = make("f", {server.url() + "status/404/", server.url() + "bytes/1000/"}, 3);
    std::ostringstream out;
    downloader->download(out);
    EXPECT_EQ(out.str(), pattern(1000));
    EXPECT_EQ(targets(), (std::vector<std::string>{"/status/404/f", "/bytes/1000/f"}));
    EXPECT_EQ(slept, 3);
}

TEST_F(DownloaderTest, TheLastMirrorRefusingTheFileEndsAtOnce)
{
    for (const char* code : {"401", "403", "418"}) {
        slept = 0;
        auto downloader = make("f", {server.url() + "status/" + code + "/"}, 3);
        auto e = failureOf<http_error>(*downloader);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->code, std::stoi(code));
        EXPECT_EQ(slept, 0) << code;
    }
    EXPECT_EQ(targets().size(), 3u);
}

TEST_F(DownloaderTest, ASuccessShorterThanAnEarlierAttemptIsRefused)
{
    // The first answer breaks off after 1000 of 2000 bytes, the second is complete with 900.
    auto downloader = make("f", {server.url() + "shrinking/"}, 1);
    std::ostringstream out;
    auto e = thrown<http_error>([&] { downloader->download(out); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 200);
    EXPECT_EQ(e->getText(),
              format_message(messages.get("err_pkg_dwnld"), e->url + " (127.0.0.1)", "Unexpected size of file") + "\n");
    EXPECT_EQ(targets().size(), 2u);
    // The stream holds the last attempt over the longer tail of the first.
    EXPECT_EQ(out.str(), pattern(900) + pattern(1000).substr(900));
}

TEST_F(DownloaderTest, OneRedirectIsFollowed)
{
    auto downloader = make("f", {server.url() + "redirect/bytes/300/"}, 3);
    std::ostringstream out;
    downloader->download(out);
    EXPECT_EQ(out.str(), pattern(300));
    EXPECT_EQ(targets(), (std::vector<std::string>{"/redirect/bytes/300/f", "/bytes/300/f"}));

    auto twice = make("f", {server.url() + "redirect/redirect/bytes/300/"}, 1);
    EXPECT_TRUE(failureOf<http_error>(*twice));
}

TEST_F(DownloaderTest, CredentialsAreOfferedWhenTheServerAsks)
{
    auto downloader = make("f", {server.url() + "auth/user//"}, 1);
    downloader->setAuth("user", "");
    std::ostringstream out;
    downloader->download(out);
    EXPECT_EQ(out.str(), "authorised\n");
    // A user without a password is sent with the colon.
    EXPECT_EQ(headerValues("Authorization"), (std::vector<std::string>{"-", "Basic dXNlcjo="}));
}

TEST_F(DownloaderTest, TheRetryCountGoesOnAcrossDownloadsOfOneObject)
{
    auto downloader = make("f", {deadMirror()}, 1);
    EXPECT_TRUE(failureOf<http_error>(*downloader));
    EXPECT_EQ(slept, 3);
    EXPECT_TRUE(failureOf<http_error>(*downloader));
    EXPECT_EQ(slept, 3);  // no retry left
    EXPECT_EQ(downloader->retries->value, 1u);
}

TEST_F(DownloaderTest, ARetryCountBelowOneMeansOneAttemptNotEndlessRetries)
{
    for (int count : {0, -5}) {
        Downloader::setRetryCount(count);
        EXPECT_EQ(Downloader::getRetryCount(), 1) << count;
        auto downloader = make("f", {deadMirror()}, count);
        EXPECT_EQ(downloader->retries->maximum, 1u) << count;
    }
}

TEST_F(DownloaderTest, AFailureOfAnObserverEndsTheTransferWithThatFailure)
{
    struct Failing : ProgressValueObserver {
        explicit Failing(Downloader::counter_t* counter_) : counter(counter_) {}
        void update() override
        {
            if (counter->value > 0) {
                error e(3, 1, 1, 3);
                e << "observer failed";
                throw e;
            }
        }
        Downloader::counter_t* counter;
    };
    auto downloader = make("f", {server.url() + "bytes/100000/"}, 3);
    auto failing = boost::make_shared<Failing>(downloader->progress.get());
    downloader->progress->addObserver(failing);
    auto e = failureOf<error>(*downloader);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), "observer failed\n");
    EXPECT_EQ(slept, 0);
    EXPECT_EQ(targets().size(), 1u);
}

TEST_F(DownloaderTest, DownloadFileCreatesTheParentDirectories)
{
    auto downloader = make("f", {server.url() + "bytes/5000/"}, 3);
    const std::string file = dir / "a/b/c/f.bin";
    downloader->downloadFile(file);
    EXPECT_EQ(readWholeFile(file), pattern(5000));
}

TEST_F(DownloaderTest, DownloadFileReportsDirectoriesAndFilesItCannotMake)
{
    writeWholeFile(dir / "plain", "x");
    auto downloader = make("f", {server.url() + "bytes/10/"}, 3);
    auto e = thrown<error>([&] { downloader->downloadFile(dir / "plain/sub/f"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(codes(*e), std::make_tuple(4, 1, 1, 2));
    // The path as the file-system library prints it, and its failure.
    EXPECT_EQ(e->getText(), format_message(messages.get("err_download_mkdir"), "\"" + (dir / "plain/sub") + "\"") +
                                " " + strerror(EEXIST) + "\n");

    ASSERT_EQ(mkdir((dir / "directory").c_str(), 0755), 0);
    e = thrown<error>([&] { downloader->downloadFile(dir / "directory"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), format_message(messages.get("err_filewrite1"), dir / "directory", strerror(EISDIR)) + "\n");
    EXPECT_TRUE(targets().empty());
}

// A full disk: the transfer stops at the first block that cannot be written, without retries,
// and a last block that fails only when the file is closed is not taken for a complete file.
TEST_F(DownloaderTest, AFullDiskIsReportedAndNotRetried)
{
    auto big = make("f", {server.url() + "bytes/200000/"}, 3);
    auto e = thrown<error>([&] { big->downloadFile("/dev/full"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), messages.get("err_no_space2") + "\n");
    EXPECT_EQ(codes(*e), std::make_tuple(4, 1, 1, 2));
    EXPECT_EQ(slept, 0);
    EXPECT_EQ(targets().size(), 1u);

    auto small = make("f", {server.url() + "bytes/100/"}, 3);
    e = thrown<error>([&] { small->downloadFile("/dev/full"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), format_message(messages.get("err_filewrite2"), "/dev/full", strerror(ENOSPC)) + "\n");
}

// The process-wide proxy is tested in children.
TEST_F(DownloaderTest, RequestsGoThroughTheProxyInAbsoluteForm)
{
    const std::string origin = deadMirror();  // only the proxy is reachable
    ChildResult r = runInChild([&] {
        Downloader::setProxy("127.0.0.1", server.port());
        Downloader::setProxyAuth("proxy-user", "secret");
        auto downloader = make("f", {origin + "bytes/700/"}, 1);
        std::ostringstream out;
        downloader->download(out);
        return out.str() == pattern(700) ? 0 : 1;
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(targets(), std::vector<std::string>{origin + "bytes/700/f"});
    EXPECT_EQ(headerValues("Proxy-Authorization"), std::vector<std::string>{"Basic cHJveHktdXNlcjpzZWNyZXQ="});
}

TEST_F(DownloaderTest, AProxyUserWithoutAProxyHostSetsNoProxy)
{
    ChildResult r = runInChild([&] {
        Downloader::setProxyAuth("proxy-user", "secret");
        auto downloader = make("f", {server.url() + "bytes/7/"}, 1);
        std::ostringstream out;
        downloader->download(out);
        return out.str() == pattern(7) ? 0 : 1;
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(targets(), std::vector<std::string>{"/bytes/7/f"});
    EXPECT_EQ(headerValues("Proxy-Authorization"), std::vector<std::string>{"-"});
}

TEST(DownloaderProxyTest, TheDefaultIsNoProxyOnPort3128)
{
    EXPECT_EQ(Downloader::getProxy().host, "");
    EXPECT_EQ(Downloader::getProxy().port, 3128);
    EXPECT_EQ(Downloader::getProxy().user, "");
    EXPECT_EQ(Downloader::getProxy().password, "");
}

// Signals and the shared status record are process-wide: a child with its own IPC namespace and /tmp.
TEST_F(DownloaderTest, ASignalStopsTheTransferBeforeAnyRetry)
{
    ChildResult r = runInChild(
        [&] {
            // 20 seconds of body unless stopped.
            auto downloader = make("f", {server.url() + "slow/200000/100/"}, 3);
            std::thread signaller([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                Progress().signalReceived(SIGTERM);
            });
            const auto start = std::chrono::steady_clock::now();
            std::ostringstream out;
            int code = 1;
            try {
                downloader->download(out);
            } catch (const Progress::Interrupted& interrupted) {
                code = interrupted.signal == SIGTERM ? 0 : 2;
            }
            signaller.join();
            const auto took = std::chrono::steady_clock::now() - start;
            std::cout << slept << " " << downloader->retries->value << " "
                      << std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
            return code;
        },
        privateProgressOptions());
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    std::istringstream numbers(r.out);
    int child_slept = -1, retries = -1, took_ms = -1;
    numbers >> child_slept >> retries >> took_ms;
    EXPECT_EQ(child_slept, 0);
    EXPECT_EQ(retries, 0);
    EXPECT_LT(took_ms, 5000);
    EXPECT_EQ(targets().size(), 1u);
}

}  // namespace
