#include "installer/DlgReleases.h"

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/TextDialog.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFile.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/thrown.h"

namespace {

const std::string PRESS_ENTER = "(press Enter to continue) ";
const std::string CHECKER_BUILT = "DlgReleases::canContinue: ReleasesCompatibilityChecker";

// The releases page's check, without its screen.
class Releases : public DlgReleases {
public:
    using DlgReleases::DlgReleases;
    DialogResult run() override { return canContinue() ? FORWARD : BACK; }
};

std::string upgradeQuestion(const std::string& product, const std::string& installed)
{
    return "\nYou have the product version " + product + " " + installed +
           " installed.\nDo you want to upgrade it? [Y/n]: ";
}

struct Case {
    std::string name;
    std::string index;
    std::vector<std::pair<std::string, std::string>> installed;
    std::vector<std::string> selected;
    std::string answers;
    std::string screen;  // what the dialogs print
    std::string result;  // "true", "false" or the error
    bool checked;        // the compatibility checker was built
};

// Runs the check in a child with the answers on standard input.
void check(const Case& c)
{
    TestCatalogue catalogue(c.index);
    catalogue.install(c.installed);
    for (const std::string& id : c.selected)
        catalogue->findRelease(id)->set_selected(true);
    ChildOptions options;
    options.input = c.answers;
    const ChildResult result = runInChild(
        [&] {
            TextDialog::noClear = true;
            LogFile log(3);
            Releases page(&*catalogue, &catalogue.repository());
            try {
                std::cerr << (page.canContinue() ? "true" : "false");
            } catch (const error& e) {
                std::cerr << e.getText();
            }
            std::cerr << (log.has(CHECKER_BUILT) ? "; checked" : "; not checked");
            return 0;
        },
        options);
    EXPECT_EQ(c.screen, result.out) << c.name;
    EXPECT_EQ(c.result + (c.checked ? "; checked" : "; not checked"), result.err) << c.name;
}

}  // namespace

TEST(DlgReleases, CanContinueAsksAndChecksTheSelection)
{
    const std::string incompatible = format_message(Messages().get("err_incompatible_products"), "Folio", "Zanth");
    const std::string warning = "\nZanth 18 works better with Folio 3, but Folio 2 was selected";
    const std::string warningQuestion = "\n" + warning + "\n\nDo you want to continue? [Y/n]: ";
    const std::vector<std::pair<std::string, std::string>> bothOld = {{"kwt-zanth-core", "17"}, {"kwt-ff-core", "1"}};
    const std::vector<Case> cases = {
        {"nothing selected",
         "products.inf3",
         {},
         {},
         "\n",
         "\n\nNo product version was selected.\n" + PRESS_ENTER,
         "false",
         false},
        {"major upgrades in product-id order, the first declined",
         "upgrades.inf3",
         bothOld,
         {"z18", "f3"},
         "n\ny\n",
         upgradeQuestion("Folio", "1"),
         "false",
         false},
        {"major upgrades in product-id order, both accepted",
         "upgrades.inf3",
         bothOld,
         {"z18", "f3"},
         "y\n\n",
         upgradeQuestion("Folio", "1") + upgradeQuestion("Zanth", "17"),
         "true",
         true},
        {"a minor upgrade and a new installation are not asked about",
         "upgrades.inf3",
         {{"kwt-mn-core", "2.0"}},
         {"mn21", "z18"},
         "",
         "",
         "true",
         true},
        {"errors and warnings: only the errors",
         "products.inf3",
         {},
         {"z18", "f2"},
         "\n",
         "\n\n" + incompatible + "\n\n" + PRESS_ENTER,
         "false",
         true},
        {"warnings alone, an empty answer", "upgrades.inf3", {}, {"z18", "f2"}, "\n", warningQuestion, "true", true},
        {"warnings alone, declined", "upgrades.inf3", {}, {"z18", "f2"}, "no\n", warningQuestion, "false", true},
        {"the end of the input at a question",
         "upgrades.inf3",
         bothOld,
         {"f3"},
         "",
         upgradeQuestion("Folio", "1"),
         "You have just finished your session by pressing Ctrl + D.\n",
         false},
    };
    for (const Case& c : cases)
        check(c);
}

TEST(DlgReleases, ACallerFaultIsAnError)
{
    TestCatalogue catalogue;
    catalogue->findRelease("z18")->set_selected(true);

    // The checker needs the repository, after any question.
    Releases withoutRepository(&*catalogue, nullptr);
    EXPECT_EQ(nullptr, withoutRepository.advSettings);
    const error null = caught([&] { withoutRepository.canContinue(); });
    EXPECT_NE(std::string::npos, null.getText().find("Try of use NULL pointer: ")) << null.getText();

    // Two selected releases of one product.
    catalogue->findRelease("z17")->set_selected(true);
    Releases page(&*catalogue, &catalogue.repository());
    const error twice = caught([&] { page.canContinue(); });
    EXPECT_EQ(codes(error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)), codes(twice));
    EXPECT_NE(std::string::npos, twice.getText().find(", installer/DlgReleases, line 32.")) << twice.getText();
}
