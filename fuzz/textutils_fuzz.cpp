// The text utilities that read outside text: list splitting, numbers, quoting and escaping.
#include <boost/tokenizer.hpp>

#include "common/Regexp.h"
#include "common/error.h"
#include "common/textutils.h"
#include "fuzz/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = inputText(data, size);
    try {
        split_comma_list(text);
    } catch (const boost::escaped_list_error&) {
    }
    try {
        split_quoted(text);
    } catch (const error&) {
    }
    try {
        string_to_long(text);
    } catch (const error&) {
    }
    string_to_bool(text);
    const std::string trimmed = trim(text);
    if (trim(trimmed) != trimmed || trim_right(trimmed) != trimmed)
        __builtin_trap();
    major_version(text);
    to_js_string(text);
    newlines_to_br(text);
    std::string lower = text;
    to_lower_in_place(lower);

    // Quoted forms stay on one line of printable text.
    for (const std::string& quoted : {quote_c_string(text), to_c_literal(text)})
        for (char c : quoted)
            if (c < 0x20 || c > 0x7e)
                __builtin_trap();
    const std::string word = shell_quote(text);
    if (word.size() < 2 || word.front() != '\'' || word.back() != '\'')
        __builtin_trap();
    shell_word(text);

    // An escaped text matches itself literally, as a whole.
    const std::string c_text = inputCString(data, size);
    const Regexp literal(("^" + escape_regex(c_text) + "$").c_str(), false);
    if (!literal.match(c_text.c_str()))
        __builtin_trap();
    return 0;
}
