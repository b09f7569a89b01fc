#ifndef KW_COMMON_FORMAT_MESSAGE_H
#define KW_COMMON_FORMAT_MESSAGE_H

#include <string>

#include <boost/format.hpp>

// Fills the printf-style places of a catalog text in order. A translation with more or fewer places
// than the caller's arguments (or a missing key) must not turn the report of a failure into another
// failure, so every format exception is switched off: missing values stay empty, extra ones are dropped.
template <typename... Args>
std::string format_message(const std::string& text, const Args&... args)
{
    boost::format format;
    format.exceptions(boost::io::no_error_bits);  // before parsing: a lone '%' must not throw either
    format.parse(text);
    (void)(format % ... % args);
    return format.str();
}

#endif
