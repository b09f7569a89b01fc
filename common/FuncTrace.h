#ifndef KW_COMMON_FUNCTRACE_H
#define KW_COMMON_FUNCTRACE_H

#include <sstream>
#include <string>

// Logs the entry into a scope and its end at the debug level, telling a normal return from the
// unwinding of an exception; the resolver's trace of every operation.
class FuncTrace {
public:
    // The name is the streamed parts.
    template <typename... Parts>
    explicit FuncTrace(const Parts&... parts) : FuncTrace(nameOf(parts...), 0)
    {
    }
    ~FuncTrace();
    FuncTrace(const FuncTrace&) = delete;
    FuncTrace& operator=(const FuncTrace&) = delete;

private:
    template <typename... Parts>
    static std::string nameOf(const Parts&... parts)
    {
        std::ostringstream out;
        (out << ... << parts);
        return out.str();
    }
    FuncTrace(const std::string& name, int);

    std::string name;
    int exceptions;  // in flight when the scope began
};

#endif
