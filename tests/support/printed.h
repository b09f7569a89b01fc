#ifndef KW_TESTS_SUPPORT_PRINTED_H
#define KW_TESTS_SUPPORT_PRINTED_H

#include <sstream>
#include <string>

#include <boost/shared_ptr.hpp>

// What streaming the object writes; pointers and shared pointers print what they point to.
template <typename T>
std::string printed(const T& value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

template <typename T>
std::string printed(T* value)
{
    return printed(*value);
}

template <typename T>
std::string printed(const boost::shared_ptr<T>& value)
{
    return printed(*value);
}

#endif
