#include "installer/ReportError.h"

#include "common/Log.h"

namespace {

std::ostringstream& buffer()
{
    static std::ostringstream messages;
    return messages;
}

}  // namespace

ReportError::Output ReportError::create(int level)
{
    return Output(level);
}

std::string ReportError::collected()
{
    return buffer().str();
}

ReportError::Output& ReportError::Output::operator<<(std::ostream& (*manipulator)(std::ostream&))
{
    std::ostringstream text;
    text << manipulator;
    write(text.str());
    return *this;
}

void ReportError::Output::write(const std::string& text)
{
    if (level >= 0)
        Log::stream(level, Log::LINE_PART) << text;
    buffer() << text;
}
