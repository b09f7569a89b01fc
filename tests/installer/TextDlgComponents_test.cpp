#include "installer/TextDlgComponents.h"

#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Repository.h"
#include "common/error.h"
#include "installer/BuildLoader.h"
#include "installer/BuildManager.h"
#include "installer/CheckInstalled.h"
#include "installer/ComponentManager.h"
#include "installer/ParamManager.h"
#include "installer/Release.h"
#include "installer/SourceManager.h"
#include "installer/TextDlgMaker.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const ForcedSystem DEBIAN{"Linux", "Debian", "12", "x86_64", ""};

// Zanth: the generator puts web and the mail radio group into the sub group "services"; one hidden
// component is listed while installed, the other never. Quartz's build cannot uninstall, so its base
// component is required while not installed.
const char* const MODEL = R"({"products": [
  {"id": "zanth", "name": "Zanth", "dir": "zanth", "keypackages": [["zanth-core"]],
   "releases": [{"id": "zanth-10.0", "name": "Zanth 10.0", "codename": "Arbor", "version": "10.0.0",
                 "upgrade_allowed_from": "9.0"}],
   "components": [
     {"name": "core", "description": "Zanth core", "keypackages": [{"keypackage": ["zanth-core"]}],
      "packages": [{"name": "zanth-core"}]},
     {"name": "web", "description": "Web server support", "keypackages": [{"keypackage": ["zanth-web"]}],
      "packages": [{"name": "zanth-web"}], "requires": ["core"]},
     {"name": "mail", "description": "Mail server", "keypackages": [{"keypackage": ["zanth-mail"]}],
      "packages": [{"name": "zanth-mail"}]},
     {"name": "mail-lite", "description": "Light mail server",
      "keypackages": [{"keypackage": ["zanth-mail-lite"]}], "packages": [{"name": "zanth-mail-lite"}]},
     {"name": "dns", "description": "DNS server", "keypackages": [{"keypackage": ["zanth-dns"]}],
      "packages": [{"name": "zanth-dns"}]},
     {"name": "support-tools", "description": "Support tools", "hidden": true, "show_installed_hidden": true,
      "keypackages": [{"keypackage": ["zanth-support"]}], "packages": [{"name": "zanth-support"}]},
     {"name": "secret", "description": "Secret tools", "hidden": true,
      "keypackages": [{"keypackage": ["zanth-secret"]}], "packages": [{"name": "zanth-secret"}]}]},
  {"id": "folioforge", "name": "Folioforge", "dir": "folioforge", "keypackages": [["folioforge-core"]],
   "releases": [{"id": "folioforge-2.1", "name": "Folioforge 2.1", "version": "2.1.0",
                 "upgrade_allowed_from": "2.0"}],
   "components": [
     {"name": "ff-core", "description": "Folioforge core", "keypackages": [{"keypackage": ["folioforge-core"]}],
      "packages": [{"name": "folioforge-core"}]}]},
  {"id": "quartz", "name": "Quartz", "dir": "quartz", "keypackages": [["quartz-base"]],
   "releases": [{"id": "quartz-1.0", "name": "Quartz 1.0", "version": "1.0.0", "upgrade_allowed_from": "1.0",
                 "uninstall_support": "no"}],
   "components": [
     {"name": "base", "description": "Quartz base", "keypackages": [{"keypackage": ["quartz-base"]}],
      "packages": [{"name": "quartz-base"}]},
     {"name": "extra", "description": "Quartz extra", "keypackages": [{"keypackage": ["quartz-extra"]}],
      "packages": [{"name": "quartz-extra"}]}]}],
 "addons": [], "builds_per_release": 1})";

typedef std::vector<std::pair<std::string, std::string>> installed_t;  // package name, version

// The catalogue of the mirror and the forest of the selected releases, with the installed packages.
struct Forest {
    Forest(const std::string& mirror, const std::vector<std::string>& releases, const installed_t& installed)
        : fetcher(SourceUrl(mirror + "/"), target.path()), catalogue(fetcher, "")
    {
        for (const auto& package : installed)
            addInstalledPackage(repository, package.first, package.second);
        catalogue.calculateReleasesState(repository);
        for (const std::string& id : releases)
            catalogue.findRelease(id)->set_selected(true);
        BuildLoader loader(&repository, &manager, &fetcher, &sources, &params, &guards);
        catalogue.visit(loader);
        loader.commit();
        ComponentManager::CheckInstalled check(&repository, nullptr);
        manager.walk(check);
    }

    // "product/name" and the request of every component, in walk order: '+' install, '-' remove,
    // '=' leave.
    std::string requests() const
    {
        std::string text;
        EachRequest each(text);
        manager.walk(each);
        return text;
    }

    struct EachRequest : ComponentManager::Visitor {
        explicit EachRequest(std::string& text_) : text(text_) {}
        void visit(const boost::shared_ptr<KwComponent>& c) override
        {
            const request_mode_t r = c->getRequest();
            text += c->getFullName() + (r == REQ_INSTALL ? "+ " : r == REQ_REMOVE ? "- " : "= ");
        }
        std::string& text;
    };

    TempDir target;
    Repository repository;
    FileFetcher fetcher;
    BuildManager catalogue;
    ComponentManager manager;
    SourceManager sources{&repository};
    ParamManager params;
    BuildLoader::guards_t guards;
};

class TextDlgComponentsTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        TempDir model;
        writeWholeFile(model / "model.json", MODEL);
        // Under /var/tmp: the children have a private /tmp.
        mirror = new GeneratedMirror(
            {"--model", model / "model.json", "--phase", "builds", "--phase", "products", "--phase", "index"},
            "/var/tmp");
    }
    static void TearDownTestSuite() { delete mirror; }

    struct PageRun {
        std::string out;
        std::string result;    // the page's result, or the error's text
        std::string requests;  // of every component after the run
    };

    // Runs the page over the forest of the releases in a child on Debian 12, with the answers on
    // standard input; the page offers the products of the set.
    PageRun run(const std::vector<std::string>& releases, const installed_t& installed,
                const std::set<std::string>& products, const std::string& input)
    {
        ChildOptions options = privateProgressOptions();
        options.input = input;
        const ChildResult child = runChecksOnSystem(
            DEBIAN,
            [&] {
                TextDialog::noClear = true;
                Forest forest(mirror->path(), releases, installed);
                std::cout << "<forest>";
                TextDlgComponents page(&forest.manager, &forest.catalogue);
                page.products = products;
                std::cerr << "<result>";
                try {
                    std::cerr << page.run();
                } catch (const error& e) {
                    std::cerr << e.getText();
                }
                std::cerr << "|" << forest.requests();
            },
            options);
        PageRun result;
        const size_t start = child.out.find("<forest>");
        EXPECT_NE(std::string::npos, start) << child.out << child.err;
        result.out = start == std::string::npos ? child.out : child.out.substr(start + 8);
        const size_t from = child.err.find("<result>");
        EXPECT_NE(std::string::npos, from) << child.err;
        const std::string err = from == std::string::npos ? child.err : child.err.substr(from + 8);
        const size_t bar = err.rfind('|');
        result.result = err.substr(0, bar);
        result.requests = bar == std::string::npos ? "" : err.substr(bar + 1);
        return result;
    }

    static GeneratedMirror* mirror;
};

GeneratedMirror* TextDlgComponentsTest::mirror = nullptr;

const std::string RULE(79, '=');
const std::string RETRY = "Type a number or a character of the action from the legend above";
const std::string BOTTOM_GROUPS =
    "Enter a number to toggle the respective component or view the group (marked with <+>).\n\n";
const std::string BOTTOM_COMPONENTS = "Enter a number to toggle the respective component.\n\n";

std::string prompt(const std::string& choices)
{
    return " [" + choices + "]: ";
}

std::string legend(bool top)
{
    return std::string("Available actions:\n") + (top ? "(F) Go forward\n" : "") +
           "(B) Go back\n(Q) Cancel installation\n(A) Select all\n(D) Deselect all\n\nSelect an action or a number";
}

// The top level of the only product offered.
std::string productPage(const std::string& name, const std::string& selected, const std::string& lines,
                        const std::string& bottom, const std::string& choices)
{
    return "\n\n\n\n\nMain components list for " + name + "\n" + RULE + "\n\n " + selected +
           " components selected\n\nPlease select the components of " + name + " you want to install:\n\n" + lines +
           "\n" + bottom + legend(true) + prompt(choices);
}

// The top level with several products offered.
std::string productsPage(const std::string& products, const std::string& name, const std::string& lines,
                         const std::string& bottom, const std::string& choices)
{
    return "\n\n\n\n\nPrimary components list\n" + RULE + "\n\nShow components for the product:\n\n" + products +
           "\nPlease select the components of " + name + " you want to install:\n\n" + lines + "\n" + bottom +
           legend(true) + prompt(choices);
}

std::string groupPage(const std::string& group, const std::string& lines, const std::string& choices)
{
    return "\n\n\n\n\nPrimary components list / " + group + "\n" + RULE +
           "\n\nSelect the components you want to install:\n" + lines + "\n" + BOTTOM_COMPONENTS + legend(false) +
           prompt(choices);
}

// The lines of the services group: web, then the mail radio group.
std::string servicesLines(char web, char mail, char lite)
{
    return std::string(" 1. [") + web + "] Web server support\n\n  Mail server\n 2. (" + mail + ") Mail server\n 3. (" +
           lite + ") Light mail server\n\n";
}

}  // namespace

// Numbers toggle components and open the sub group, where the radio group's members are numbered
// and F is refused; a toggle that needs another component asks first; P and an empty answer leave
// the group; N goes forward.
TEST_F(TextDlgComponentsTest, TogglesComponentsAndOpensTheSubGroup)
{
    const std::string needsCore =
        "\nTo toggle this component state you also need to\n"
        "install or upgrade the following components: Zanth core\n\n"
        "Do you want to do this? [Y/n]: ";
    const PageRun r = run({"zanth-10.0"}, {}, {"zanth"}, "2\n3\nf\n1\nn\n1\ny\n3\np\n3\n\nn\n");
    const std::string top =
        " 1. [ ] Zanth core\n 2. [ ] DNS server\n 3. [ ] <+> Services // 0 of 2 components selected\n";
    const std::string dns =
        " 1. [ ] Zanth core\n 2. [*] DNS server\n 3. [ ] <+> Services // 0 of 2 components selected\n";
    const std::string after =
        " 1. [*] Zanth core\n 2. [*] DNS server\n 3. [*] <+> Services // 2 of 2 components selected\n";
    EXPECT_EQ(productPage("Zanth", "0 of 4", top, BOTTOM_GROUPS, "F/b/q/a/d/1-3") +
                  productPage("Zanth", "1 of 4", dns, BOTTOM_GROUPS, "F/b/q/a/d/1-3") +
                  groupPage("services", servicesLines(' ', ' ', ' '), "B/q/a/d/1-3") + RETRY + prompt("B/q/a/d/1-3") +
                  needsCore + groupPage("services", servicesLines(' ', ' ', ' '), "B/q/a/d/1-3") + needsCore +
                  groupPage("services", servicesLines('*', ' ', ' '), "B/q/a/d/1-3") +
                  groupPage("services", servicesLines('*', ' ', '*'), "B/q/a/d/1-3") +
                  productPage("Zanth", "4 of 4", after, BOTTOM_GROUPS, "F/b/q/a/d/1-3") +
                  groupPage("services", servicesLines('*', ' ', '*'), "B/q/a/d/1-3") +
                  productPage("Zanth", "4 of 4", after, BOTTOM_GROUPS, "F/b/q/a/d/1-3"),
              r.out);
    EXPECT_EQ("200", r.result);
    EXPECT_EQ("zanth/core+ zanth/dns+ zanth/support-tools= zanth/secret= zanth/web+ zanth/mail= zanth/mail-lite+ ",
              r.requests);
}

// A and D request the whole level: D leaves installed components installed, where a toggle asks for
// their removal. A hidden component is listed while installed and shown so; one installed in an
// older version is requested for upgrade when the page is made.
TEST_F(TextDlgComponentsTest, SelectAllDeselectAllAndInstalledComponents)
{
    // Debian versions: the mirror's packages are "10.0.0-1".
    const installed_t installed = {{"zanth-core", "10.0.0-1"},
                                   {"zanth-dns", "9.0.0-1"},
                                   {"zanth-support", "10.0.0-1"},
                                   {"zanth-secret", "10.0.0-1"}};
    const PageRun r = run({"zanth-10.0"}, installed, {"zanth"}, "d\n4\na\nB\nD\n1\nq\n");
    auto lines = [](char core, char dns, char services, const std::string& counts) {
        return std::string(" 1. [") + core + "] Zanth core\n 2. [" + dns +
               "] DNS server\n 3. [=] Support tools\n 4. [" + services + "] <+> Services // " + counts +
               " components selected\n";
    };
    EXPECT_EQ(productPage("Zanth", "3 of 5", lines('=', '*', ' ', "0 of 2"), BOTTOM_GROUPS, "F/b/q/a/d/1-4") +
                  productPage("Zanth", "3 of 5", lines('=', ' ', ' ', "0 of 2"), BOTTOM_GROUPS, "F/b/q/a/d/1-4") +
                  groupPage("services", servicesLines(' ', ' ', ' '), "B/q/a/d/1-3") +
                  groupPage("services", servicesLines('*', '*', ' '), "B/q/a/d/1-3") +
                  productPage("Zanth", "5 of 5", lines('=', ' ', '*', "2 of 2"), BOTTOM_GROUPS, "F/b/q/a/d/1-4") +
                  productPage("Zanth", "3 of 5", lines('=', ' ', ' ', "0 of 2"), BOTTOM_GROUPS, "F/b/q/a/d/1-4") +
                  productPage("Zanth", "2 of 5", lines('X', ' ', ' ', "0 of 2"), BOTTOM_GROUPS, "F/b/q/a/d/1-4"),
              r.out);
    EXPECT_EQ("202", r.result);
    EXPECT_EQ("zanth/core- zanth/dns= zanth/support-tools= zanth/secret= zanth/web= zanth/mail= zanth/mail-lite= ",
              r.requests);
}

// With several products the product lines come first and choose the product whose components follow.
TEST_F(TextDlgComponentsTest, ProductLinesSwitchTheProduct)
{
    const std::vector<std::string> both = {"zanth-10.0", "folioforge-2.1"};
    const std::string zanthLines =
        " 3. [ ] Zanth core\n 4. [ ] DNS server\n 5. [ ] <+> Services // 0 of 2 components selected\n";
    const PageRun r = run(both, {}, {"zanth", "folioforge"}, "1\n3\n2\nP\n");
    EXPECT_EQ(
        productsPage("1. ( ) Zanth  ........ 0 of 4 components selected\n"
                     "2. (*) Folioforge  ........ 0 of 1 components selected\n",
                     "Folioforge", " 3. [ ] Folioforge core\n", BOTTOM_GROUPS, "F/b/q/a/d/1-3") +
            productsPage("1. (*) Zanth  ........ 0 of 4 components selected\n"
                         "2. ( ) Folioforge  ........ 0 of 1 components selected\n",
                         "Zanth", zanthLines, BOTTOM_GROUPS, "F/b/q/a/d/1-5") +
            productsPage("1. (*) Zanth  ........ 1 of 4 components selected\n"
                         "2. ( ) Folioforge  ........ 0 of 1 components selected\n",
                         "Zanth",
                         " 3. [*] Zanth core\n 4. [ ] DNS server\n 5. [ ] <+> Services // 0 of 2 components selected\n",
                         BOTTOM_GROUPS, "F/b/q/a/d/1-5") +
            productsPage("1. ( ) Zanth  ........ 1 of 4 components selected\n"
                         "2. (*) Folioforge  ........ 0 of 1 components selected\n",
                         "Folioforge", " 3. [ ] Folioforge core\n", BOTTOM_GROUPS, "F/b/q/a/d/1-3"),
        r.out);
    EXPECT_EQ("201", r.result);

    // Only one of the selected products offered: its own header, and only its components.
    const PageRun one = run(both, {}, {"zanth"}, "q\n");
    EXPECT_EQ(
        productPage("Zanth", "0 of 4",
                    " 1. [ ] Zanth core\n 2. [ ] DNS server\n 3. [ ] <+> Services // 0 of 2 components selected\n",
                    BOTTOM_GROUPS, "F/b/q/a/d/1-3"),
        one.out);
    EXPECT_EQ("202", one.result);
}

// Going forward needs a request; refused answers write the retry text without drawing the page; the
// end of the input ends the wizard.
TEST_F(TextDlgComponentsTest, RefusedAnswersAndLeaving)
{
    const std::string top =
        " 1. [ ] Zanth core\n 2. [ ] DNS server\n 3. [ ] <+> Services // 0 of 2 components selected\n";
    const std::string page = productPage("Zanth", "0 of 4", top, BOTTOM_GROUPS, "F/b/q/a/d/1-3");
    const std::string atLeastOne =
        "\n\nTo continue, you must select at least one component.\n(press Enter to continue) ";
    const PageRun r = run({"zanth-10.0"}, {}, {"zanth"}, "\nok\n0\n4\n12\ns\n-1\nQ\n");
    std::string retries;
    for (int i = 0; i < 5; ++i)  // "ok" went with the message's Enter
        retries += RETRY + prompt("F/b/q/a/d/1-3");
    EXPECT_EQ(page + atLeastOne + page + retries, r.out);
    EXPECT_EQ("202", r.result);

    const PageRun ended = run({"zanth-10.0"}, {}, {"zanth"}, "1\n");
    EXPECT_EQ("You have just finished your session by pressing Ctrl + D.\n", ended.result);
}

// A build without uninstall support: its base component is required while not installed, and when
// everything is installed the page ends the wizard at once with the notice.
TEST_F(TextDlgComponentsTest, RequiredBaseAndTheAllInstalledNotice)
{
    const PageRun r = run({"quartz-1.0"}, {}, {"quartz"}, "F\n");
    EXPECT_EQ(productPage("Quartz", "1 of 2", " 1.  *  Quartz base\n 2. [ ] Quartz extra\n", BOTTOM_COMPONENTS,
                          "F/b/q/a/d/1-2"),
              r.out);
    EXPECT_EQ("200", r.result);
    EXPECT_EQ("quartz/base+ quartz/extra= ", r.requests);

    const PageRun installed =
        run({"quartz-1.0"}, {{"quartz-base", "1.0.0-1"}, {"quartz-extra", "1.0.0-1"}}, {"quartz"}, "");
    EXPECT_EQ(
        "\nYou already have the latest version of product(s) and all the selected components installed. "
        "Installation will not continue.\n",
        installed.out);
    EXPECT_EQ("202", installed.result);
}

// The factory makes the page; a page without a selected release, or without an offered product, is a
// fault of the caller.
TEST_F(TextDlgComponentsTest, CallerFaultsAreInternalErrors)
{
    const std::string path = mirror->path();
    const ChildResult result = runChecksOnSystem(
        DEBIAN,
        [&] {
            TextDialog::noClear = true;
            {
                Forest forest(path, {"zanth-10.0"}, {});
                forest.catalogue.unselectAllReleases();
                const error e = caught([&] { TextDlgComponents(&forest.manager, &forest.catalogue); });
                EXPECT_EQ(codes(error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)), codes(e));
                EXPECT_NE(std::string::npos, e.getText().find(", installer/TextDlgComponents, line 36."))
                    << e.getText();
            }
            Forest forest(path, {"zanth-10.0"}, {});
            TextDlgMaker maker;
            const std::unique_ptr<Dialog> made(maker.makeComponents(&forest.manager, &forest.catalogue));
            TextDlgComponents* page = dynamic_cast<TextDlgComponents*>(made.get());
            ASSERT_NE(nullptr, page);
            EXPECT_EQ((TextDlgComponents::productNames_t{{"zanth", "Zanth"}}), page->productNames);
            page->products = {"folioforge"};
            const error e = caught([&] { page->run(); });
            EXPECT_NE(std::string::npos, e.getText().find(", installer/TextDlgComponents, line 115.")) << e.getText();
        },
        privateProgressOptions());
    EXPECT_EQ(0, result.exit_code) << result.out << result.err;
}
