#include "common/textutils.h"

#include <cstring>
#include <tuple>

#include <boost/regex.hpp>
#include <boost/token_functions.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/thrown.h"

namespace {

typedef std::vector<std::string> words;

TEST(TextUtilsTest, SplitCommaList)
{
    const std::pair<std::string, words> cases[] = {
        {"", {}},
        {" , ,,\t, ", {}},
        {"a,b", {"a", "b"}},
        {" a , b ,", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},  // inner empty fields stay
        {", ,a, ,b, ,", {"a", "", "b"}},
        {"\"x, y\",z", {"x, y", "z"}},  // a quoted field keeps its commas
        {"a\\,b", {"a,b"}},
        {"a\\nb", {"a\nb"}},
        {"\"a\\\"b\\\\c\"", {"a\"b\\c"}},
        {"\"never closed, x", {"never closed, x"}},
        {"  \" spaced \"  ", {"spaced"}},
        {"a\"b\"c,d", {"abc", "d"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(split_comma_list(c.first), c.second) << c.first;

    EXPECT_THROW(split_comma_list("a\\x,b"), boost::escaped_list_error);
    EXPECT_THROW(split_comma_list("a,b\\"), boost::escaped_list_error);
}

TEST(TextUtilsTest, SplitQuoted)
{
    const std::pair<std::string, words> cases[] = {
        {"", {}},
        {" \t\n ", {}},
        {"  a  b\tc ", {"a", "b", "c"}},
        {"\"x y\" 'z w'", {"x y", "z w"}},
        {"'a\\b'", {"a\\b"}},  // nothing is escaped in single quotes
        {"\"a\\\"b\\\\c\\d\"", {"a\"b\\cd"}},
        {"\"unclosed rest  of it", {"unclosed rest  of it"}},
        {"'unclosed", {"unclosed"}},
        {"a\"b\"c it's", {"a\"b\"c", "it's"}},  // quotes inside a plain word are ordinary
        {"\"\"", {""}},
        {"'' x", {"", "x"}},
        {"'x'\t\"y\"\n", {"x", "y"}},
        {"\"ab\\", {"ab"}},  // a backslash at the very end is dropped
    };
    for (const auto& c : cases)
        EXPECT_EQ(split_quoted(c.first), c.second) << c.first;

    for (const std::string text : {"one \"two\"three", "'a'b", "x \"\"'y'"}) {
        SCOPED_TRACE(text);
        const error e = caught([&] { split_quoted(text); });
        EXPECT_EQ(e.getText(), format_message(Messages().get("err_spsepval"), text) + "\n");
        EXPECT_EQ(codes(e), std::make_tuple(0, 1, 1, 2));
    }
}

TEST(TextUtilsTest, Booleans)
{
    const std::pair<const char*, bool> cases[] = {
        {"true", true}, {"1", true},    {"yes", true},   {"on", true},   {"", false},    {"false", false}, {"0", false},
        {"no", false},  {"off", false}, {"True", false}, {"YES", false}, {" on", false}, {"2", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(string_to_bool(c.first), c.second) << c.first;
        EXPECT_EQ(cstr_to_bool(c.first), c.second) << c.first;
    }
    EXPECT_FALSE(cstr_to_bool(nullptr));
}

TEST(TextUtilsTest, UnknownBooleanIsLogged)
{
    const ChildResult result = runInChild([] {
        Log::consoleLevel = 2;
        for (const char* text : {"", "off", "on", "True"})
            string_to_bool(text);
        return 0;
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "Converting to boolean: 'True' has been converted to 'false'\n");
}

TEST(TextUtilsTest, StringToLong)
{
    const std::pair<const char*, long> cases[] = {
        {"", 0},     {"0", 0},   {"-5", -5},
        {"+12", 12}, {"007", 7}, {"12-3", 12},
        {"--1", 0},  {"-", 0},   {"9223372036854775807", 9223372036854775807L}};
    for (const auto& c : cases)
        EXPECT_EQ(string_to_long(c.first), c.second) << c.first;

    for (const char* text : {"1 2", " 1", "0x10", "1.5", "12a", "\xd9\xa3"}) {
        SCOPED_TRACE(text);
        const error e = caught([&] { string_to_long(text); });
        EXPECT_EQ(e.getText(), Messages().get("err_non_digit") + "\n");
        EXPECT_EQ(codes(e), std::make_tuple(0, 0, 0, 0));
    }
}

TEST(TextUtilsTest, Trimming)
{
    const std::string all_blanks = " \t\n\v\f\r";
    EXPECT_EQ(trim(all_blanks + "x y" + all_blanks), "x y");
    EXPECT_EQ(trim(all_blanks), "");
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim("a"), "a");
    EXPECT_EQ(trim_right(all_blanks + "a b" + all_blanks), all_blanks + "a b");
    EXPECT_EQ(trim_right(all_blanks), "");

    // The in-place functions on C buffers: (function, text, result).
    const std::tuple<void (*)(char*), const char*, const char*> in_place[] = {
        {trim_in_place, " \t ab c\r\n", "ab c"}, {trim_in_place, " \n\v ", ""}, {trim_in_place, "a\tb", "a\tb"},
        {chomp_newline, "a\n\n", "a\n"},         {chomp_newline, "a\r", "a\r"}, {chomp_newline, "", ""},
    };
    for (const auto& c : in_place) {
        std::vector<char> buffer(std::get<1>(c), std::get<1>(c) + std::strlen(std::get<1>(c)) + 1);
        std::get<0>(c)(buffer.data());
        EXPECT_STREQ(buffer.data(), std::get<2>(c)) << std::get<1>(c);
    }
    trim_in_place(nullptr);
    chomp_newline(nullptr);
}

TEST(TextUtilsTest, SmallTextFunctions)
{
    std::string mixed = "MiXeD 1-Z\xc4";
    to_lower_in_place(mixed);
    EXPECT_EQ(mixed, "mixed 1-z\xc4");

    const std::tuple<const char*, const char*, bool> suffixes[] = {{"pkg.deb", ".deb", true},
                                                                   {"pkg.rpm", ".deb", false},
                                                                   {"deb", ".deb", false},
                                                                   {".deb", ".deb", true},
                                                                   {"x", "", true},
                                                                   {"", "", true},
                                                                   {"1.0.0.127.in-addr.arpa", ".in-addr.arpa", true},
                                                                   {"PKG.DEB", ".deb", false}};
    for (const auto& c : suffixes)
        EXPECT_EQ(ends_with(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << std::get<0>(c);

    EXPECT_EQ(major_version("7.9.2"), "7");
    EXPECT_EQ(major_version("12"), "12");
    EXPECT_EQ(major_version(""), "");
    EXPECT_EQ(major_version(".5"), "");
}

TEST(TextUtilsTest, Escapes)
{
    const std::string raw("a\"b\\c\n\xff\x01 ~\x7f", 11);
    EXPECT_EQ(quote_c_string(raw), "\"a\\\"b\\\\c\\x0a\\xff\\x01 ~\\x7f\"");
    EXPECT_EQ(to_c_literal(raw), quote_c_string(raw));
    EXPECT_EQ(quote_c_string(std::string("\0", 1)), "\"\\x00\"");

    EXPECT_EQ(to_js_string("\t\n\f\"&'/<>\\\r\x01\x1f x\xc3\xa9"),
              "\"\\t<br>\\n\\f&quot;&amp;&apos;\\/&lt;&gt;\\\\ x\xc3\xa9\"");
    EXPECT_EQ(to_js_string(""), "\"\"");

    EXPECT_EQ(newlines_to_br("a\r\nb\n<i>&"), "a<br />\nb<br />\n<i>&");
}

TEST(TextUtilsTest, EscapedTextMatchesItselfLiterally)
{
    EXPECT_EQ(escape_regex("plain text-1_2"), "plain text-1_2");
    EXPECT_EQ(escape_regex("a.b*c\\d"), "a\\.b\\*c\\\\d");
    const std::string texts[] = {".^$|()[]{}*+?\\", "kitwright-3.0.1+b(2)", "[a-z]{2,}$", "x|y"};
    for (const std::string& text : texts) {
        for (auto syntax : {boost::regex::perl, boost::regex::extended}) {
            const boost::regex pattern(escape_regex(text), syntax);
            EXPECT_TRUE(boost::regex_match(text, pattern)) << text;
            EXPECT_FALSE(boost::regex_match(text + "x", pattern)) << text;
        }
    }
}

// What /bin/sh makes of a command word: the text printf receives.
std::string shell_reading(const std::string& word)
{
    return shellOutput("printf '%s' " + word);
}

TEST(TextUtilsTest, ShellQuotingSurvivesTheShell)
{
    EXPECT_EQ(shell_quote("Kitwright report"), "'Kitwright report'");
    EXPECT_EQ(shell_word("admin@example.com"), "admin@example.com");
    EXPECT_EQ(shell_word("a-b_c.d/e:f,g+h=i%j"), "a-b_c.d/e:f,g+h=i%j");
    EXPECT_EQ(shell_word(""), "''");

    const std::string hostile[] = {"it's", "a; echo injected", "$(id)", "`id`", "'\\''", "x\ny",
                                   "*",    "\"$HOME\"",        "a b",   "' ; '"};
    for (const std::string& text : hostile) {
        EXPECT_EQ(shell_reading(shell_quote(text)), text);
        EXPECT_EQ(shell_reading(shell_word(text)), text);
        EXPECT_EQ(shell_reading(shell_double_quote(text)), text);
    }
    // Inside double quotes: an ordinary path reads as its C literal, and bytes beyond ASCII stay.
    EXPECT_EQ(shell_double_quote("/tmp/check script.sh"), to_c_literal("/tmp/check script.sh"));
    const std::string more[] = {"pa$$w", "a\\b", "back`slash\\`", "caf\xc3\xa9", "\\$x", ""};
    for (const std::string& text : more)
        EXPECT_EQ(shell_reading(shell_double_quote(text)), text);
}

TEST(FormatMessageTest, NeverThrowsOnAMismatchedText)
{
    const std::pair<std::string, std::string> cases[] = {
        {format_message("a %s b %s", "1", "2"), "a 1 b 2"}, {format_message("a %s b %s", "1"), "a 1 b "},
        {format_message("a %s", "1", "2"), "a 1"},          {format_message("%2% then %1%", "x", "y"), "y then x"},
        {format_message("lone %", "z"), "lone %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.first, c.second);
}

}  // namespace
