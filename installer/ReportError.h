#ifndef KW_INSTALLER_REPORTERROR_H
#define KW_INSTALLER_REPORTERROR_H

#include <ostream>
#include <sstream>
#include <string>

// The process-wide store of failure details for the error report: what the installation engine and
// the driver write through its channels while the installation runs.
class ReportError {
public:
    // A channel into the store. Level -1 writes into the store only; a level of 0 or more also writes
    // the text into the log at that level.
    class Output {
    public:
        explicit Output(int level) : level(level) {}

        template <typename T>
        Output& operator<<(const T& value)
        {
            std::ostringstream text;
            text << value;
            return write(text.str());
        }
        // Manipulators such as std::endl.
        Output& operator<<(std::ostream& (*manipulator)(std::ostream&));

        int level;

    private:
        Output& write(const std::string& text);
    };

    static Output create(int level) { return Output(level); }
    // What the channels collected so far.
    static std::string collected();
};

#endif
