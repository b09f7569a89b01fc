#ifndef KW_COMMON_REGEXP_H
#define KW_COMMON_REGEXP_H

#include <string>
#include <vector>

// A handle to a compiled POSIX extended regular expression (Boost.Regex's POSIX-style interface:
// it knows \d and its own error texts). Copies share the compiled expression; a handle and its
// copies belong to one thread.
class Regexp {
public:
    // The shared compiled expression, defined where the POSIX-style interface is included: its
    // header defines regcomp, regex_t and friends as macros.
    struct rep;

    // Throws error "err_bad_regexp" when the pattern does not compile. Without sub-expressions the
    // expression can only answer whether it matches.
    Regexp(const char* pattern, bool with_sub_expressions);
    Regexp(const Regexp& other);
    Regexp& operator=(const Regexp& other);
    ~Regexp();

    // Whether the expression matches somewhere in text.
    bool match(const char* text) const;
    // The number of sub-expressions plus one (the whole match).
    int getNumSubexpr() const;
    // Matches and stores the sub-match texts; a slot that took no part in the match is empty.
    bool matchSub(const std::string& text);
    // The n-th stored sub-match (0 is the whole match); std::out_of_range past the stored ones.
    std::string getMatch(int n) const;

private:
    void release();

    rep* shared;
    std::vector<std::string> subMatches;
};

// True when one of the expressions matches text; the first match ends the search.
bool match_any(const std::vector<Regexp>& expressions, const std::string& text);

#endif
