#ifndef KW_TESTS_SUPPORT_THROWN_H
#define KW_TESTS_SUPPORT_THROWN_H

#include <functional>
#include <optional>
#include <tuple>

#include <gtest/gtest.h>

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

// The exception of type E that the call must throw; a test failure, and a default E, when it throws none.
template <typename E = error>
E caught(const std::function<void()>& call)
{
    if (std::optional<E> e = thrown<E>(call))
        return *e;
    ADD_FAILURE() << "no exception was thrown";
    return E();
}

// The four codes of an error, in the constructor's order, for one comparison.
inline std::tuple<int, int, int, int> codes(const error& e)
{
    return std::make_tuple(e.e_class, e.e_rep, e.e_sys, e.e_supp);
}

#endif
