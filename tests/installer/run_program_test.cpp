#include "installer/run_program.h"

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include <boost/exception/enable_current_exception.hpp>
#include <boost/exception_ptr.hpp>
#include <gtest/gtest.h>

#include "common/Progress.h"
#include "installer/Reporter.h"
#include "installer/SystemExit.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

const char* const LOG_FILE = "/var/log/zanth/install/kitwright3.log";

// The lines of the log file that hold exactly `text` after their time stamp.
std::vector<std::string> linesOf(const std::string& log, const std::string& text)
{
    std::vector<std::string> found;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const size_t stamp_end = line.find("] ");
        if (line[0] == '[' && stamp_end != std::string::npos && line.substr(stamp_end + 2) == text)
            found.push_back(line);
    }
    return found;
}

std::string pythonStrerror(int number)
{
    return shellOutput("/usr/bin/python3 -c 'import os, sys; sys.stdout.write(os.strerror(" + std::to_string(number) +
                       "))'");
}

struct EntryCase {
    std::string kind;
    int code;
    std::string reply;    // the message of the error reply; empty: no reply at all
    std::string logLine;  // the level-1 line in the log file; empty: none
};

TEST(RunProgram, EachEndGivesItsCodeReplyAndLogLine)
{
    const std::string internal = "Internal error: unexpected exception caught";
    const std::string described = internal + ". Description: \"probe failure\"";
    const std::string enoent = described + ", errno=2: " + pythonStrerror(2);
    const std::string eacces = described + ", errno=13: " + pythonStrerror(13);
    const std::vector<EntryCase> cases = {
        {"exit:0", 0, "", ""},
        {"exit:1", 1, "", ""},
        {"interrupted", 2, "Interrupted by user", "Error: Interrupted by user"},
        {"runtime:2", 1, enoent, enoent},
        {"runtime:13", 1, eacces, eacces},
        {"runtime:0", 1, described, described},
        {"int", 1, internal, internal},
    };
    ChildOptions privateLog;
    privateLog.tmpfs = {"/var/log"};
    for (const EntryCase& c : cases) {
        const ChildResult checks = runChecksInChild(
            [&c] {
                const ChildResult run = runTool("kw_entry_probe", {c.kind});
                EXPECT_EQ(run.exit_code, c.code);
                EXPECT_EQ(run.out, c.reply.empty() ? "" : "\nERROR: " + c.reply + "\n");
                EXPECT_EQ(run.err, "");
                const std::string log = readWholeFile(LOG_FILE);
                if (c.logLine.empty())
                    EXPECT_EQ(log.find("rror"), std::string::npos) << log;
                else
                    EXPECT_EQ(linesOf(log, c.logLine).size(), 1u) << log;
            },
            privateLog);
        EXPECT_EQ(checks.exit_code, 0) << c.kind << "\n" << checks.out << checks.err;
    }
}

TEST(RunProgram, InterruptionIsAnXmlErrorReplyWithXmlOutput)
{
    const ChildResult run = runInChild([] {
        Reporter::xmlOutput = true;
        return driver::run_program([](int, char**) { throw Progress::Interrupted(SIGTERM); }, 0, nullptr);
    });
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out,
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
              "<kitwright status=\"error\" error_message=\"Interrupted by user\" error_class=\"user\" />\n\n");
    EXPECT_EQ(run.err, "ERROR: Interrupted by user\n");
}

TEST(RunProgram, SystemExitCarriedAcrossThreadsKeepsItsCode)
{
    // A background job hands its end to the main thread as an exception pointer.
    boost::exception_ptr stored;
    try {
        throw boost::enable_current_exception(driver::SystemExit{5});
    } catch (...) {
        stored = boost::current_exception();
    }
    EXPECT_EQ(driver::run_program([&stored](int, char**) { boost::rethrow_exception(stored); }, 0, nullptr), 5);
}

TEST(RunProgram, BodyGetsTheCommandLine)
{
    char program[] = "kitwright";
    char option[] = "--debug";
    char* argv[] = {program, option, nullptr};
    std::string seen;
    driver::run_program([&seen](int argc, char** args) { seen = std::to_string(argc) + args[0] + args[1]; }, 2, argv);
    EXPECT_EQ(seen, "2kitwright--debug");
}

}  // namespace
