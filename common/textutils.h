#ifndef KW_COMMON_TEXTUTILS_H
#define KW_COMMON_TEXTUTILS_H

#include <string>
#include <vector>

// Small stateless text functions. "White space" is that of the C locale, in which the program runs:
// blank, tab, newline, vertical tab, form feed and carriage return.

// Splits a comma-separated list (double quotes group, backslash escapes), trims every field and drops
// the empty fields at both ends; empty fields between others stay. A bad escape passes Boost's
// escaped_list_error on.
std::vector<std::string> split_comma_list(const std::string& text);
// Splits at white space; single- or double-quoted words may hold white space. A closing quote that is
// not followed by white space or the end throws "err_spsepval".
std::vector<std::string> split_quoted(const std::string& text);

bool string_to_bool(const std::string& text);
bool cstr_to_bool(const char* text);
// atol of a text made only of '+', '-' and digits; any other character throws "err_non_digit".
long string_to_long(const std::string& text);

// The value of one hexadecimal digit of either case; -1 for any other character.
int hex_digit_value(char c);
std::string trim(const std::string& text);
std::string trim_right(const std::string& text);
void trim_in_place(char* text);
void chomp_newline(char* text);
void to_lower_in_place(std::string& text);
bool ends_with(const std::string& text, const std::string& suffix);
// The text padded with blanks on the right to `width` characters; a longer text is kept whole.
std::string pad_right(const std::string& text, size_t width);
// The text before the first '.', or the whole version.
std::string major_version(const std::string& version);

// The text as a C-style literal in double quotes; bytes outside 0x20-0x7E become \xhh.
std::string quote_c_string(const std::string& text);
std::string to_c_literal(const std::string& text);
// The text as a JavaScript string literal for a page, with HTML entities for markup characters.
std::string to_js_string(const std::string& text);
std::string newlines_to_br(const std::string& text);
// The text with every regular-expression metacharacter escaped, so that it matches literally.
std::string escape_regex(const std::string& text);

// The text as one /bin/sh word in single quotes, whatever it holds.
std::string shell_quote(const std::string& text);
// The text as one /bin/sh word in double quotes, whatever it holds: a backslash before '"', '\\', '$'
// and '`', every other byte as itself. For an ordinary path it is the C literal of the path.
std::string shell_double_quote(const std::string& text);
// The text unchanged when it is a plain word for /bin/sh (letters, digits and @%+=:,./_-),
// otherwise as `shell_quote` gives it: ordinary names keep their usual look in commands.
std::string shell_word(const std::string& text);

#endif
