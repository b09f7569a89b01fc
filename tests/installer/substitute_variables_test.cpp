#include "installer/substitute_variables.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "tests/support/ChildProcess.h"

namespace {

TEST(SubstituteVariablesTest, LocaleAndOtherBracketedNames)
{
    struct Case {
        std::string text, expected;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"[LOCALE]/docs", "de-DE/docs"},
        {"[LOCALE][LOCALE]", "de-DEde-DE"},
        {"[[LOCALE]]", "[[LOCALE]]"},  // the name is "[LOCALE"
        {"[x][LOCALE]", "[x]de-DE"},
        {"[locale]", "[locale]"},  // names are case-sensitive
        {"[LOCALE", "[LOCALE"},
        {"]LOCALE[", "]LOCALE["},
        {"a[]b[LOCALE]c", "a[]bde-DEc"},
    };
    ChildOptions options;
    options.env = {{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "de_DE.UTF-8"}};
    const ChildResult result = runChecksInChild(
        [&cases] {
            for (const Case& c : cases) {
                std::string text = c.text;
                substitute_variables(text);
                EXPECT_EQ(text, c.expected) << c.text;
            }
            // Worked out at every call: a later change of the locale shows.
            Messages::setLocale("pt_BR");
            std::string text = "[LOCALE]/docs";
            substitute_variables(text);
            EXPECT_EQ(text, "pt-BR/docs");
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
