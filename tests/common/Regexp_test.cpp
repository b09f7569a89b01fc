#include "common/Regexp.h"

#include <regex.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

// Whether grep (with the given syntax switch) finds the pattern in the text.
bool grepFinds(const char* syntax, const std::string& pattern, const std::string& text)
{
    const std::string command =
        "printf '%s\\n' " + shell_quote(text) + " | grep " + syntax + " -q -e " + shell_quote(pattern) + " 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << command;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Expected {
    std::tuple<int, int, int, int> codes;
    std::string text;
};

void expectError(const std::function<void()>& call, const Expected& expected)
{
    const std::optional<error> e = thrown<error>(call);
    ASSERT_TRUE(e) << "no error: " << expected.text;
    EXPECT_EQ(codes(*e), expected.codes);
    EXPECT_EQ(e->getText(), expected.text + "\n");
}

TEST(RegexpTest, SearchesLikeGrepExtended)
{
    struct Case {
        const char* pattern;
        const char* text;
        bool matches;
    };
    const Case cases[] = {
        {"zanth", "my zanth panel", true},  // a search, not a whole match
        {"^zanth$", "my zanth panel", false},
        {"ZANTH", "zanth", false},
        {"^[a-z0-9.-]+$", "host-1.example.com", true},
        {"^[a-z0-9.-]+$", "Host_1", false},
        {"a|b", "xbx", true},
        {"^(ab)+$", "ababab", true},
        {"^(ab)+$", "ababa", false},
        {"^a{2,3}$", "aaa", true},
        {"^a{2,3}$", "aaaa", false},
        {"colou?r", "color", true},
        {"[[:digit:]]+", "v12", true},
        {"[[:space:]]", "nospace", false},
        {"\\.", "a.b", true},
        {"\\.", "ab", false},
        {"[^.]+\\.conf$", "apache.conf", true},
        {"^$", "", true},
        {"x*", "", true},
        // Newline-sensitive: '.' stops at a line end, '^' and '$' also match at inner line ends.
        {"a.b", "a\nb", false},
        {"^b", "a\nb", true},
        {"a$", "a\nb", true},
        {"^a\\.b$", "x\na.b\ny", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Regexp(c.pattern, false).match(c.text), c.matches) << c.pattern << " in " << c.text;
        EXPECT_EQ(Regexp(c.pattern, true).match(c.text), c.matches) << c.pattern << " in " << c.text;
        EXPECT_EQ(grepFinds("-E", c.pattern, c.text), c.matches) << c.pattern << " in " << c.text;
    }
}

TEST(RegexpTest, KnowsDigitEscapeLikeGrepPerl)
{
    // The POSIX interface of the C library has no \d; this one has.
    const std::pair<const char*, const char*> cases[] = {
        {"^\\d+$", "2024"},
        {"\\d", "abc"},
        {"v\\d+\\.\\d+", "v1.20"},
        {"^\\d{3}$", "12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Regexp(c.first, false).match(c.second), grepFinds("-P", c.first, c.second)) << c.first;
    EXPECT_TRUE(Regexp("^\\d+$", false).match("2024"));
}

TEST(RegexpTest, BadPatternGivesBoostsText)
{
    struct Case {
        const char* pattern;
        boost::regex_constants::error_type code;
    };
    const Case cases[] = {
        {"(abc", boost::regex_constants::error_paren},
        {"[abc", boost::regex_constants::error_brack},
        {"a{2", boost::regex_constants::error_brace},
    };
    for (const Case& c : cases) {
        const std::string text = boost::regex_traits<char>().error_string(c.code);
        expectError([&] { Regexp(c.pattern, false); },
                    {{0, 1, 1, 2}, format_message(messages.get("err_bad_regexp"), c.pattern, text)});

        // The C library's interface (which lacks \d) words the same fault otherwise.
        regex_t libc;
        const int code = regcomp(&libc, c.pattern, REG_EXTENDED | REG_NEWLINE);
        ASSERT_NE(code, 0) << c.pattern;
        char libc_text[4096];
        regerror(code, &libc, libc_text, sizeof(libc_text));
        EXPECT_NE(text, libc_text) << c.pattern;
    }
}

TEST(RegexpTest, SubMatches)
{
    Regexp re("^([a-z]+)-(([0-9]+)|x)?$", true);
    EXPECT_EQ(re.getNumSubexpr(), 4);
    expectError([&] { re.getMatch(0); }, {{3, 1, 1, 3}, messages.get("err_badmatch")});

    ASSERT_TRUE(re.matchSub("zanth-12"));
    EXPECT_EQ(re.getMatch(0), "zanth-12");
    EXPECT_EQ(re.getMatch(1), "zanth");
    EXPECT_EQ(re.getMatch(2), "12");
    EXPECT_EQ(re.getMatch(3), "12");
    EXPECT_THROW(re.getMatch(4), std::out_of_range);
    EXPECT_THROW(re.getMatch(-1), std::out_of_range);

    ASSERT_TRUE(re.matchSub("zanth-"));
    EXPECT_EQ(re.getMatch(2), "");  // took no part in the match
    EXPECT_EQ(re.getMatch(3), "");

    ASSERT_TRUE(re.matchSub("zanth-x"));
    EXPECT_EQ(re.getMatch(2), "x");
    EXPECT_EQ(re.getMatch(3), "");

    // A failed match leaves nothing stored.
    EXPECT_FALSE(re.matchSub("Zanth-12"));
    expectError([&] { re.getMatch(0); }, {{3, 1, 1, 3}, messages.get("err_badmatch")});
}

TEST(RegexpTest, MisuseErrors)
{
    Regexp plain("a", false);
    expectError([&] { plain.match(nullptr); }, {{3, 1, 1, 3}, messages.get("err_bad_match_arg")});
    expectError([&] { plain.getNumSubexpr(); }, {{3, 1, 1, 3}, messages.get("err_bad_subexpr")});
    expectError([&] { plain.matchSub("a"); }, {{3, 1, 1, 3}, messages.get("err_bad_subexpr2")});
    expectError([&] { plain.getMatch(0); }, {{3, 1, 1, 3}, messages.get("err_bad_submatch")});
}

TEST(RegexpTest, CopiesShareTheExpression)
{
    std::vector<Regexp> patterns;
    {
        Regexp original("^lib.*-dev$", true);
        ASSERT_TRUE(original.matchSub("libfoo-dev"));
        Regexp copy(original);
        EXPECT_EQ(copy.getMatch(0), "libfoo-dev");  // the stored matches are copied too
        patterns.push_back(copy);
        patterns.push_back(Regexp("^zanth-", false));
    }  // the copies outlive the original
    Regexp assigned("x", false);
    assigned = patterns[0];
    assigned = assigned;  // itself
    EXPECT_TRUE(assigned.match("libbar-dev"));
    assigned = patterns[1];
    EXPECT_TRUE(assigned.match("zanth-panel"));
    EXPECT_TRUE(patterns[0].match("libbar-dev"));

    EXPECT_TRUE(match_any(patterns, "zanth-mail"));
    EXPECT_TRUE(match_any(patterns, "libz-dev"));
    EXPECT_FALSE(match_any(patterns, "libz"));
    EXPECT_FALSE(match_any(std::vector<Regexp>(), "anything"));
}

}  // namespace
