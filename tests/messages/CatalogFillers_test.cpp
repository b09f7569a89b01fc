// Every text that callers format goes through Boost.Format with as many arguments as its callers
// pass. The program formats leniently (common/format_message.h), so a text with another number of
// directives would quietly lose or drop a value there; here each compiled catalog is formatted with
// Boost's errors on, so such a text fails.
#include "messages/CatalogFillers.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <boost/format.hpp>
#include <gtest/gtest.h>

#include "common/Messages.h"

namespace {

// The example values that the command help passes for %1%, %2% and %3%.
const std::vector<std::string> kUsageArguments = {"zanth", "12.5.30", "ZANTH_12_5_30"};

// key -> the placeholders that its callers fill, as the reference data lists them.
std::map<std::string, std::vector<std::string>> readPlaceholders()
{
    std::map<std::string, std::vector<std::string>> result;
    std::ifstream in(KW_TEST_DATA_DIR "/messages/placeholders.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string key, placeholder;
        std::getline(fields, key, '\t');
        while (fields >> placeholder)
            result[key].push_back(placeholder);
    }
    return result;
}

// Every locale the program has tables for, English first.
std::vector<std::string> localeCodes()
{
    std::vector<std::string> codes = {"en_US"};
    codes.insert(codes.end(), translatedLocaleCodes().begin(), translatedLocaleCodes().end());
    return codes;
}

// The catalog that the program builds for a locale: English with the locale's tables over it.
std::map<std::string, std::string> catalogFor(const std::string& code)
{
    return Messages::messages_rep(code == "en_US" ? code : code + ".UTF-8").messages;
}

std::string formatPrintf(const std::string& text, size_t arguments)
{
    boost::format format(text);
    for (size_t i = 1; i <= arguments; ++i)
        format % ("<arg" + std::to_string(i) + ">");
    return format.str();
}

// The command help tolerates texts that use fewer of the three values; every other fault throws.
std::string formatUsage(const std::string& text)
{
    boost::format format(text);
    format.exceptions(boost::io::all_error_bits ^ boost::io::too_many_args_bit);
    for (const std::string& value : kUsageArguments)
        format % value;
    return format.str();
}

// Formats one text the way its callers do and returns what went wrong, if anything.
std::string formatProblem(const std::string& text, const std::vector<std::string>& placeholders)
{
    size_t printf = 0;
    bool numbered = false;
    for (const std::string& p : placeholders) {
        printf += p == "%s";
        numbered = numbered || (p.size() == 3 && p.front() == '%' && p.back() == '%');
    }
    try {
        if (numbered) {
            const std::string result = formatUsage(text);
            for (const std::string& p : placeholders)
                if (result.find(kUsageArguments.at(p[1] - '1')) == std::string::npos)
                    return "the value of " + p + " does not appear";
        } else if (printf > 0) {
            const std::string result = formatPrintf(text, printf);
            for (size_t i = 1; i <= printf; ++i)
                if (result.find("<arg" + std::to_string(i) + ">") == std::string::npos)
                    return "argument " + std::to_string(i) + " does not appear";
        }
    } catch (const boost::io::format_error& e) {
        return e.what();
    }
    return "";
}

TEST(CatalogFormat, MismatchedTextsThrowBoostErrors)
{
    EXPECT_THROW(formatPrintf("file %s: %s", 1), boost::io::too_few_args);
    EXPECT_THROW(formatPrintf("file %s", 2), boost::io::too_many_args);
    EXPECT_THROW(formatPrintf("100% done", 0), boost::io::format_error);
    EXPECT_THROW(formatUsage("upgrade %1% %4%"), boost::io::format_error);
    EXPECT_EQ(formatUsage("install %1%"), "install zanth");
}

TEST(CatalogFormat, EveryTextWithPlaceholdersFormatsWithItsCallersArguments)
{
    const auto placeholders = readPlaceholders();
    ASSERT_EQ(placeholders.size(), 150u);
    for (const std::string& code : localeCodes()) {
        const auto catalog = catalogFor(code);
        for (const auto& [key, list] : placeholders) {
            const auto found = catalog.find(key);
            ASSERT_NE(found, catalog.end()) << code << ": " << key;
            EXPECT_EQ(formatProblem(found->second, list), "") << code << ": " << key;
        }
    }
}

TEST(CatalogFormat, CommandHelpFormatsWithTheThreeExampleValues)
{
    // Each command's description as the command help joins it (blank line, line break).
    const std::vector<std::vector<std::string>> helps = {
        {"usage_cmd_version"},
        {"usage_cmd_help"},
        {"usage_cmd_list_all"},
        {"usage_cmd_list", "usage_selector", "usage_cmd_list_tail"},
        {"usage_cmd_install", "usage_components", "usage_selector", "usage_cmd_install_tail"},
        {"usage_cmd_upgrade", "usage_selector", "usage_cmd_upgrade_tail"},
        {"usage_cmd_update", "usage_product", "usage_cmd_update_tail"},
        {"usage_cmd_add", "usage_components", "usage_product", "usage_cmd_add_remove_tail"},
        {"usage_cmd_remove", "usage_components", "usage_product", "usage_cmd_add_remove_tail"},
        {"usage_cmd_stop"},
    };
    for (const std::string& code : localeCodes()) {
        const auto catalog = catalogFor(code);
        for (const auto& keys : helps) {
            std::string text = catalog.at(keys[0]);
            for (size_t i = 1; i < keys.size(); ++i)
                text += (i == 1 ? "\n\n" : "\n") + catalog.at(keys[i]);
            EXPECT_NO_THROW(formatUsage(text)) << code << ": " << keys[0];
        }
        EXPECT_NE(formatUsage(catalog.at("usage_cmd_upgrade_tail")).find("upgrade ZANTH_12_5_30"), std::string::npos)
            << code;
    }
}

TEST(CatalogFormat, ComponentErrorsFormatWithTheirAdviceAppended)
{
    // The advice text is appended to the format before the names are filled in.
    for (const std::string& code : localeCodes()) {
        const auto catalog = catalogFor(code);
        const std::string advice = catalog.at("err_comps_not_found_use_list");
        EXPECT_NO_THROW(formatPrintf(catalog.at("err_comps_not_found") + advice, 1)) << code;
        EXPECT_NO_THROW(formatPrintf(catalog.at("err_comps_not_found_in_prod") + advice, 2)) << code;
    }
}

}  // namespace
