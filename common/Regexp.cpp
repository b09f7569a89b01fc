#include "common/Regexp.h"

#include <boost/cregex.hpp>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"

namespace {

const Messages messages;

const int ERROR_BUFFER_SIZE = 4096;

// The failures of a handle: the catalog text of key, with repeat advice none and a stable system.
[[noreturn]] void fail(int e_class, int e_supp, const char* key)
{
    throw error(e_class, REP_NONE, SYS_STABLE, e_supp) << messages.get(key);
}

}  // namespace

struct Regexp::rep {
    int count;
    bool withSubExpressions;
    boost::regex_t compiled;
};

Regexp::Regexp(const char* pattern, bool with_sub_expressions) : shared(nullptr)
{
    if (!pattern)
        throw KW_INTERNAL_ERROR();
    rep* compiled = new rep;
    compiled->count = 1;
    compiled->withSubExpressions = with_sub_expressions;
    int flags = boost::REG_EXTENDED | boost::REG_NEWLINE;
    if (!with_sub_expressions)
        flags |= boost::REG_NOSUB;
    const int result = boost::regcomp(&compiled->compiled, pattern, flags);
    if (result != 0) {
        char text[ERROR_BUFFER_SIZE];
        boost::regerror(result, &compiled->compiled, text, sizeof(text));
        delete compiled;  // a failed regcomp keeps nothing to free
        throw error(E_UNSET, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_bad_regexp"), pattern, text);
    }
    shared = compiled;
}

Regexp::Regexp(const Regexp& other) : shared(other.shared), subMatches(other.subMatches)
{
    ++shared->count;
}

Regexp& Regexp::operator=(const Regexp& other)
{
    ++other.shared->count;  // first, so that assigning a handle to itself keeps the expression
    release();
    shared = other.shared;
    subMatches = other.subMatches;
    return *this;
}

Regexp::~Regexp()
{
    release();
}

void Regexp::release()
{
    if (--shared->count == 0) {
        boost::regfree(&shared->compiled);
        delete shared;
    }
}

bool Regexp::match(const char* text) const
{
    if (!text)
        fail(E_INTERNAL, SUPP_NEED, "err_bad_match_arg");
    const int result = boost::regexec(&shared->compiled, text, 0, nullptr, 0);
    if (result == 0)
        return true;
    if (result == static_cast<int>(boost::REG_ESPACE))
        fail(E_UNSET, SUPP_MAYBE, "err_regexp_nomem");
    return false;
}

int Regexp::getNumSubexpr() const
{
    if (!shared->withSubExpressions)
        fail(E_INTERNAL, SUPP_NEED, "err_bad_subexpr");
    return static_cast<int>(shared->compiled.re_nsub) + 1;
}

bool Regexp::matchSub(const std::string& text)
{
    if (!shared->withSubExpressions)
        fail(E_INTERNAL, SUPP_NEED, "err_bad_subexpr2");
    subMatches.clear();
    std::vector<boost::regmatch_t> slots(shared->compiled.re_nsub + 1);
    const int result = boost::regexec(&shared->compiled, text.c_str(), slots.size(), slots.data(), 0);
    if (result == 0) {
        for (const boost::regmatch_t& slot : slots)
            subMatches.push_back(slot.rm_so < 0 ? std::string() : text.substr(slot.rm_so, slot.rm_eo - slot.rm_so));
        return true;
    }
    if (result == static_cast<int>(boost::REG_ESPACE))
        fail(E_UNSET, SUPP_NEED, "err_regexp_nomem2");
    return false;
}

std::string Regexp::getMatch(int n) const
{
    if (!shared->withSubExpressions)
        fail(E_INTERNAL, SUPP_NEED, "err_bad_submatch");
    if (subMatches.empty())
        fail(E_INTERNAL, SUPP_NEED, "err_badmatch");
    return subMatches.at(static_cast<size_t>(n));
}

bool match_any(const std::vector<Regexp>& expressions, const std::string& text)
{
    for (const Regexp& expression : expressions)
        if (expression.match(text.c_str()))
            return true;
    return false;
}
