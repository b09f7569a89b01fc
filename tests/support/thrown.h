#ifndef KW_TESTS_SUPPORT_THROWN_H
#define KW_TESTS_SUPPORT_THROWN_H

#include <functional>
#include <optional>
#include <tuple>

#include "common/error.h"

// The exception of type E that the call throws; empty when it throws none. Other exceptions pass.
template <typename E>
std::optional<E> thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const E& e) {
        return e;
    }
    return std::nullopt;
}

// The four codes of an error, in the constructor's order, for one comparison.
inline std::tuple<int, int, int, int> codes(const error& e)
{
    return std::make_tuple(e.e_class, e.e_rep, e.e_sys, e.e_supp);
}

#endif
