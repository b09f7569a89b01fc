#ifndef KW_COMMON_ERROR_H
#define KW_COMMON_ERROR_H

#include <deque>
#include <set>
#include <sstream>
#include <string>

// The program's exception. Deliberately not derived from std::exception: handlers for standard
// exceptions must not swallow it. Codes are stored as given; the text operations map values outside
// their tables to their fall-backs.
class error {
public:
    // e_class: 1 repository, 2 user, 3 internal, 4 system, 5 dependencies, 6 packages
    // e_rep:   1 none, 2 try again later
    // e_sys:   1 stable, 2 unsure, 3 broken
    // e_supp:  1 none, 2 maybe, 3 need
    // 0 means unset for every code.
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
error internal_error(const char* file, int line, int e_sys = 1);

#define KW_INTERNAL_ERROR() internal_error(__FILE__, __LINE__)

#endif
