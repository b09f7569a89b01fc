#include "installer/TextDlgReleases.h"

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <boost/algorithm/string/join.hpp>
#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/DlgMaker.h"
#include "installer/TextDlgMaker.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/thrown.h"

namespace {

const std::string RULE(79, '=');
const std::string RETRY = "Type a number or a character of the action from the legend above";
const std::string HEADER = "\n\n\n\n\nSelect the products to install and their versions\n" + RULE + "\n\n";
const std::string BODY = "The following product versions are available:\n";
const std::string LEGEND =
    "Available actions:\n(F) Go forward\n(B) Go back\n(Q) Cancel installation\n(S) Show the installer settings\n"
    "\nSelect an action or a number";
const std::string NOTHING_SELECTED = "\n\nNo product version was selected.\n(press Enter to continue) ";
const std::string FEEDBACK_QUESTION =
    "\n\nWould you like to help Zanth make better products by sending information \n"
    "about issues occurred, including installation and upgrade issues? [Y/n]: ";
const std::string FEEDBACK_DIR = "/var/quillfern";

std::string prompt(const std::string& choices)
{
    return " [" + choices + "]: ";
}

// The page with these lines between the header and the legend.
std::string page(const std::string& lines, const std::string& choices)
{
    return HEADER + lines + "\n" + LEGEND + prompt(choices);
}

// A release of a product file, built for this system unless another system is named.
std::string release(const std::string& id, const std::string& codename, const std::string& version,
                    const std::string& extra = "", const std::string& system = "@THIS_SYSTEM@")
{
    return "  <release id=\"" + id + "\" name=\"Release " + id + "\" codename=\"" + codename + "\" version=\"" +
           version + "\" upgrade_allowed_from=\"1.0\" " + extra + ">\n    <build " + system + " config=\"" + id +
           ".inf3\"/>\n  </release>\n";
}

std::string product(const std::string& id, const std::vector<std::string>& releases)
{
    return "<?xml version=\"1.0\"?>\n<product id=\"" + id + "\">\n  <keypackages><keypackage>kwt-" + id +
           "-core</keypackage></keypackages>\n" + boost::algorithm::join(releases, "") + "</product>\n";
}

// The catalogue "index.inf3" of the products (id, display name), each from its file.
std::map<std::string, std::string> catalogue(const std::vector<std::pair<std::string, std::string>>& products,
                                             const std::map<std::string, std::string>& files)
{
    std::map<std::string, std::string> all = files;
    std::string index = "<?xml version=\"1.0\"?>\n<vendors><vendor><products>\n";
    for (const auto& p : products)
        index += "<product id=\"" + p.first + "\" name=\"" + p.second + "\" reference=\"" + p.first + ".inf3\"/>\n";
    all["index.inf3"] = index + "</products></vendor></vendors>\n";
    return all;
}

const std::string NOWHERE = "os_name=\"Linux\" os_vendor=\"Nowhere\" os_version=\"1\" os_arch=\"x86_64\"";

// Alpha: four releases for this system, the newest first, and one for another system only.
const std::string ALPHA = product(
    "alpha", {release("a3", "Cobalt", "3.0", "tags=\"release\""), release("a2", "Bronze", "2.0", "tags=\"release\""),
              release("a1", "Amber", "1.0", "tags=\"release\""), release("a05", "Ash", "0.5", "tags=\"testing\""),
              release("a0", "Old", "0.1", "", NOWHERE)});
// Beta: its newest release has no build for this system, its oldest is hidden from the console wizard.
const std::string BETA =
    product("beta", {release("b3", "Mist", "3.0", "tags=\"release\"", NOWHERE),
                     release("b2", "Dune", "2.0", "tags=\"release\""),
                     release("b1", "Clay", "1.5", "tags=\"release\" hide_tags=\"cli,inanycase\"")});

const auto TWO_PRODUCTS =
    catalogue({{"alpha", "Alpha"}, {"beta", "Beta"}}, {{"alpha.inf3", ALPHA}, {"beta.inf3", BETA}});
const auto ONE_PRODUCT = catalogue({{"alpha", "Alpha"}}, {{"alpha.inf3", ALPHA}});
// Gamma 2.0 is installed and 2.1, of the same codename, offered as its update.
const auto UPDATE_OFFER = catalogue(
    {{"gamma", "Gamma"}}, {{"gamma.inf3", product("gamma", {release("g21", "Cobalt", "2.1", "tags=\"release\""),
                                                            release("g20", "Cobalt", "2.0", "tags=\"release\"")})}});
const auto ONE_RELEASE =
    catalogue({{"delta", "Delta"}}, {{"delta.inf3", product("delta", {release("d1", "Ore", "1.0")})}});
const auto UNSUPPORTED =
    catalogue({{"eps", "Epsilon"}}, {{"eps.inf3", product("eps", {release("e1", "Far", "1.0", "", NOWHERE)})}});

typedef std::vector<std::pair<std::string, std::string>> installed_t;

struct PageRun {
    std::string out;
    std::string result;    // the page's result, or the error's text
    std::string selected;  // the selected release ids after the run
    std::string feedback;  // the flag files after the run
};

// Runs the page in a child over a fresh /var, with the answers on standard input. Feedback is decided
// (disabled) unless `undecided`; `settings` attaches a settings page; `runs` runs the page that often.
PageRun runPage(const std::map<std::string, std::string>& files, const installed_t& installed, bool allVersions,
                const std::string& input, bool undecided = false, bool settings = false, int runs = 1)
{
    TestCatalogue releases(files, "index.inf3");
    releases.install(installed);
    ChildOptions options;
    options.input = input;
    options.tmpfs = {"/var"};
    const ChildResult child = runInChild(
        [&] {
            TextDialog::noClear = true;
            mkdir(FEEDBACK_DIR.c_str(), 0755);
            if (!undecided)
                writeWholeFile(FEEDBACK_DIR + "/feedback-disabled", "");
            const std::unique_ptr<DlgMaker> maker(DlgMaker::create());
            const std::unique_ptr<Dialog> settingsPage(maker->makeAdvSettings("/srv/m", "/var/cache/kw", {}));
            TextDlgReleases page(&*releases, &releases.repository(), allVersions);
            if (settings)
                page.advSettings = settingsPage.get();
            try {
                for (int i = 0; i < runs; ++i)
                    std::cerr << page.run() << ";";
            } catch (const error& e) {
                std::cerr << e.getText();
            }
            std::cerr << "|" << boost::algorithm::join(releases->getSelectedReleaseIds(), ",") << "|";
            for (const char* flag : {"feedback-enabled", "feedback-disabled"})
                if (access((FEEDBACK_DIR + "/" + flag).c_str(), F_OK) == 0)
                    std::cerr << flag << " ";
            return 0;
        },
        options);
    PageRun run;
    run.out = child.out;
    std::istringstream err(child.err);
    std::getline(err, run.result, '|');
    std::getline(err, run.selected, '|');
    std::getline(err, run.feedback);
    return run;
}

void expectRun(const PageRun& run, const std::string& out, const std::string& result, const std::string& selected,
               const std::string& name)
{
    EXPECT_EQ(out, run.out) << name;
    EXPECT_EQ(result, run.result) << name;
    EXPECT_EQ(selected, run.selected) << name;
}

// Alpha ticked with its installed release 2.0 selected, Beta not ticked.
const std::string TWO_PRODUCTS_START = BODY +
                                       "\n1. [*] Alpha\n"
                                       "  2. ( ) Alpha Cobalt (release)\n"
                                       "  3. (*) Alpha Bronze (currently installed)\n"
                                       "  4. ( ) Alpha Amber 1.0 (release)\n"
                                       "  5. ( ) Alpha Ash 0.5 (testing)\n"
                                       "\n6. [ ] Beta\n";

}  // namespace

// The normal layout: product lines that tick products, release lines under ticked products only,
// the version from line 4 on, the tag suffix unless the release is hidden from the console.
TEST(TextDlgReleases, SeveralProductsTickProductsAndSelectReleases)
{
    const installed_t alpha2 = {{"kwt-alpha-core", "2.0"}};
    const std::string betaTicked =
        "\n6. [*] Beta\n"
        "  7. (*) Beta Dune 2.0 (release)\n"
        "  8. ( ) Beta Clay 1.5\n";
    const std::string alphaLines =
        "\n1. [*] Alpha\n"
        "  2. ( ) Alpha Cobalt (release)\n"
        "  3. (*) Alpha Bronze (currently installed)\n"
        "  4. ( ) Alpha Amber 1.0 (release)\n"
        "  5. ( ) Alpha Ash 0.5 (testing)\n";
    {
        // Ticking Beta selects its newest release; 8 selects the other; unticking Alpha unselects it and
        // closes up the numbers; refused answers write the retry text on the same page.
        const PageRun run = runPage(TWO_PRODUCTS, alpha2, false, "6\n8\n1\n0\n5\nab\nq\n");
        const std::string afterUntick = BODY +
                                        "\n1. [ ] Alpha\n"
                                        "\n2. [*] Beta\n"
                                        "  3. ( ) Beta Dune (release)\n"
                                        "  4. (*) Beta Clay 1.5\n";
        expectRun(
            run,
            page(TWO_PRODUCTS_START, "F/b/q/s/1-6") + page(BODY + alphaLines + betaTicked, "F/b/q/s/1-8") +
                page(BODY + alphaLines + "\n6. [*] Beta\n  7. ( ) Beta Dune 2.0 (release)\n  8. (*) Beta Clay 1.5\n",
                     "F/b/q/s/1-8") +
                page(afterUntick, "F/b/q/s/1-4") + RETRY + prompt("F/b/q/s/1-4") + RETRY + prompt("F/b/q/s/1-4") +
                RETRY + prompt("F/b/q/s/1-4"),
            "202;", "b1", "untick and retries");
    }
    {
        // Ticking a product again selects its installed release, not the newest.
        const PageRun run = runPage(TWO_PRODUCTS, alpha2, false, "1\n1\nP\n");
        expectRun(run,
                  page(TWO_PRODUCTS_START, "F/b/q/s/1-6") +
                      page(BODY + "\n1. [ ] Alpha\n\n2. [ ] Beta\n", "F/b/q/s/1-2") +
                      page(TWO_PRODUCTS_START, "F/b/q/s/1-6"),
                  "201;", "a2", "the installed release wins");
    }
    {
        // Without an installed release the newest one with a build for this system is selected.
        const PageRun run = runPage(TWO_PRODUCTS, {}, false, "1\nb\n");
        EXPECT_NE(std::string::npos, run.out.find("  2. (*) Alpha Cobalt (release)\n")) << run.out;
        expectRun(run, run.out, "201;", "a3", "ticking without an installed release");
    }
    {
        // All versions: the releases' names, and product lines even for a single product.
        const PageRun run = runPage(ONE_PRODUCT, {}, true, "1\nq\n");
        expectRun(run,
                  page(BODY + "\n1. [ ] Alpha\n", "F/b/q/s/1") + page(BODY + "\n1. [*] Alpha\n"
                                                                             "  2. (*) Release a3 (release)\n"
                                                                             "  3. ( ) Release a2 (release)\n"
                                                                             "  4. ( ) Release a1 (release)\n"
                                                                             "  5. ( ) Release a05 (testing)\n",
                                                                      "F/b/q/s/1-5"),
                  "202;", "a3", "all versions");
    }
}

// One product: its release lines without indent and without a product line, numbered whether or not
// the product is ticked; the update offer; the page skipped when there is nothing to choose.
TEST(TextDlgReleases, SingleProductLayoutsAndTheSkippedPage)
{
    const std::string singleStart = BODY +
                                    "1. ( ) Alpha Cobalt (release)\n"
                                    "2. ( ) Alpha Bronze (release)\n"
                                    "3. ( ) Alpha Amber (release)\n"
                                    "4. ( ) Alpha Ash 0.5 (testing)\n";
    const std::string singleSecond = BODY +
                                     "1. ( ) Alpha Cobalt (release)\n"
                                     "2. (*) Alpha Bronze (release)\n"
                                     "3. ( ) Alpha Amber (release)\n"
                                     "4. ( ) Alpha Ash 0.5 (testing)\n";
    expectRun(runPage(ONE_PRODUCT, {}, false, "f\n\n2\n5\nn\n"),
              page(singleStart, "F/b/q/s/1-4") + NOTHING_SELECTED + page(singleStart, "F/b/q/s/1-4") +
                  page(singleSecond, "F/b/q/s/1-4") + RETRY + prompt("F/b/q/s/1-4"),
              "200;", "a2", "single product");

    const std::string offer = "1. ( ) Install the latest available update\n2. (*) Add/Remove components\n";
    const std::string taken = "1. (*) Install the latest available update\n2. ( ) Add/Remove components\n";
    expectRun(runPage(UPDATE_OFFER, {{"kwt-gamma-core", "2.0"}}, false, "1\n\n"),
              page(offer, "F/b/q/s/1-2") + page(taken, "F/b/q/s/1-2"), "200;", "g21", "update offer");
    // Without the offer (the installed release is the newest), the usual single-product lines.
    expectRun(runPage(UPDATE_OFFER, {{"kwt-gamma-core", "2.1"}}, false, "q\n"),
              page(BODY + "1. (*) Gamma Cobalt (currently installed)\n2. ( ) Gamma Cobalt (release)\n", "F/b/q/s/1-2"),
              "202;", "g21", "no update offer");

    // One installed release: selected by the page and not shown at all.
    expectRun(runPage(ONE_RELEASE, {{"kwt-delta-core", "1.0"}}, false, "q\n"), "", "200;", "d1", "skipped page");
    // Not installed: nothing selected yet, so the page is shown.
    expectRun(runPage(ONE_RELEASE, {}, false, "1\nF\n"),
              page(BODY + "1. ( ) Delta Ore (stable)\n", "F/b/q/s/1") +
                  page(BODY + "1. (*) Delta Ore (stable)\n", "F/b/q/s/1"),
              "200;", "d1", "one release to select");
}

// No release has a build for this system: the unsupported-system text; F is refused by the check.
TEST(TextDlgReleases, NoSupportedRelease)
{
    std::ostringstream system;
    Opsys()->print(system);
    const std::string text = format_message(Messages().get("releases_no_avail"), system.str());
    EXPECT_NE(std::string::npos, text.find("\"" + system.str() + "\" is not supported")) << text;
    const std::string unsupported = HEADER + text + "\n\n\n" + LEGEND + prompt("b/q");
    expectRun(runPage(UNSUPPORTED, {}, false, "F\n\n1\nq\n"),
              unsupported + NOTHING_SELECTED + unsupported + RETRY + prompt("b/q"), "202;", "", "unsupported");
}

// S runs the attached settings page: its QUIT ends the page, BACK draws the page again. Without a
// settings page S only draws the page again. The end of the input ends the wizard.
TEST(TextDlgReleases, SettingsPageAndTheEndOfTheInput)
{
    const std::string start = page(TWO_PRODUCTS_START, "F/b/q/s/1-6");
    const installed_t alpha2 = {{"kwt-alpha-core", "2.0"}};

    const PageRun back = runPage(TWO_PRODUCTS, alpha2, false, "s\nb\nq\n", false, true);
    ASSERT_EQ(0u, back.out.find(start)) << back.out;
    const std::string settings = back.out.substr(start.size(), back.out.size() - 2 * start.size());
    EXPECT_EQ(0u, settings.find("\n\n\n\n\nAdvanced Settings\n")) << settings;
    EXPECT_NE(std::string::npos, settings.find("local media /srv/m")) << settings;
    expectRun(back, start + settings + start, "202;", "a2", "settings page, back");

    expectRun(runPage(TWO_PRODUCTS, alpha2, false, "S\nq\n", false, true), start + settings, "202;", "a2",
              "settings page, quit");
    expectRun(runPage(TWO_PRODUCTS, alpha2, false, "s\nB\n"), start + start, "201;", "a2", "no settings page");
    expectRun(runPage(TWO_PRODUCTS, alpha2, false, "6\n"),
              start + page(BODY + "\n1. [*] Alpha\n"
                                  "  2. ( ) Alpha Cobalt (release)\n"
                                  "  3. (*) Alpha Bronze (currently installed)\n"
                                  "  4. ( ) Alpha Amber 1.0 (release)\n"
                                  "  5. ( ) Alpha Ash 0.5 (testing)\n"
                                  "\n6. [*] Beta\n"
                                  "  7. (*) Beta Dune 2.0 (release)\n"
                                  "  8. ( ) Beta Clay 1.5\n",
                           "F/b/q/s/1-8"),
              "You have just finished your session by pressing Ctrl + D.\n", "a2,b2", "end of input");
}

// The feedback question comes before going forward while the administrator has not decided, once:
// the answer is stored as a flag file and not asked again.
TEST(TextDlgReleases, AsksForFeedbackOnceWhileUndecided)
{
    const installed_t delta1 = {{"kwt-delta-core", "1.0"}};
    const PageRun skipped = runPage(ONE_RELEASE, delta1, false, "\n", true, false, 2);
    expectRun(skipped, FEEDBACK_QUESTION, "200;200;", "d1", "skipped page");
    EXPECT_EQ("feedback-enabled ", skipped.feedback);

    const PageRun declined = runPage(ONE_RELEASE, {}, false, "1\nF\nmaybe\nno\nF\n", true, false, 2);
    const std::string selected = page(BODY + "1. (*) Delta Ore (stable)\n", "F/b/q/s/1");
    expectRun(declined,
              page(BODY + "1. ( ) Delta Ore (stable)\n", "F/b/q/s/1") + selected + FEEDBACK_QUESTION +
                  "Type Y for yes or N for no [Y/n]: ",
              "200;200;", "d1", "page shown");
    EXPECT_EQ("feedback-disabled ", declined.feedback);
}

TEST(TextDlgReleases, TheFactoryMakesThePage)
{
    TestCatalogue releases(ONE_PRODUCT, "index.inf3");
    TextDlgMaker maker;
    for (int flag : {0, 1}) {
        const std::unique_ptr<Dialog> made(maker.makeReleases(&*releases, &releases.repository(), flag));
        const TextDlgReleases* page = dynamic_cast<const TextDlgReleases*>(made.get());
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(flag != 0, page->allVersions);
        EXPECT_EQ(5u, page->items.size());  // the product line and the four releases with a build here
    }
    // A line that is neither a product nor a release line is an internal error.
    TextDlgReleases page(&*releases, &releases.repository(), false);
    page.items.push_back(TextDlgReleases::Item());
    const error e = caught([&] { page.selectNumber(99, false); });
    EXPECT_EQ(codes(error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)), codes(e));
    EXPECT_EQ("bad item object\n", e.getText());
}
