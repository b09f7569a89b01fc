#include "common/Log.h"

#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/Messages.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

const char* const kDir = "/var/log/zanth/install";
const char* const kPath = "/var/log/zanth/install/kitwright3.log";

// The log's fixed directory, on a private tmpfs.
ChildOptions logDirOptions()
{
    ChildOptions options;
    options.tmpfs = {"/var/log"};
    options.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    return options;
}

// Makes the log directory, and the message catalog without the line its creation logs.
void makeLogDir()
{
    Log::fileLevel = 1;
    Messages().getLocale();
    Log::fileLevel = 2;
    boost::filesystem::create_directories(kDir);
}

// Runs the body in a child whose log file is open at its fixed path, on a private tmpfs.
ChildResult withOpenLog(const std::function<void()>& body)
{
    return runInChild(
        [&body] {
            makeLogDir();
            Log::openFile(kPath, true);
            body();
            return 0;
        },
        logDirOptions());
}

// Removes the timestamp prefixes, checking their form.
std::string stripPrefixes(const std::string& text)
{
    static const boost::regex prefix("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}\\] ");
    return boost::regex_replace(text, prefix, "<T>");
}

TEST(LogTest, FileLinesHaveTimestampPrefixesAndOwnerOnlyMode)
{
    ChildResult r = withOpenLog([] {
        Log::stream(Log::LEVEL_INFO, true) << "first " << 1;
        Log::stream(Log::LEVEL_VERBOSE, false) << "part ";
        Log::stream(Log::LEVEL_VERBOSE, true) << "rest";
        Log::stream(Log::LEVEL_ERROR, true) << "";
        struct stat st;
        stat(kPath, &st);
        std::cout << (st.st_mode & 0777) << "\n" << Log::getFileName() << "\n" << readWholeFile(kPath);
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(stripPrefixes(r.out), std::string("384\n") + kPath + "\n<T>first 1\n<T>part rest\n<T>~empty\n");
}

TEST(LogTest, PreOpenTextIsWrittenWhenTheFileOpens)
{
    ChildResult r = runInChild(
        [] {
            makeLogDir();
            std::ofstream(kPath) << "old content\n";
            Log::stream(Log::LEVEL_INFO, true) << "early";
            Log::stream(Log::LEVEL_DEBUG, true) << "too verbose";
            Log::openFile(kPath, false);
            Log::stream(Log::LEVEL_INFO, true) << "late";
            std::cout << readWholeFile(kPath);
            return 0;
        },
        logDirOptions());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(stripPrefixes(r.out), "old content\n<T>early\n<T>late\n");
}

TEST(LogTest, StatementAboveFileLevelLeavesTheFileLineOpen)
{
    ChildResult r = withOpenLog([] {
        Log::stream(Log::LEVEL_VERBOSE, false) << "a";
        Log::stream(Log::LEVEL_DEBUG, true) << "debug";
        Log::stream(Log::LEVEL_VERBOSE, true) << "b";
        Log::fileLevel = 3;
        Log::stream(Log::LEVEL_DEBUG, true) << "now debug";
        std::cout << readWholeFile(kPath);
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(stripPrefixes(r.out), "<T>ab\n<T>now debug\n");
}

TEST(LogTest, DepthMarksEveryStatementInTheFile)
{
    ChildResult r = withOpenLog([] {
        Log::depth = 2;
        Log::stream(Log::LEVEL_INFO, true) << "x";
        Log::stream(Log::LEVEL_DEBUG, true) << "hidden";
        Log::depth = 0;
        Log::stream(Log::LEVEL_INFO, true) << "y";
        std::cout << readWholeFile(kPath);
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(stripPrefixes(r.out), "<T>##x\n##<T>y\n");
}

TEST(LogTest, ThresholdsPerSink)
{
    // Each row: the level of a statement, and whether it reaches console, mail, file and capture
    // under the thresholds console 1, mail 1, file 2, capture 0.
    struct Row {
        int level;
        bool console, mail, file, capture;
    };
    const Row rows[] = {{0, true, true, true, true},
                        {1, true, true, true, false},
                        {2, false, false, true, false},
                        {3, false, false, false, false}};
    for (const Row& row : rows) {
        ChildResult r = withOpenLog([&row] {
            Log::consoleLevel = 1;
            Log::ConsoleMessages capture;
            Log::stream(row.level, true) << "text";
            std::cout << "mail=" << !Log::mailBuffer().str().empty()
                      << " file=" << (readWholeFile(kPath).find("text") != std::string::npos)
                      << " capture=" << !capture.get_text().empty();
        });
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, row.console ? "text\n" : "") << row.level;
        EXPECT_EQ(r.out, "mail=" + std::to_string(row.mail) + " file=" + std::to_string(row.file) +
                             " capture=" + std::to_string(row.capture))
            << row.level;
    }
}

TEST(LogTest, StatusLinesOnTheConsoleByteForByte)
{
    ChildResult r = withOpenLog([] {
        Log::statusLines = true;
        Log::stream(Log::LEVEL_ERROR, Log::LINE_STATUS) << "abc";
        Log::stream(Log::LEVEL_ERROR, Log::LINE_STATUS) << "d";
        Log::stream(Log::LEVEL_ERROR, Log::LINE_LAST_STATUS) << "ef";
        std::cout << readWholeFile(kPath);
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err,
              "abc\b\b\b"
              "d  \b\b\b"
              "ef\b\b");
    // Only the last status line reaches the file, as a normal line.
    EXPECT_EQ(stripPrefixes(r.out), "<T>ef\n");
}

TEST(LogTest, StatusLinesDisabled)
{
    ChildResult r = withOpenLog([] {
        Log::stream(Log::LEVEL_ERROR, Log::LINE_STATUS) << "abc";      // nothing, but remembers 3 characters
        Log::stream(Log::LEVEL_ERROR, Log::LINE_LAST_STATUS) << "xy";  // a whole line
        Log::statusLines = true;
        Log::stream(Log::LEVEL_ERROR, Log::LINE_STATUS) << "q";
        std::cout << readWholeFile(kPath);
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "xy\nq  \b\b\b");
    EXPECT_EQ(stripPrefixes(r.out), "<T>xy\n");

    ChildResult fill = runInChild([] {
        Log::stream(Log::LEVEL_ERROR, Log::LINE_STATUS) << "abcd";
        Log::statusLines = true;
        Log::stream(Log::LEVEL_ERROR, Log::LINE_STATUS) << "a";
        return 0;
    });
    EXPECT_EQ(fill.err, "a   \b\b\b\b");
}

TEST(LogTest, StatusLinesFollowTheCatalogLocale)
{
    const std::pair<const char*, bool> cases[] = {
        {"ja_JP", false}, {"ar_EG", true}, {"zh_CN", false}, {"de_DE", true}, {"C", true}};
    for (const auto& c : cases) {
        ChildResult r = runInChild([&c] {
            Log::statusLines = true;
            Messages::setLocale(c.first);
            std::cout << Messages().getLocale() << " " << Log::statusLinesEnabled();
            return 0;
        });
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out.back(), c.second ? '1' : '0') << c.first << ": " << r.out;
    }
}

TEST(LogTest, ChildOutputIsFilteredOutsideTheConsole)
{
    ChildResult r = withOpenLog([] {
        const char data[] = "caf\xc3\xa9\t!\n";
        Log::stream s(Log::LEVEL_ERROR, Log::LINE_PART);
        s.write(data, sizeof(data) - 1);
        std::cout << readWholeFile(kPath) << "|" << Log::mailBuffer().str();
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "caf\xc3\xa9\t!\n");
    EXPECT_EQ(stripPrefixes(r.out), "<T>caf!\n|caf!\n");
}

TEST(LogTest, ConsoleMessagesReturnsNewLinesOnce)
{
    ChildResult r = withOpenLog([] {
        Log::ConsoleMessages capture;
        std::cout << "[" << capture.get_new_lines() << "]";
        Log::stream(Log::LEVEL_ERROR, false) << "a";
        std::cout << "[" << capture.get_new_lines() << "]";
        Log::stream(Log::LEVEL_ERROR, true) << "";  // "~empty" and the line end
        Log::stream(Log::LEVEL_ERROR, false) << "b";
        std::cout << "[" << capture.get_new_lines() << "][" << capture.get_new_lines() << "]";
        Log::stream(Log::LEVEL_ERROR, true) << "c";
        std::cout << "[" << capture.get_new_lines() << "]";
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "[][][a~empty\n][][bc\n]");
}

TEST(LogTest, ConsoleMessagesTextIsCutAt256KiB)
{
    ChildResult r = withOpenLog([] {
        Log::ConsoleMessages capture;
        const std::string block(1000, 'x');
        for (int i = 0; i < 300; ++i)
            Log::stream(Log::LEVEL_ERROR, true) << block;
        std::string text = capture.get_text();
        std::string rest = capture.get_new_lines();
        std::cout << text.size() << " " << rest.size();
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "262144 " + std::to_string(300 * 1001 - 262144));
}

TEST(LogTest, ConsoleMessagesLogTail)
{
    ChildResult r = withOpenLog([] {
        Log::stream(Log::LEVEL_ERROR, true) << "before the capture";
        Log::ConsoleMessages capture;
        for (int i = 0; i < 100; ++i)
            Log::stream(Log::LEVEL_ERROR, true) << "line " << i;
        std::cout << capture.get_log(1000000) << "|" << capture.get_log(100);
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string all = stripPrefixes(r.out.substr(0, r.out.find('|')));
    const std::string tail = stripPrefixes(r.out.substr(r.out.find('|') + 1));
    EXPECT_EQ(all.find("before the capture"), std::string::npos);
    EXPECT_EQ(all.rfind("<T>line 0\n", 0), 0u) << all;
    // The last 100 bytes, from the first whole line in them: each line is 36 bytes long.
    EXPECT_EQ(tail, "<T>line 98\n<T>line 99\n");
}

TEST(LogTest, ConcurrentStatementsNeverMix)
{
    ChildResult r = withOpenLog([] {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < 200; ++i)
                    Log::stream(Log::LEVEL_INFO, true) << "thread " << t << " line " << i << " end";
            });
        for (std::thread& thread : threads)
            thread.join();
        std::cout << readWholeFile(kPath);
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::istringstream lines(stripPrefixes(r.out));
    static const boost::regex whole("<T>thread \\d line \\d+ end");
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_TRUE(boost::regex_match(line, whole)) << line;
    EXPECT_EQ(count, 800);
}

}  // namespace
