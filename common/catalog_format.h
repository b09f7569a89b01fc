#ifndef KW_COMMON_CATALOG_FORMAT_H
#define KW_COMMON_CATALOG_FORMAT_H

#include <string>

#include <boost/format.hpp>

// Fills the placeholders (%s, %1%) of a catalog text in order. A translation with a missing, surplus
// or malformed placeholder yields what fits instead of throwing: these texts are built on the way to
// reporting another failure, which must not be lost.
template <typename... Args>
std::string catalog_format(const std::string& text, const Args&... args)
{
    boost::format format;
    format.exceptions(boost::io::no_error_bits);
    format.parse(text);
    (void)(format % ... % args);
    return format.str();
}

#endif
