#ifndef KW_FUZZ_SUPPORT_FUZZINPUT_H
#define KW_FUZZ_SUPPORT_FUZZINPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// The input as a text, and split in two at its first NUL byte (the second part empty without one),
// for targets that need two texts.
inline std::string inputText(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

inline std::pair<std::string, std::string> inputPair(const uint8_t* data, size_t size)
{
    const std::string text = inputText(data, size);
    const size_t nul = text.find('\0');
    if (nul == std::string::npos)
        return {text, std::string()};
    return {text.substr(0, nul), text.substr(nul + 1)};
}

// The text up to its first NUL: what a parser reading C strings sees.
inline std::string inputCString(const uint8_t* data, size_t size)
{
    const std::string text = inputText(data, size);
    return text.substr(0, text.find('\0'));
}

#endif
