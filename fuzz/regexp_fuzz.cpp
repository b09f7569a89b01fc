// Regular expressions from catalogue and build files, matched against a second text.
#include "common/Regexp.h"
#include "common/error.h"
#include "fuzz/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto texts = inputPair(data, size);
    const std::string subject = texts.second.substr(0, texts.second.find('\0'));
    try {
        Regexp expression(texts.first.c_str(), true);
        const bool matched = expression.match(subject.c_str());
        if (expression.matchSub(subject) != matched)
            __builtin_trap();  // the two ways of matching agree
        if (matched)
            for (int n = 0; n < expression.getNumSubexpr(); ++n)
                expression.getMatch(n);
        Regexp plain(texts.first.c_str(), false);
        if (plain.match(subject.c_str()) != matched)
            __builtin_trap();
    } catch (const error&) {
    }
    return 0;
}
