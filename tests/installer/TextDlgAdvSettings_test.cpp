#include "installer/TextDlgAdvSettings.h"

#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "installer/Options.h"
#include "tests/support/ChildProcess.h"

namespace {

const std::string RULE(79, '=');
const std::string RETRY = "Type one of the characters from the legend above";

Downloader::Proxy proxy(const std::string& host, int port, const std::string& user, const std::string& password)
{
    Downloader::Proxy proxy;
    proxy.host = host;
    proxy.port = port;
    proxy.user = user;
    proxy.password = password;
    return proxy;
}

// The page run in a child (as root: the run-control file named is root's) with the input; standard
// error gets the result code or the error.
ChildResult runSettings(const std::string& source, const Downloader::Proxy& proxy, bool noBack,
                        const std::string& input)
{
    ChildOptions options;
    options.input = input;
    return runInChild(
        [&] {
            TextDialog::noClear = true;
            Options::instance().downloadRetries = 7;
            TextDlgAdvSettings page(source, "/var/cache/kw", proxy);
            page.noBack = noBack;
            try {
                std::cerr << page.run();
            } catch (const error& e) {
                std::cerr << "error: " << e.getText();
            }
            return 0;
        },
        options);
}

// The page's lines after the header and before the empty line that ends the settings.
std::string screen(const std::string& settings, bool noBack)
{
    return "\n\n\n\n\nAdvanced Settings\n" + RULE + "\n\nCurrent settings:\n" + settings + "\n" +
           Messages().get("settings_page_body") +
           "\nThe installer configuration file location: /root/.kitwrightrc\n\n" + "Available actions:\n" +
           (noBack ? "" : "(B) Go back\n") + "(Q) Cancel installation\n\nSelect an action";
}

}  // namespace

TEST(TextDlgAdvSettings, ShowsTheSourceAndForANetworkSourceTheDownloadSettings)
{
    const std::string store = " Store downloaded files in: /var/cache/kw\n";
    const std::string retries = " The maximum number of retries during downloading: 7\n";
    struct Row {
        std::string name;
        std::string source;
        Downloader::Proxy proxy;
        std::string settings;
    };
    const std::vector<Row> rows = {
        {"local source", "/root/mirror", proxy("proxy.lan", 8080, "alice", "s3cret"),
         " Install products from: local media /root/mirror\n"},
        {"default source", Options::DEFAULT_SOURCE_URL, proxy("", 3128, "", ""),
         " Install products from: official Zanth updates server\n" + store + " Do not use proxy.\n" + retries},
        {"the default source but for a letter", "https://updates.zanth.example", proxy("", 3128, "", ""),
         " Install products from: other network site https://updates.zanth.example\n" + store + " Do not use proxy.\n" +
             retries},
        {"proxy without user", "http://mirror.example.org/zanth/", proxy("proxy.lan", 8080, "", ""),
         " Install products from: other network site http://mirror.example.org/zanth/\n" + store +
             " Use proxy at (host:port) proxy.lan:8080\n Do not use proxy authentication\n" + retries},
        {"proxy with user", "http://mirror.example.org/zanth/", proxy("proxy.lan", 3128, "alice", "s3cret"),
         " Install products from: other network site http://mirror.example.org/zanth/\n" + store +
             " Use proxy at (host:port) proxy.lan:3128\n Authenticate at proxy as user alice\n" + retries},
    };
    for (const Row& row : rows) {
        const ChildResult result = runSettings(row.source, row.proxy, false, "q\n");
        EXPECT_EQ(screen(row.settings, false) + " [B/q]: ", result.out) << row.name;
        EXPECT_EQ("202", result.err) << row.name;
        EXPECT_EQ(std::string::npos, result.out.find("s3cret")) << row.name;
    }
}

TEST(TextDlgAdvSettings, GoesBackOrQuits)
{
    const std::string settings = " Install products from: local media /srv/m\n";
    struct Row {
        bool noBack;
        std::string input;
        std::string result;
        int retries;
    };
    const std::vector<Row> rows = {
        {false, "\n", "201", 0},
        {false, "b\n", "201", 0},
        {false, "P\n", "201", 0},
        {false, "Q\n", "202", 0},
        {false, "f\n1\n\n", "201", 2},
        {true, "\n", "202", 0},
        {true, "b\nP\n2\nq\n", "202", 3},
        {true, "", "error: You have just finished your session by pressing Ctrl + D.\n", 0},
    };
    for (const Row& row : rows) {
        const ChildResult result = runSettings("/srv/m", Downloader::Proxy(), row.noBack, row.input);
        const std::string prompt = row.noBack ? " [Q]: " : " [B/q]: ";
        std::string expected = screen(settings, row.noBack) + prompt;
        for (int i = 0; i < row.retries; ++i)
            expected += RETRY + prompt;
        EXPECT_EQ(expected, result.out) << row.noBack << " " << row.input;
        EXPECT_EQ(row.result, result.err) << row.noBack << " " << row.input;
    }
}
