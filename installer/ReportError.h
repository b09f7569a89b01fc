#ifndef KW_INSTALLER_REPORTERROR_H
#define KW_INSTALLER_REPORTERROR_H

#include <ostream>
#include <sstream>
#include <string>

// The process-wide store of failure details for the error report. Details are written through
// channels; a channel of level 0 or more also writes them into the log at that level.
class ReportError {
public:
    class Output {
    public:
        explicit Output(int level) : level(level) {}

        template <typename T>
        Output& operator<<(const T& value)
        {
            std::ostringstream text;
            text << value;
            write(text.str());
            return *this;
        }
        Output& operator<<(std::ostream& (*manipulator)(std::ostream&));

    private:
        void write(const std::string& text);
        int level;
    };

    static Output create(int level);
    // What the channels collected so far.
    static std::string collected();
};

#endif
