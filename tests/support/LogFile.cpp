#include "tests/support/LogFile.h"

#include <algorithm>
#include <sstream>

#include <boost/regex.hpp>

#include "common/Log.h"

LogFile::LogFile(int level) : saved_level(Log::fileLevel)
{
    Log::fileLevel = level;
    Log::openFile(dir / "test.log", true);
    // What the log held before any file was open belongs to earlier code.
    skipped = readWholeFile(dir / "test.log").size();
}

LogFile::~LogFile()
{
    Log::fileLevel = saved_level;
}

std::vector<std::string> LogFile::lines() const
{
    static const boost::regex prefix("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}\\] ");
    std::istringstream in(readWholeFile(dir / "test.log").substr(skipped));
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(boost::regex_replace(line, prefix, ""));
    return result;
}

bool LogFile::has(const std::string& line) const
{
    const std::vector<std::string> all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}
