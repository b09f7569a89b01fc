#include "installer/run_environment.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "installer/Options.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/TempDir.h"

namespace fs = boost::filesystem;

namespace {

std::vector<std::string> namesIn(const std::string& directory)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The name of the separate log of day `day` of a month, as the program stamps them.
std::string separateLog(int day)
{
    char name[64];
    snprintf(name, sizeof(name), "kitwright3_2026-03-%02d_1200.log", day);
    return name;
}

struct CleanupCase {
    unsigned limit;
    int oldLogs;
    int kept;  // the newest of the old logs that stay
};

TEST(CleanupSeparatedLogs, KeepsTheNewestLimitMinusOneAndWhatIsNoSeparateLog)
{
    const std::vector<CleanupCase> cases = {
        {20, 25, 19}, {20, 19, 19}, {20, 20, 19}, {0, 25, 25}, {1, 3, 0}, {2, 3, 1}, {5, 0, 0},
    };
    for (const CleanupCase& c : cases) {
        TempDir dir;
        for (int day = 1; day <= c.oldLogs; ++day)
            writeWholeFile(dir / separateLog(day), "old\n");
        // Neither is a separate log: no prefix, or the prefix only inside the name.
        writeWholeFile(dir / "kitwright3.log", "main\n");
        writeWholeFile(dir / "old_kitwright3_2020.log", "other\n");

        EXPECT_EQ(driver::cleanup_separated_logs(dir.path(), "kitwright3_", c.limit), 0);

        std::vector<std::string> expected = {"kitwright3.log", "old_kitwright3_2020.log"};
        for (int day = c.oldLogs - c.kept + 1; day <= c.oldLogs; ++day)
            expected.push_back(separateLog(day));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(namesIn(dir.path()), expected) << "limit " << c.limit << ", " << c.oldLogs << " old logs";
    }
}

TEST(CleanupSeparatedLogs, LogsWhatItCannotDoAndGoesOn)
{
    const LoggedRun run = runLogged([] {
        TempDir dir;
        EXPECT_EQ(driver::cleanup_separated_logs(dir / "missing", "kitwright3_", 20), -1);

        // A directory that carries the prefix and is not empty cannot be removed; the older log
        // after it still goes.
        fs::create_directories(dir / (separateLog(2) + "/inside"));
        writeWholeFile(dir / separateLog(1), "old\n");
        writeWholeFile(dir / separateLog(3), "new\n");
        EXPECT_EQ(driver::cleanup_separated_logs(dir.path(), "kitwright3_", 2), 0);
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{separateLog(2), separateLog(3)}));

        // A directory that cannot be read ends the clean-up with a line of its own.
        const std::string unreadable = dir / "unreadable";
        fs::create_directory(unreadable);
        fs::permissions(dir.path(), fs::owner_all | fs::others_exe);
        fs::permissions(unreadable, fs::others_exe);
        const pid_t child = fork();
        if (child == 0) {
            // Root reads every directory: only a user without rights meets the failure.
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
            _exit(driver::cleanup_separated_logs(unreadable, "kitwright3_", 20) == 0 ? 0 : 4);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    });
    EXPECT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_NE(linesMatching(run.log,
                            "^Cleanup of separated log files failed. Expected logs directory not found at: "
                            ".*/missing$"),
              "");
    EXPECT_NE(linesMatching(run.log, "^Can't remove log file '.*/kitwright3_2026-03-02_1200.log': .+"), "") << run.log;
    EXPECT_EQ(linesMatching(run.log, "^2 Can't remove log file"), "") << "removal failures are level 2: " << run.log;
    EXPECT_NE(run.console.find("Cleanup of separated log files failed. Can't extract kitwright logs list from '"),
              std::string::npos)
        << run.console;
}

// What `sh -c` started now sees of the proxy variables, and what the downloads were given.
std::string proxySeen()
{
    const Downloader::Proxy& applied = Downloader::getProxy();
    return shellOutput(
               "sh -c 'echo \"ftp=${FTP_PROXY-unset} http=${HTTP_PROXY-unset} "
               "auth=${HTTP_PROXY_AUTH-unset}\"'") +
           "downloads=" + applied.host + ":" + std::to_string(applied.port) + " " + applied.user + ":" +
           applied.password;
}

Downloader::Proxy proxy(const std::string& host, int port, const std::string& user = "",
                        const std::string& password = "")
{
    Downloader::Proxy p;
    p.host = host;
    p.port = port;
    p.user = user;
    p.password = password;
    return p;
}

struct ProxyCase {
    const char* name;
    std::vector<std::pair<std::string, const char*>> env;  // the environment the run inherits
    std::vector<Downloader::Proxy> calls;                  // the settings of each call, in order
    std::string seen;                                      // proxySeen() after the last call
};

TEST(SetupProxyEnvironment, EveryBranchAsChildProcessesAndDownloadsSeeIt)
{
    const std::vector<std::pair<std::string, const char*>> clean = {
        {"FTP_PROXY", nullptr}, {"HTTP_PROXY", nullptr}, {"HTTP_PROXY_AUTH", nullptr}};
    const std::string none = "ftp=unset http=unset auth=unset\n";
    const std::vector<ProxyCase> cases = {
        {"nothing ever set", clean, {proxy("", 3128)}, none + "downloads=:3128 :"},
        {"host only",
         clean,
         {proxy("px.test", 8080)},
         "ftp=px.test:8080 http=px.test:8080 auth=unset\ndownloads=px.test:8080 :"},
        {"host and user",
         clean,
         {proxy("px.test", 3128, "ann", "s3cret")},
         "ftp=px.test:3128 http=px.test:3128 auth=ann:s3cret\ndownloads=px.test:3128 ann:s3cret"},
        {"user withdrawn",
         clean,
         {proxy("px.test", 3128, "ann", "s3cret"), proxy("px.test", 3128)},
         "ftp=px.test:3128 http=px.test:3128 auth=unset\ndownloads=px.test:3128 :"},
        {"host changed keeps exporting",
         clean,
         {proxy("px.test", 3128), proxy("other.test", 9000)},
         "ftp=other.test:9000 http=other.test:9000 auth=unset\ndownloads=other.test:9000 :"},
        {"host cleared after set",
         clean,
         {proxy("px.test", 3128, "ann", "pw"), proxy("", 3128)},
         none + "downloads=:0 :"},
        {"inherited HTTP_PROXY kept",
         {{"FTP_PROXY", nullptr}, {"HTTP_PROXY", "inherited:1"}, {"HTTP_PROXY_AUTH", nullptr}},
         {proxy("px.test", 3128, "ann", "pw")},
         "ftp=unset http=inherited:1 auth=unset\ndownloads=px.test:3128 ann:pw"},
        {"inherited FTP_PROXY kept",
         {{"FTP_PROXY", "ftp.inherited:2"}, {"HTTP_PROXY", nullptr}, {"HTTP_PROXY_AUTH", "keep:me"}},
         {proxy("px.test", 3128, "ann", "pw"), proxy("px.test", 3128)},
         "ftp=ftp.inherited:2 http=unset auth=keep:me\ndownloads=px.test:3128 :"},
        {"inherited proxy survives clearing",
         {{"FTP_PROXY", nullptr}, {"HTTP_PROXY", "inherited:1"}, {"HTTP_PROXY_AUTH", "keep:me"}},
         {proxy("px.test", 3128, "ann", "pw"), proxy("", 3128)},
         "ftp=unset http=inherited:1 auth=keep:me\ndownloads=:0 :"},
    };
    for (const ProxyCase& c : cases) {
        ChildOptions options;
        options.env = c.env;
        const ChildResult run = runInChild(
            [&c] {
                for (const Downloader::Proxy& p : c.calls)
                    driver::setup_proxy_environment(p);
                std::cout << proxySeen();
                return 0;
            },
            options);
        EXPECT_EQ(run.exit_code, 0) << c.name << run.err;
        EXPECT_EQ(run.out, c.seen) << c.name;
    }
}

// The settings of a child's run, made from a command line as the driver makes them.
void makeSettings(std::vector<std::string> args)
{
    static std::vector<std::string> words;
    static std::vector<char*> argv;
    words = args;
    words.insert(words.begin(), "kitwright");
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    Options::argc = static_cast<int>(words.size());
    Options::argv = argv.data();
    Options::instance();
}

TEST(WaitEnterToExit, PausesOnlyForAnInteractiveRemovalOfEverything)
{
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"--remove-everything", "--interactive-uninstall"}, true},
        {{"--remove-everything"}, false},
        {{}, false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        writeWholeFile(dir / "input", "typed\nnext line\n");
        const ChildResult run = runInChild([&] {
            const int input = open((dir / "input").c_str(), O_RDONLY);
            dup2(input, 0);
            makeSettings(c.first);
            driver::wait_enter_to_exit();
            std::string rest;
            std::getline(std::cin, rest);
            std::cout << "[" << rest << "]";
            return 0;
        });
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out, c.second ? "Press ENTER to exit ...\n[next line]" : "[typed]") << c.first.size();
    }
    // The settings refuse the pause without the removal of everything.
    // At the end of the input it returns.
    const ChildResult ended = runInChild([&] {
        const int input = open("/dev/null", O_RDONLY);
        dup2(input, 0);
        makeSettings({"--remove-everything", "--interactive-uninstall"});
        driver::wait_enter_to_exit();
        return 0;
    });
    EXPECT_EQ(ended.exit_code, 0) << ended.err;
    EXPECT_EQ(ended.out, "Press ENTER to exit ...\n");
}

}  // namespace
