#include "installer/ReleasesCompatibilityChecker.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/format_message.h"
#include "tests/support/LogFile.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

std::string incompatible(const std::string& a, const std::string& b)
{
    return format_message(messages.get("err_incompatible_products"), a, b);
}

// Every notice flattened: "product name version: other name better instead_of; ..."
std::string notices(const ReleasesCompatibilityChecker& checker)
{
    std::string text;
    for (const auto& info : checker.notices) {
        text += info.id + " " + info.description + " " + info.version + ":";
        for (const auto& best : info.list)
            text += " " + best.id + " " + best.description + " " + best.version + " " + best.instead_of + ";";
    }
    return text;
}

}  // namespace

// The hand-written catalogue: Zanth z18 (best with Folio 1 and 3), z17, z19b, z16; Folio (refuses
// Zanth) f3, f2 (best with Zanth 18), f1; both-ways.inf3 has Zanth refuse Folio as well.
TEST(ReleasesCompatibilityChecker, FindingsOfTheSelectedReleases)
{
    struct Case {
        const char* index;
        std::vector<std::string> selected;
        std::string installed_zanth;
        std::string errors;
        std::string warnings;
        std::string notices;
    };
    const std::vector<Case> cases = {
        {"products.inf3",
         {"z18", "f2"},
         "",
         incompatible("Folio", "Zanth"),
         "\nZanth 18 works better with Folio 3, but Folio 2 was selected",
         "zanth Zanth 18: ff Folio 3 2;"},
        // The selected version is among those recommended, from both sides.
        {"products.inf3", {"z18", "f3"}, "", incompatible("Folio", "Zanth"), "", ""},
        // z17 has no records of its own, though its product has: only f2 finds something.
        {"products.inf3",
         {"z17", "f2"},
         "",
         incompatible("Folio", "Zanth"),
         "\nFolio 2 works better with Zanth 18, but Zanth 17 was selected",
         "ff Folio 2: zanth Zanth 18 17;"},
        {"both-ways.inf3",
         {"z18", "f3"},
         "",
         incompatible("Zanth", "Folio") + "\n" + incompatible("Folio", "Zanth"),
         "",
         ""},
        // A current release is never examined, nor any pair with one.
        {"both-ways.inf3", {"z17", "f2"}, "17", "", "", ""},
        // A release of one product only, and one nobody else has records for.
        {"products.inf3", {"z18"}, "", "", "", ""},
        {"products.inf3", {"h1", "f1"}, "", "", "", ""},
    };
    for (const Case& c : cases) {
        TestCatalogue catalogue(c.index);
        if (!c.installed_zanth.empty())
            catalogue.install({{"kwt-zanth-core", c.installed_zanth}});
        for (const std::string& id : c.selected)
            catalogue->findRelease(id)->set_selected(true);
        ReleasesCompatibilityChecker checker(&*catalogue, &catalogue.repository());
        catalogue->visit(checker);
        const std::string what = std::string(c.index) + " " + c.selected.front();
        EXPECT_EQ(checker.errors.str(), c.errors) << what;
        EXPECT_EQ(checker.isError(), !c.errors.empty()) << what;
        EXPECT_EQ(checker.warnings.str(), c.warnings) << what;
        EXPECT_EQ(checker.isWarning(), !c.warnings.empty()) << what;
        EXPECT_EQ(notices(checker), c.notices) << what;
    }
}

TEST(ReleasesCompatibilityChecker, SkipsAndItsLog)
{
    TestCatalogue catalogue;
    catalogue.install({{"kwt-zanth-core", "17"}});
    catalogue->findRelease("z18")->set_selected(true);
    catalogue->findRelease("f2")->set_selected(true);
    catalogue->findRelease("z19b")->set_selected(true);  // too new for 17: not actual
    LogFile log(3);
    ReleasesCompatibilityChecker checker(&*catalogue, &catalogue.repository());
    catalogue->visit(checker);
    EXPECT_TRUE(log.has("DEBUG: Checking selected releases for compatibility with each others."));
    EXPECT_TRUE(log.has("Zanth 19 beta not actual, skip check"));
    EXPECT_TRUE(log.has("Zanth 17 is currently installed, skip check"));
    EXPECT_TRUE(log.has("Folio 3 not checked, skip check"));
    EXPECT_TRUE(log.has("ReleasesCompatibilityChecker: check Zanth 18"));
    EXPECT_TRUE(log.has("  secondary Folio 3 is not checked for install, skip"));
    EXPECT_TRUE(log.has("  secondary is Folio 2 checked and current, check it"));
    EXPECT_TRUE(log.has("  secondary Zanth 17 is current, skip"));
    EXPECT_TRUE(log.has("    check: currVersion=3"));
    // The other side of a pair is examined whatever its state.
    EXPECT_EQ(checker.warnings.str(),
              "\nZanth 18 works better with Folio 3, but Folio 2 was selected"
              "\nFolio 2 works better with Zanth 18, but Zanth 19 beta was selected");

    // A pair of one product is a caller's fault.
    const error e = caught([&] { checker.isBestWith(*catalogue->findRelease("z18"), *catalogue->findRelease("z17")); });
    EXPECT_NE(e.getText().find("installer/ReleasesCompatibilityChecker.cpp, line 97."), std::string::npos)
        << e.getText();
}
