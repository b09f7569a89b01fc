// Writes the message tables that the program compiled as JSON, for the catalog checker:
// {"en_US": {"general": {key: text, ...}, "web": {...}, "errors": {...}}, "ar": {...}, ...}
// Each table is one filler run over an empty map, so a table shows exactly the pairs it writes.
// With locale codes as arguments only those locales are written, otherwise every compiled one.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "messages/CatalogFillers.h"

namespace {

// Texts are written byte for byte; only what JSON cannot hold raw is escaped, so a text that is
// not valid UTF-8 reaches the checker as it is.
void writeJsonString(std::ostream& out, const std::string& text)
{
    out << '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (c == '\n') {
            out << "\\n";
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out << escaped;
        } else {
            out << c;
        }
    }
    out << '"';
}

void writeTable(std::ostream& out, void (*filler)(CatalogTable&))
{
    CatalogTable table;
    filler(table);
    out << '{';
    const char* separator = "";
    for (const auto& [key, text] : table.messages) {
        out << separator;
        writeJsonString(out, key);
        out << ": ";
        writeJsonString(out, text);
        separator = ", ";
    }
    out << '}';
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> codes(argv + 1, argv + argc);
    if (codes.empty()) {
        codes.push_back("en_US");
        codes.insert(codes.end(), translatedLocaleCodes().begin(), translatedLocaleCodes().end());
    }
    std::cout << "{\n";
    for (size_t i = 0; i < codes.size(); ++i) {
        const TableFillers* fillers = catalogFillers(codes[i]);
        if (!fillers) {
            std::cerr << "catalog_dump: no tables for the locale code " << codes[i] << "\n";
            return 1;
        }
        writeJsonString(std::cout, codes[i]);
        std::cout << ": {\"general\": ";
        writeTable(std::cout, fillers->general);
        std::cout << ",\n  \"web\": ";
        writeTable(std::cout, fillers->web);
        std::cout << ",\n  \"errors\": ";
        writeTable(std::cout, fillers->errors);
        std::cout << (i + 1 < codes.size() ? "},\n" : "}\n");
    }
    std::cout << "}\n";
    return std::cout ? 0 : 1;
}
