#include "installer/ReportError.h"

#include "common/Log.h"

namespace {

// The collected failure details of the run.
std::ostringstream& messageBuffer()
{
    static std::ostringstream buffer;
    return buffer;
}

}  // namespace

std::string ReportError::collected()
{
    return messageBuffer().str();
}

ReportError::Output& ReportError::Output::operator<<(std::ostream& (*manipulator)(std::ostream&))
{
    std::ostringstream text;
    manipulator(text);
    return write(text.str());
}

ReportError::Output& ReportError::Output::write(const std::string& text)
{
    if (level >= 0) {
        // A text that ends a line is written as the end of the log's line, so that the log marks
        // where the next one starts.
        if (!text.empty() && text.back() == '\n') {
            Log::stream line(level, Log::LINE_WHOLE);
            if (text.size() > 1)
                line << text.substr(0, text.size() - 1);
        } else {
            Log::stream(level, Log::LINE_PART) << text;
        }
    }
    messageBuffer() << text;
    return *this;
}
