#ifndef KW_COMMON_ERROR_H
#define KW_COMMON_ERROR_H

#include <deque>
#include <set>
#include <sstream>
#include <string>

// The codes of an error, in constructor order. 0 (the *_UNSET names) leaves a code unset; addMessage
// fills only unset codes.
enum error_class_code {
    E_UNSET = 0,
    E_REPOSITORY = 1,
    E_USER = 2,
    E_INTERNAL = 3,
    E_SYSTEM = 4,
    E_DEPENDENCIES = 5,
    E_PACKAGES = 6
};
enum error_repeat_code { REP_UNSET = 0, REP_NONE = 1, REP_LATER = 2 };
enum error_system_code { SYS_UNSET = 0, SYS_STABLE = 1, SYS_UNSURE = 2, SYS_BROKEN = 3 };
enum error_support_code { SUPP_UNSET = 0, SUPP_NONE = 1, SUPP_MAYBE = 2, SUPP_NEED = 3 };

// The program's exception. Deliberately not derived from std::exception: handlers for standard
// exceptions must not swallow it. Codes are stored as given; the text operations map values outside
// their tables to their fall-backs.
class error {
public:
    // The codes are the constants above; they are kept as ints because stored values are not checked.
    error();
    error(int e_class, int e_rep, int e_sys, int e_supp);
    error(const error&) = default;
    error& operator=(const error&) = default;
    virtual ~error();

    // Appends the value, formatted as an output string stream formats it, to the newest part.
    template <typename T>
    error& operator<<(const T& value)
    {
        std::ostringstream out;
        out << value;
        parts.back() += out.str();
        return *this;
    }

    // Starts a new (newest) part; fills each code that is still 0 from the arguments.
    error& addMessage(int e_class, int e_rep, int e_sys, int e_supp);

    std::string getText() const;
    std::string getFullText() const;
    const char* getClassName() const;

    bool isReported(int channel) const;
    // Marks the error as already reported on an output channel (0 console, 1 error report).
    void setReported(int channel);
    void setSupportCode(int e_supp);

    std::deque<std::string> parts;  // oldest first
    int e_class;
    int e_rep;
    int e_sys;
    int e_supp;
    std::set<int> reported;
};

// The error of a failure of the program's own consistency at `file`:`line`.
error internal_error(const char* file, int line, int e_sys = SYS_STABLE);

#define KW_INTERNAL_ERROR() internal_error(__FILE__, __LINE__)

#endif
