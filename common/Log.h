#ifndef KW_COMMON_LOG_H
#define KW_COMMON_LOG_H

#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

// The process-wide log. Each statement goes to four sinks, each with its own threshold: standard
// error, the mail buffer, the log file (or its pre-open buffer) and the web console capture. The
// state is never destroyed, so threads and static destructors can log until the process exits.
class Log {
public:
    typedef int level_t;      // see the constants below; a text reaches a sink up to its threshold
    typedef int line_mode_t;  // see the constants below

    static constexpr level_t LEVEL_ERROR = 0;    // errors and what the user must always see
    static constexpr level_t LEVEL_INFO = 1;     // what the run does
    static constexpr level_t LEVEL_VERBOSE = 2;  // details for the log file
    static constexpr level_t LEVEL_DEBUG = 3;    // for developers, with the debug option

    static constexpr line_mode_t LINE_PART = 0;         // no line end; the next statement continues the line
    static constexpr line_mode_t LINE_WHOLE = 1;        // ends with a line end on every sink
    static constexpr line_mode_t LINE_STATUS = 2;       // console only, overwritten in place by what follows
    static constexpr line_mode_t LINE_LAST_STATUS = 3;  // like 2 on the console, a normal line elsewhere

    static int consoleLevel;
    static int mailLevel;
    static int fileLevel;
    static int captureLevel;
    static bool statusLines;
    static int depth;

    // The notification-mail sink; the driver sends its whole text at the end of the run.
    static std::ostringstream& mailBuffer();

    // One log statement; it holds the log mutex from construction to destruction.
    class stream {
    public:
        stream(level_t level, bool whole_line);
        stream(level_t level, line_mode_t mode);
        ~stream();
        stream(const stream&) = delete;
        stream& operator=(const stream&) = delete;

        template <typename T>
        stream& operator<<(const T& value)
        {
            std::ostringstream out;
            out << value;
            return write(out.str());
        }

        stream& write(const std::string& text);
        // Raw output of a child process: unchanged on the console, printable ASCII elsewhere.
        void write(const char* data, int length);

    private:
        void start();

        int level;
        int mode;
        size_t count;
        std::unique_lock<std::recursive_mutex> lock;
    };

    // The capture of log text shown by the web interface while a background installation runs.
    class ConsoleMessages {
    public:
        ConsoleMessages();
        ~ConsoleMessages();
        ConsoleMessages(const ConsoleMessages&) = delete;
        ConsoleMessages& operator=(const ConsoleMessages&) = delete;

        std::string get_text();
        std::string get_new_lines();
        std::string get_log(std::fstream::pos_type max);

        size_t pos;
        std::fstream::pos_type start;
    };

    static void openFile(const std::string& path, bool truncate);
    static std::string getFileName();
    static bool statusLinesEnabled();
};

#endif
