#include "installer/TextDlgInstTypes.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/error.h"
#include "installer/ComponentManager.h"
#include "installer/DlgMaker.h"
#include "installer/Release.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestCatalogue.h"

namespace {

const std::string RULE(79, '=');
const std::string RETRY = "Type a number or a character of the action from the legend above";
const std::string LEGEND =
    "\nAvailable actions:\n(F) Go forward\n(B) Go back\n(Q) Cancel installation\n\n"
    "Select an action or a number";

// Zanth with a code name and Folio without one.
const std::map<std::string, std::string> FILES = {
    {"products.inf3", R"(<?xml version="1.0"?>
<vendors><vendor><products>
  <product id="zanth" name="Zanth" reference="zanth.inf3"/>
  <product id="ff" name="Folio" reference="ff.inf3"/>
</products></vendor></vendors>)"},
    {"zanth.inf3", R"(<?xml version="1.0"?>
<product id="zanth">
  <keypackages><keypackage>kwt-zanth-core</keypackage></keypackages>
  <release id="z18" name="Zanth 18" codename="Tern" version="18" upgrade_allowed_from="17" tags="release">
    <build @THIS_SYSTEM@ config="z18.inf3"/>
  </release>
</product>)"},
    {"ff.inf3", R"(<?xml version="1.0"?>
<product id="ff">
  <keypackages><keypackage>kwt-ff-core</keypackage></keypackages>
  <release id="f3" name="Folio 3" version="3" upgrade_allowed_from="1" tags="release">
    <build @THIS_SYSTEM@ config="f3.inf3"/>
  </release>
</product>)"},
};

InstTypes::type_t type(const std::string& name, const std::string& description, int32_t mode = InstTypes::CUSTOM)
{
    InstTypes::type_t type;
    type.names = {name};
    type.description = description;
    type.mode = mode;
    return type;
}

struct TextDlgInstTypesTest : ::testing::Test {
    // The types of a product, registered through the first build of its release.
    void addTypes(const std::string& release, const std::vector<InstTypes::type_t>& types)
    {
        const boost::shared_ptr<Build> build = *catalogue->findRelease(release)->get_builds().begin();
        for (const InstTypes::type_t& t : types)
            components.instTypes.addType(*build, t);
    }

    // The page run in a child with the input; standard error gets the result, the flag and the
    // choices afterwards, or the error.
    ChildResult run(const std::string& input)
    {
        ChildOptions options;
        options.input = input;
        return runInChild(
            [&] {
                TextDialog::noClear = true;
                // Made as the wizard makes it.
                const std::unique_ptr<Dialog> made(
                    std::unique_ptr<DlgMaker>(DlgMaker::create())->makeInstTypes(&*catalogue, &components));
                TextDlgInstTypes& page = dynamic_cast<TextDlgInstTypes&>(*made);
                try {
                    std::cerr << page.run() << (page.componentList ? " list" : "");
                    for (const auto& choice : page.chosen)
                        std::cerr << " " << choice.first << "=" << choice.second;
                } catch (const error& e) {
                    std::cerr << "error: " << e.getText();
                }
                return 0;
            },
            options);
    }

    TestCatalogue catalogue{FILES, "products.inf3"};
    ComponentManager components;
};

const std::string ZANTH_TYPES =
    " 1. (*) Typical\n       The usual components\n\n"
    " 2. ( ) Full\n       Every component\n\n"
    " 3. ( ) Minimal\n       The core alone\n\n"
    " 4. ( ) Custom\n       You choose\n\n";

}  // namespace

TEST_F(TextDlgInstTypesTest, OneProductNumbersItsTypes)
{
    addTypes("z18", {type("Typical", "The usual components", InstTypes::FULL), type("Full", "Every component"),
                     type("Minimal", "The core alone"), type("Custom", "You choose")});
    catalogue->findRelease("z18")->set_selected(true);
    const std::string screen = "\n\n\n\n\nSelect the installation type for Zanth Tern\n" + RULE +
                               "\n\nInstallation types for the product:\n\n";
    const std::string prompt = " [F/b/q/1-4]: ";
    const std::string minimal =
        " 1. ( ) Typical\n       The usual components\n\n"
        " 2. ( ) Full\n       Every component\n\n"
        " 3. (*) Minimal\n       The core alone\n\n"
        " 4. ( ) Custom\n       You choose\n\n";
    struct Row {
        std::string input;
        std::string out;
        std::string err;
    };
    const std::vector<Row> rows = {
        {"\n", screen + ZANTH_TYPES + LEGEND + prompt, "200 zanth=Typical"},
        {"n\n", screen + ZANTH_TYPES + LEGEND + prompt, "200 zanth=Typical"},
        {"P\n", screen + ZANTH_TYPES + LEGEND + prompt, "201 zanth=Typical"},
        {"q\n", screen + ZANTH_TYPES + LEGEND + prompt, "202 zanth=Typical"},
        {"l\n", screen + ZANTH_TYPES + LEGEND + prompt, "200 list zanth=Typical"},
        // A type number draws the page again with the new mark; refusals do not.
        {"3\nf\n", screen + ZANTH_TYPES + LEGEND + prompt + screen + minimal + LEGEND + prompt, "200 zanth=Minimal"},
        {"0\n5\nFF\n2a\nx\nf\n",
         screen + ZANTH_TYPES + LEGEND + prompt + RETRY + prompt + RETRY + prompt + RETRY + prompt + RETRY + prompt +
             RETRY + prompt,
         "200 zanth=Typical"},
        {"", screen + ZANTH_TYPES + LEGEND + prompt,
         "error: You have just finished your session by pressing Ctrl + D.\n"},
    };
    for (const Row& row : rows) {
        const ChildResult result = run(row.input);
        EXPECT_EQ(row.out, result.out) << row.input;
        EXPECT_EQ(row.err, result.err) << row.input;
    }
}

// Products first, then the types of the product shown; its type name is looked up without regard to
// case, and the product without a selected release has no code name in the title.
TEST_F(TextDlgInstTypesTest, SeveralProductsAreNumberedBeforeTheTypes)
{
    addTypes("z18", {type("Typical", "The usual components", InstTypes::FULL), type("Full", "Every component"),
                     type("Minimal", "The core alone"), type("Custom", "You choose")});
    addTypes("f3", {type("Full", "Every component", InstTypes::FULL), type("Custom", "You choose"),
                    type("Lean", "A small set")});
    catalogue->findRelease("z18")->set_selected(true);
    const std::string head =
        "\n\n\n\n\nSelect the installation type\n" + RULE + "\n\nInstallation types for the product:\n\n";
    const auto zanthPage = [&](const std::string& zanthType, const std::string& folioType, const char* marks) {
        return head + " 1. (*) Zanth (" + zanthType + " installation)\n 2. ( ) Folio (" + folioType +
               " installation)\n\nSelect the installation type for Zanth Tern:\n\n" + " 3. (" + marks[0] +
               ") Typical\n       The usual components\n\n" + " 4. (" + marks[1] +
               ") Full\n       Every component\n\n" + " 5. (" + marks[2] + ") Minimal\n       The core alone\n\n" +
               " 6. (" + marks[3] + ") Custom\n       You choose\n\n" + LEGEND + " [F/b/q/1-6]: ";
    };
    const auto folioPage = [&](const std::string& zanthType, const std::string& folioType, const char* marks) {
        return head + " 1. ( ) Zanth (" + zanthType + " installation)\n 2. (*) Folio (" + folioType +
               " installation)\n\nSelect the installation type for Folio:\n\n" + " 3. (" + marks[0] +
               ") Full\n       Every component\n\n" + " 4. (" + marks[1] + ") Custom\n       You choose\n\n" + " 5. (" +
               marks[2] + ") Lean\n       A small set\n\n" + LEGEND + " [F/b/q/1-5]: ";
    };
    const ChildResult result = run("2\n5\n7\n1\n6\nb\n");
    EXPECT_EQ(zanthPage("Typical", "Full", "*   ") + folioPage("Typical", "Full", "*  ") +
                  folioPage("Typical", "Lean", "  *") + RETRY +
                  " [F/b/q/1-5]: " + zanthPage("Typical", "Lean", "*   ") + zanthPage("Custom", "Lean", "   *"),
              result.out);
    EXPECT_EQ("201 zanth=Custom ff=Lean", result.err);
}

TEST_F(TextDlgInstTypesTest, ChoiceNamesMatchTheTypesButForCase)
{
    addTypes("z18", {type("Full", "Every component", InstTypes::FULL), type("Custom", "You choose")});
    addTypes("f3", {type("Full", "Every component", InstTypes::FULL)});
    ChildOptions options;
    options.input = "\n";
    const ChildResult result = runInChild(
        [&] {
            TextDialog::noClear = true;
            TextDlgInstTypes page(&*catalogue, &components);
            page.chosenFor("zanth") = "CUSTOM";  // as a saved choice or a command line may write it
            std::cerr << page.run();
            return 0;
        },
        options);
    // The product line names the type as the catalogue does; no type line is marked, since the
    // mark compares exactly.
    EXPECT_NE(std::string::npos, result.out.find(" 1. (*) Zanth (Custom installation)\n")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find(" 3. ( ) Full\n       Every component\n\n 4. ( ) Custom\n"))
        << result.out;
    EXPECT_NE(std::string::npos, result.out.find("\nSelect the installation type for Zanth:\n")) << result.out;
    EXPECT_EQ("200", result.err);
}

TEST_F(TextDlgInstTypesTest, NoProductsGoesForwardAtOnce)
{
    const ChildResult result = run("");
    EXPECT_EQ("", result.out);
    EXPECT_EQ("200", result.err);
}
