#include "installer/ProgressValueRender.h"

#include <functional>
#include <iostream>

#include <boost/make_shared.hpp>
#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/format_message.h"
#include "tests/support/ChildProcess.h"

namespace {

typedef DownloadProgressRenderer::counter_t counter_t;
typedef DownloadProgressRenderer::counter_ptr counter_ptr;

const Messages messages;

struct CountingObserver : ProgressValueObserver {
    void update() override { ++updates; }
    int updates = 0;
};

// What the console shows while the body draws: each transient status line becomes its text
// followed by "|" (its blanking and backspaces removed); whole lines keep their line ends.
std::string consoleOf(const std::function<void()>& body, bool status_lines)
{
    ChildOptions options;
    options.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    ChildResult r = runInChild(
        [&] {
            Log::statusLines = status_lines;
            body();
            return 0;
        },
        options);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    static const boost::regex erased(" *\b+");
    return boost::regex_replace(r.err, erased, "|");
}

// One file's download as a downloader feeds the renderer.
struct Download {
    Download(const boost::shared_ptr<DownloadProgressRenderer>& renderer, const std::string& name)
        : bytes(boost::make_shared<counter_t>()), retries(boost::make_shared<counter_t>()), guard(renderer, name)
    {
        retries->maximum = 3;
        renderer->attach(bytes, retries);
    }
    void receive(unsigned long value, unsigned long maximum)
    {
        bytes->maximum = maximum;
        bytes->setValue(value);
        bytes->notify(false);
    }
    void retry(unsigned long value, const std::string& text)
    {
        retries->value = value;
        retries->text = text;
        retries->notify(false);
    }

    counter_ptr bytes;
    counter_ptr retries;
    DownloadProgressRenderer::FileGuard guard;  // last: it ends the line before the counters go
};

std::string fileLine(const std::string& name)
{
    return messages.get("download_file") + name + ": ";
}

TEST(ProgressValueTest, NotifySkipsAStateThatAnyCounterNotifiedLast)
{
    auto observer = boost::make_shared<CountingObserver>();
    counter_t first;
    counter_t second;
    first.addObserver(observer);
    first.addObserver(observer);
    second.addObserver(observer);
    EXPECT_EQ(first.observers.size(), 1u);

    const auto setState = [](counter_t& counter) {
        counter.value = 5;
        counter.maximum = 9;
        counter.text = "state";
    };
    setState(first);
    first.notify(false);
    EXPECT_EQ(observer->updates, 1);
    first.notify(false);
    EXPECT_EQ(observer->updates, 1);

    // The cache is shared: the same state through another counter draws nothing new.
    setState(second);
    second.notify(false);
    EXPECT_EQ(observer->updates, 1);
    second.notify(true);
    EXPECT_EQ(observer->updates, 2);
    second.text = "other";
    second.notify(false);
    EXPECT_EQ(observer->updates, 3);
}

TEST(ProgressValueTest, ExpiredObserversArePassedOverAndKept)
{
    auto kept = boost::make_shared<CountingObserver>();
    auto gone = boost::make_shared<CountingObserver>();
    counter_t counter;
    counter.addObserver(gone);
    counter.addObserver(kept);
    gone.reset();
    counter.text = "expired observers";
    counter.notify(true);
    EXPECT_EQ(kept->updates, 1);
    EXPECT_EQ(counter.observers.size(), 2u);
}

TEST(ProgressValueTest, AValueAboveAKnownMaximumIsAnInternalError)
{
    counter_t counter;
    counter.setValue(1000000);  // no maximum, no limit
    counter.maximum = 3;
    counter.setValue(3);
    try {
        counter.setValue(4);
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_EQ(e.e_class, 3);
        EXPECT_NE(e.getText().find("An internal error occured in Zanth Installer "), std::string::npos);
        EXPECT_NE(e.getText().find("installer/ProgressValueRender.h, line "), std::string::npos);
    }
    EXPECT_EQ(counter.value, 3u);
}

TEST(DownloadProgressRendererTest, GuardsRefuseAMissingRendererAndOneFileTooMany)
{
    EXPECT_THROW(DownloadProgressRenderer::FileGuard(nullptr, "x"), error);

    auto renderer = DownloadProgressRenderer::create();
    auto files = boost::make_shared<counter_t>();
    files->maximum = 3;
    files->value = 3;
    renderer->setFilesProgress(files);
    try {
        DownloadProgressRenderer::FileGuard fourth(renderer, "fourth");
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_NE(e.getText().find("installer/ProgressValueRender.h"), std::string::npos);
    }
    EXPECT_EQ(files->value, 3u);
}

TEST(DownloadProgressRendererTest, WholeLinesMarkEachNewKindOfInformation)
{
    // Without console status lines only the whole lines show: one per change of kind.
    const std::string shown = consoleOf(
        [] {
            Download download(DownloadProgressRenderer::create(), "p/q.xml");  // 0%
            download.receive(500, 0);                                          // unknown size: still 0%
            download.receive(250, 1000);                                       // 25%, same kind
            download.retry(2, "boom");
            download.retry(2, "");  // the percentage again
            download.receive(1000, 1000);
            download.guard.success = true;
        },
        false);
    const std::string retry = format_message(messages.get("download_retry_progress"), 2, 3);
    EXPECT_EQ(shown, fileLine("p/q.xml") + "0%\n" + messages.get("download_file") + "p/q.xml" + retry + ": boom\n" +
                         messages.get("download_file") + "p/q.xml" + retry + ": 25%\n" + messages.get("download_file") +
                         "p/q.xml" + retry + ": 100% " + messages.get("download_done") + "\n");
}

TEST(DownloadProgressRendererTest, StatusLinesRedrawInPlaceAndASingleFileEndsWithALineEnd)
{
    const std::string shown = consoleOf(
        [] {
            Download download(DownloadProgressRenderer::create(), "a");
            download.receive(999, 1000);
            download.guard.success = true;
        },
        true);
    EXPECT_EQ(shown, fileLine("a") + "0%|" + fileLine("a") + "99%|" + fileLine("a") +
                         messages.get("download_completed") + "|\n");
}

TEST(DownloadProgressRendererTest, TheLastOfCountedFilesAddsTheAllDoneLine)
{
    for (bool status_lines : {true, false}) {
        const std::string shown = consoleOf(
            [] {
                auto renderer = DownloadProgressRenderer::create();
                auto files = boost::make_shared<counter_t>();
                files->maximum = 3;
                renderer->setFilesProgress(files);
                for (const char* name : {"one", "two", "three"}) {
                    Download download(renderer, name);
                    download.receive(10, 10);
                    download.guard.success = true;
                }
            },
            status_lines);
        const std::string all_done = messages.get("download_all_done");
        const std::string third =
            messages.get("download_file") + format_message(messages.get("download_total_progress"), 3, 3) + "three: ";
        const size_t at = shown.find(all_done);
        ASSERT_NE(at, std::string::npos) << shown;
        EXPECT_EQ(shown.find(all_done, at + 1), std::string::npos) << shown;
        EXPECT_LT(shown.rfind(third), at) << shown;
        // Without status lines the last-status line is a whole line of its own before the line end.
        EXPECT_EQ(shown.substr(at), all_done + (status_lines ? "|\n" : "\n\n")) << shown;
    }
}

TEST(DownloadProgressRendererTest, AnExplicitTextWinsOverTheRetryTextAndThePercentage)
{
    const std::string shown = consoleOf(
        [] {
            auto renderer = DownloadProgressRenderer::create();
            Download download(renderer, "f");
            download.retries->text = "waiting";
            renderer->render("explicit");
            renderer->render("");
        },
        false);
    EXPECT_EQ(shown, fileLine("f") + "0%\n" + fileLine("f") + "explicit\n" + fileLine("f") + "waiting\n");
}

TEST(DownloadProgressRendererTest, AQuietRendererWritesNothing)
{
    for (bool status_lines : {true, false}) {
        const std::string shown = consoleOf(
            [] {
                auto renderer = DownloadProgressRenderer::create();
                renderer->setQuiet(true);
                Download download(renderer, "quiet");
                download.receive(10, 10);
                download.guard.success = true;
            },
            status_lines);
        EXPECT_EQ(shown, "");
    }
}

}  // namespace
