#include "installer/Component.h"

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Messages.h"
#include "common/RPMPackage.h"
#include "common/format_message.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

TEST(Component, TextFormSplitsAtTheFirstBlank)
{
    struct Case {
        const char* text;
        const char* name;
        const char* description;
    };
    const Case cases[] = {
        {"web Web server tools", "web", "Web server tools"},
        {"web  two blanks", "web", " two blanks"},
        {"web", "web", "web(no description available"},
        {"web ", "web", "web(no description available"},
        {"web\tsite", "web\tsite", "web\tsite(no description available"},
    };
    for (const Case& c : cases) {
        const Component component(c.text);
        EXPECT_EQ(component.name, c.name) << c.text;
        EXPECT_EQ(component.description, c.description) << c.text;
        EXPECT_TRUE(component.packages.empty() && component.keypackages.empty() && component.classes.empty());
        EXPECT_TRUE(component.uninstall_support);
        EXPECT_FALSE(component.hidden || component.show_installed_hidden);
    }
    for (const char* text : {"", " web", " "}) {
        const error e = caught([&] { Component component(text); });
        EXPECT_EQ(e.getText(), messages.get("err_bad_component") + "\n") << '"' << text << '"';
        EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 1));
    }
}

TEST(Component, PackageKindIsThatOfTheFirstPackage)
{
    DebPackage deb("zanth-core", "1.0-1");
    RPMPackage rpm("zanth-core", "1.0-1");
    Component component("core Core");
    const error e = caught([&] { component.isDebian(); });
    EXPECT_EQ(e.getText(), format_message(messages.get("err_empty_comp"), "core") + "\n");
    EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
    EXPECT_TRUE(thrown<error>([&] { component.isRPM(); }));

    component.packages = {&rpm, &deb};
    EXPECT_FALSE(component.isDebian());
    EXPECT_TRUE(component.isRPM());
    component.packages = {&deb, &rpm};
    EXPECT_TRUE(component.isDebian());
    EXPECT_FALSE(component.isRPM());
}

}  // namespace
