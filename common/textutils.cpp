#include "common/textutils.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <boost/tokenizer.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"

namespace {

const Messages messages;

const char* const white_space = " \f\n\r\t\v";

bool is_space(char c)
{
    return c != '\0' && std::strchr(white_space, c) != nullptr;
}

}  // namespace

std::vector<std::string> split_comma_list(const std::string& text)
{
    typedef boost::tokenizer<boost::escaped_list_separator<char>> tokenizer;
    const tokenizer tokens(text, boost::escaped_list_separator<char>('\\', ',', '"'));

    std::vector<std::string> fields;
    for (const std::string& token : tokens)
        fields.push_back(trim(token));

    while (!fields.empty() && fields.back().empty())
        fields.pop_back();
    size_t first = 0;
    while (first < fields.size() && fields[first].empty())
        ++first;
    fields.erase(fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(first));
    return fields;
}

std::vector<std::string> split_quoted(const std::string& text)
{
    std::vector<std::string> words;
    size_t i = 0;
    const size_t n = text.size();
    while (true) {
        while (i < n && is_space(text[i]))
            ++i;
        if (i == n)
            return words;

        std::string word;
        const char quote = text[i] == '"' || text[i] == '\'' ? text[i] : '\0';
        if (quote) {
            ++i;
            while (i < n && text[i] != quote) {
                // A backslash as the very last character ends the word and is dropped.
                if (quote == '"' && text[i] == '\\' && ++i == n)
                    break;
                word += text[i++];
            }
            if (i < n) {
                ++i;  // the closing quote
                if (i < n && !is_space(text[i])) {
                    throw error(E_UNSET, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                        << format_message(messages.get("err_spsepval"), text);
                }
            }
        } else {
            while (i < n && !is_space(text[i]))
                word += text[i++];
        }
        words.push_back(word);
    }
}

bool string_to_bool(const std::string& text)
{
    if (text == "true" || text == "1" || text == "yes" || text == "on")
        return true;
    if (text.empty() || text == "false" || text == "0" || text == "no" || text == "off")
        return false;
    Log::stream(Log::LEVEL_VERBOSE, true) << "Converting to boolean: '" << text << "' has been converted to 'false'";
    return false;
}

bool cstr_to_bool(const char* text)
{
    return text != nullptr && string_to_bool(text);
}

long string_to_long(const std::string& text)
{
    if (text.find_first_not_of("+-0123456789") != std::string::npos) {
        throw error(E_UNSET, REP_UNSET, SYS_UNSET, SUPP_UNSET) << messages.get("err_non_digit");
    }
    errno = 0;
    return std::atol(text.c_str());
}

std::string trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(white_space);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(white_space) + 1 - first);
}

std::string trim_right(const std::string& text)
{
    const size_t last = text.find_last_not_of(white_space);
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::string pad_right(const std::string& text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

void trim_in_place(char* text)
{
    if (!text)
        return;
    const char* start = text;
    while (is_space(*start))
        ++start;
    size_t length = std::strlen(start);
    std::memmove(text, start, length + 1);
    while (length > 0 && is_space(text[length - 1]))
        text[--length] = '\0';
}

void chomp_newline(char* text)
{
    if (!text)
        return;
    const size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[length - 1] = '\0';
}

void to_lower_in_place(std::string& text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool ends_with(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string major_version(const std::string& version)
{
    return version.substr(0, version.find('.'));
}

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string quote_c_string(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (byte >= 0x20 && byte <= 0x7E) {
            quoted += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02x", byte);
            quoted += hex;
        }
    }
    return quoted + "\"";
}

std::string to_c_literal(const std::string& text)
{
    return quote_c_string(text);
}

std::string to_js_string(const std::string& text)
{
    std::string js = "\"";
    for (char c : text) {
        switch (c) {
        case '\t': js += "\\t"; break;
        case '\n': js += "<br>\\n"; break;
        case '\f': js += "\\f"; break;
        case '"': js += "&quot;"; break;
        case '&': js += "&amp;"; break;
        case '\'': js += "&apos;"; break;
        case '/': js += "\\/"; break;
        case '<': js += "&lt;"; break;
        case '>': js += "&gt;"; break;
        case '\\': js += "\\\\"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20)
                js += c;
        }
    }
    return js + "\"";
}

std::string newlines_to_br(const std::string& text)
{
    std::string html;
    for (char c : text) {
        if (c == '\n')
            html += "<br />\n";
        else if (c != '\r')
            html += c;
    }
    return html;
}

std::string escape_regex(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        if (c != '\0' && std::strchr(".^$|()[]{}*+?\\", c))
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string shell_quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string shell_double_quote(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string shell_word(const std::string& text)
{
    static const char plain[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789@%+=:,./_-";
    if (!text.empty() && text.find_first_not_of(plain) == std::string::npos)
        return text;
    return shell_quote(text);
}
