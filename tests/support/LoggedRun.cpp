#include "tests/support/LoggedRun.h"

#include <stdlib.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <sstream>
#include <vector>

#include <boost/regex.hpp>

#include "common/Log.h"
#include "tests/support/TempDir.h"

namespace {

const char* const CAPTURE_MARK = "\n--kw-log-capture--\n";
const char* const MAIL_MARK = "\n--kw-log-mail--\n";
const char* const FILE_MARK = "\n--kw-log-file--\n";

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::map<std::string, int> counted(const std::string& text)
{
    std::map<std::string, int> count;
    for (const std::string& line : linesOf(text))
        ++count[line];
    return count;
}

bool take(std::map<std::string, int>& lines, const std::string& line)
{
    auto found = lines.find(line);
    if (found == lines.end() || found->second == 0)
        return false;
    --found->second;
    return true;
}

std::string between(const std::string& text, const std::string& from, const std::string& to)
{
    const size_t start = text.find(from);
    if (start == std::string::npos)
        return std::string();
    const size_t end = to.empty() ? std::string::npos : text.find(to, start + from.size());
    return text.substr(start + from.size(), end == std::string::npos ? std::string::npos : end - start - from.size());
}

}  // namespace

LoggedRun runLogged(const std::function<void()>& checks, const ChildOptions& options)
{
    ChildResult r = runChecksInChild(
        [&checks] {
            char path[] = "/tmp/kw-logged-XXXXXX";
            const int fd = mkstemp(path);
            if (fd >= 0)
                close(fd);
            Log::consoleLevel = 3;
            Log::fileLevel = 2;
            Log::mailLevel = 1;
            Log::captureLevel = 0;
            Log::openFile(path, true);
            Log::ConsoleMessages capture;
            checks();
            std::cout << CAPTURE_MARK << capture.get_text() << MAIL_MARK << Log::mailBuffer().str() << FILE_MARK
                      << readWholeFile(path);
            unlink(path);
        },
        options);

    LoggedRun run;
    run.exit_code = r.exit_code;
    run.console = r.err;
    run.out = r.out.substr(0, r.out.find(CAPTURE_MARK));
    static const boost::regex prefix("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}\\] ");
    std::map<std::string, int> capture = counted(between(r.out, CAPTURE_MARK, MAIL_MARK));
    std::map<std::string, int> mail = counted(between(r.out, MAIL_MARK, FILE_MARK));
    std::map<std::string, int> file = counted(boost::regex_replace(between(r.out, FILE_MARK, ""), prefix, ""));
    for (const std::string& line : linesOf(r.err)) {
        int level = 3;
        if (take(capture, line))
            level = 0;
        if (take(mail, line) && level == 3)
            level = 1;
        if (take(file, line) && level == 3)
            level = 2;
        run.log += std::to_string(level) + " " + line + "\n";
    }
    return run;
}

std::string linesMatching(const std::string& log, const std::string& pattern)
{
    const boost::regex wanted(pattern);
    std::string kept;
    for (const std::string& line : linesOf(log))
        if (line.size() > 2 && boost::regex_search(line.begin() + 2, line.end(), wanted))
            kept += line + "\n";
    return kept;
}
