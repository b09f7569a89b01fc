#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/Repository.h"
#include "common/SourceSysDeb.h"
#include "common/format_message.h"
#include "installer/BuildManager.h"
#include "installer/Product.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LogFile.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

typedef std::vector<std::string> ids_t;

// The hand-written catalogue: zanth z18 z17 z19b z16, ff (Folio, refuses zanth) f3 f2 f1, hid
// (hidden for a clean installation) h1.
const ids_t ALL = {"z18", "z17", "z19b", "z16", "f3", "f2", "f1", "h1"};

}  // namespace

TEST(BuildManagerQueries, LookupsFollowTheirListAndComparison)
{
    TestCatalogue catalogue;
    EXPECT_EQ(TestCatalogue::ids(catalogue->getReleases(false)), ALL);
    EXPECT_EQ(catalogue->findRelease("f2")->get_name(), "Folio 2");
    EXPECT_FALSE(catalogue->findRelease("F2"));
    EXPECT_EQ(catalogue->findProduct("ff")->name(), "Folio");
    EXPECT_FALSE(catalogue->findProduct("nothing"));
    EXPECT_EQ(catalogue->findReleaseByVersion("zanth", "17")->get_id(), "z17");
    const boost::shared_ptr<Release> as_version = catalogue->findReleaseByVersion("zanth", "017");
    ASSERT_TRUE(as_version);  // compared as versions, not as texts
    EXPECT_EQ(as_version->get_id(), "z17");
    EXPECT_FALSE(catalogue->findReleaseByVersion("ff", "17"));
    EXPECT_TRUE(thrown<error>([&] { catalogue->findReleaseByVersion("zanth", ""); }));
    EXPECT_EQ(catalogue->getLatestReleaseId("zanth"), "z19b");
    EXPECT_EQ(catalogue->getLatestReleaseId("ff"), "f3");
    EXPECT_EQ(catalogue->getLatestReleaseId("nothing"), "");

    // Nothing installed.
    EXPECT_EQ(catalogue->getInstalledProductIds(), ids_t{});
    EXPECT_EQ(catalogue->getCurrentReleaseId("zanth"), "");
    EXPECT_EQ(catalogue->getInstalledVersion("zanth"), "");

    catalogue.install({{"kwt-zanth-core", "17-4"}, {"kwt-hid-core", "1"}});
    EXPECT_EQ(catalogue->getInstalledProductIds(), (ids_t{"zanth", "hid"}));
    EXPECT_EQ(catalogue->getCurrentReleaseId("zanth"), "z17");
    EXPECT_EQ(catalogue->getCurrentReleaseVersion("zanth"), "17");
    EXPECT_EQ(catalogue->getInstalledVersion("zanth"), "17");
    EXPECT_EQ(BuildManager::getCurrentReleaseNames(catalogue->getReleases(false)), (ids_t{"Zanth 17", "Hidden 1"}));

    // The walk and the lists work on copies: a release removed stays with whoever holds it.
    boost::weak_ptr<Release> gone = catalogue->findRelease("z16");
    catalogue->removeRelease(gone);
    EXPECT_FALSE(catalogue->findRelease("z16"));
    EXPECT_FALSE(gone.expired());
    catalogue->removeRelease(gone);  // no longer listed: nothing changes
    EXPECT_EQ(catalogue->getReleases(false).size(), ALL.size() - 1);
    boost::weak_ptr<Release> expired;
    {
        boost::shared_ptr<Release> temporary(new Release(catalogue->findProduct("ff"), "x", "x", "", "1", "1"));
        expired = temporary;
    }
    EXPECT_THROW(catalogue->removeRelease(expired), boost::bad_weak_ptr);
}

TEST(BuildManagerQueries, SelectionAndItsErrors)
{
    TestCatalogue catalogue;
    catalogue->selectRelease("zanth", "z17");
    catalogue->selectRelease("ff", "f2");
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), (ids_t{"z17", "f2"}));
    EXPECT_EQ(catalogue->getSelectedReleaseId("ff"), "f2");
    EXPECT_EQ(catalogue->getSelectedReleaseVersion("zanth"), "17");
    EXPECT_TRUE(catalogue->isProductSelected("zanth"));
    EXPECT_FALSE(catalogue->isProductSelected("hid"));

    // An empty product stands for all of them.
    catalogue->selectRelease("", "h1");
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), ids_t{"h1"});
    catalogue->unselectProductReleases("hid");
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), ids_t{});
    catalogue->selectRelease("zanth", "z18");
    catalogue->selectRelease("ff", "f1");
    catalogue->unselectAllReleases();
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), ids_t{});

    const std::string advice = "\n" + messages.get("err_no_prod_rel_id_advice") + "\n";
    struct Case {
        std::string product;
        std::string release;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"nothing", "z18", format_message(messages.get("err_no_product_id"), "nothing") + advice},
        {"zanth", "f2", format_message(messages.get("err_no_release_id"), "f2", "zanth") + advice},
        {"", "none", format_message(messages.get("err_no_release_id"), "none", "<default=zanth>") + advice},
    };
    for (const Case& c : cases) {
        const error e = caught([&] { catalogue->selectRelease(c.product, c.release); });
        EXPECT_EQ(e.getText(), c.text);
        EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 2));
    }
    // The failed selection has cleared the flags it met.
    catalogue->selectRelease("zanth", "z17");
    EXPECT_TRUE(thrown<error>([&] { catalogue->selectRelease("zanth", "f3"); }));
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), ids_t{});
}

TEST(BuildManagerQueries, DefaultSelectionOnlyWhenNothingIsInstalled)
{
    TestCatalogue catalogue;
    LogFile log(3);
    catalogue->selectDefaultProductRelease();
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), ids_t{"z19b"});
    EXPECT_TRUE(log.has("DEBUG: Selecting release of default product if no releases are current..."));
    EXPECT_TRUE(
        log.has("DEBUG: Selecting release of default product if no releases are current: done, selected "
                "zanth/z19b"));

    catalogue->unselectAllReleases();
    catalogue.install({{"kwt-ff-core", "1"}});
    catalogue->selectDefaultProductRelease();
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), ids_t{});
    EXPECT_TRUE(
        log.has("DEBUG: Selecting release of default product if no releases are current: nothing to do, "
                "there are current releases"));

    // Without releases of the default product there is nothing to select.
    catalogue.install({});
    for (const char* id : {"z18", "z17", "z19b", "z16"})
        catalogue->removeRelease(catalogue->findRelease(id));
    catalogue->selectDefaultProductRelease();
    EXPECT_EQ(catalogue->getSelectedReleaseIds(), ids_t{});
    EXPECT_TRUE(
        log.has("DEBUG: Selecting release of default product if no releases are current: nothing to do, "
                "cannot select latest release id for zanth"));
}

TEST(BuildManagerQueries, StatesMustBeComputedFirst)
{
    TestCatalogue catalogue("products.inf3", false);
    const std::vector<std::function<void()>> calls = {
        [&] { catalogue->removeNotActualReleases(); },           [&] { catalogue->getInstalledVersion("zanth"); },
        [&] { catalogue->getCurrentReleaseId("zanth"); },        [&] { catalogue->selectDefaultProductRelease(); },
        [&] { catalogue->cropReleasesByTags({"nothing"}, {}); },
    };
    for (const auto& call : calls)
        EXPECT_EQ(codes(caught(call)), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(catalogue->getReleases(false).size(), ALL.size());
}

TEST(BuildManagerQueries, CroppingByTags)
{
    struct Case {
        ids_t tags;
        ids_t keep;
        std::string installed_zanth;  // version of the key package, or none
        ids_t main;
        ids_t promoted;
    };
    const std::vector<Case> cases = {
        {{"release"}, {}, "", {"z18", "f3"}, {}},
        {{"release"}, {"z17"}, "", {"z18", "z17", "f3"}, {}},
        {{"release"}, {}, "17", {"z18", "z17", "f3"}, {}},  // the current release stays
        {{"testing", "release"}, {}, "", {"z18", "f3"}, {"z19b"}},
        {{"testing"}, {}, "", {"f3"}, {"z19b"}},   // f3 took "testing" before f2 could offer it
        {{"stable"}, {}, "", {"z16", "h1"}, {}},   // no tags means "stable"
        {{"Release"}, {}, "", {"z18", "f3"}, {}},  // tags are case-insensitive
        {{}, {}, "", ALL, {}},
    };
    for (const Case& c : cases) {
        TestCatalogue catalogue;
        if (!c.installed_zanth.empty())
            catalogue.install({{"kwt-zanth-core", c.installed_zanth}});
        catalogue->cropReleasesByTags(c.tags, c.keep);
        const std::string what = c.tags.empty() ? "no tags" : c.tags.front();
        EXPECT_EQ(TestCatalogue::ids(catalogue->getReleases(false)), c.main) << what;
        ids_t both = c.promoted;
        both.insert(both.end(), c.main.begin(), c.main.end());
        EXPECT_EQ(TestCatalogue::ids(catalogue->getReleases(true)), both) << what;
    }

    // The first requested tag that a release carries is the one it shows.
    TestCatalogue catalogue;
    LogFile log(3);
    catalogue->cropReleasesByTags({"testing", "release"}, {"z16", "f1"});
    EXPECT_EQ(catalogue->findRelease("f3")->get_display_tag(), "testing");
    EXPECT_EQ(catalogue->findRelease("z18")->get_display_tag(), "release");
    EXPECT_TRUE(log.has("DEBUG: Cropping releases by tags ( 'testing' 'release')"));
    EXPECT_TRUE(log.has("DEBUG: Keep releases ( 'z16' 'f1')"));
    // The walk visits the promoted releases first.
    std::vector<std::string> walked;
    struct Walk : BuildManager::Visitor {
        explicit Walk(std::vector<std::string>& out_) : out(out_) {}
        void visitRelease(boost::shared_ptr<Release> release) override { out.push_back(release->get_id()); }
        void endRelease(boost::shared_ptr<Release>) override { out.push_back("end"); }
        void visitBuild(const Build* build) override { out.push_back(build->getConfig()); }
        void visitAddon(const Addon*) override {}
        std::vector<std::string>& out;
    } walk(walked);
    catalogue->visit(walk);
    EXPECT_EQ(walked, (ids_t{"z19b", "z19b.inf3", "end", "z18", "z18.inf3", "end", "z16", "z16.inf3", "end", "f3",
                             "f3.inf3", "end", "f1", "f1.inf3", "end"}));
}

TEST(BuildManagerQueries, FilteringDropsWhatCannotBeInstalled)
{
    TestCatalogue catalogue;
    catalogue.install({{"kwt-zanth-core", "17"}});
    LogFile log(3);
    catalogue->removeNotActualReleases();
    // z19b is too new for 17, z16 too old; Folio refuses the installed Zanth.
    EXPECT_EQ(TestCatalogue::ids(catalogue->getReleases(false)), (ids_t{"z18", "z17", "h1"}));
    for (const char* id : {"f3", "f2", "f1"})
        EXPECT_TRUE(log.has(std::string("DEBUG: drop ") + id +
                            " because version 17 of conflicting product 'zanth' is already installed."));
    EXPECT_TRUE(log.has("DEBUG: Removing not actual releases: done"));
    catalogue->removeHiddenForCleanInstall();
    EXPECT_EQ(TestCatalogue::ids(catalogue->getReleases(false)), (ids_t{"z18", "z17"}));

    // The other direction: Folio installed drops Zanth; an installed hidden product stays.
    TestCatalogue other;
    other.install({{"kwt-ff-core", "2"}, {"kwt-hid-core", "1"}});
    other->removeNotActualReleases();
    other->removeHiddenForCleanInstall();
    EXPECT_EQ(TestCatalogue::ids(other->getReleases(false)), (ids_t{"f3", "f2", "h1"}));
}

TEST(BuildManagerQueries, UpgradeWarnings)
{
    TestCatalogue catalogue;
    catalogue.install({{"kwt-zanth-core", "16.5"}});
    // z18 needs 17 at least; z17 is the highest release 16.5 may go to.
    catalogue->checkNotSupportedUpgrades({"release"});
    EXPECT_EQ(catalogue->getWarnings(),
              ids_t{format_message(messages.get("upgrade_from_not_supported_versions"), "Zanth 16.5", "Zanth 17",
                                   "https://example.invalid/kb/upgrade")});
    catalogue->checkNotSupportedUpgrades({});
    EXPECT_EQ(catalogue->getWarnings(), ids_t{});
    catalogue->checkNotSupportedUpgrades({"beta"});  // z19b needs 18: nothing actual to go to
    EXPECT_EQ(catalogue->getWarnings(), ids_t{});
}

TEST(BuildManagerQueries, DriverOrderAgainstTheInstalledPackages)
{
    const Opsys system;
    if (system->vendor != "Debian" || system->version.substr(0, 2) != "12" || system->arch != "x86_64")
        GTEST_SKIP() << "the generated builds are made for Debian 12 x86_64";
    // dpkg is the key package; releases are placed around its installed version.
    const std::string installed = shellOutput("dpkg-query -W -f='${Version}' dpkg | sed 's/-[^-]*$//'");
    const int major = std::stoi(installed.substr(0, installed.find('.')));
    const std::string next = std::to_string(major + 1) + ".0";
    const std::string far = std::to_string(major + 2) + ".0";
    const std::string between = std::to_string(major + 1) + ".5";
    auto dpkg = [](const std::string& a, const char* op, const std::string& b) {
        return std::system(("dpkg --compare-versions '" + a + "' " + op + " '" + b + "'").c_str()) == 0;
    };
    ASSERT_TRUE(dpkg("1.0", "lt", installed) && dpkg(next, "gt", installed) && dpkg(installed, "lt", between));

    std::ostringstream model;
    // The generator writes a product's releases newest first: the model lists them the other way.
    model << R"({"addons": [], "products": [
      {"id": "zanth", "name": "Zanth", "dir": "zanth", "keypackages": [["kwt-absent-package", "dpkg"]],
       "releases": [
         {"id": "far", "name": "Zanth far", "version": ")"
          << far << R"(", "upgrade_allowed_from": ")" << between << R"(", "tags": "release"},
         {"id": "current", "name": "Zanth current", "version": ")"
          << installed << R"(", "upgrade_allowed_from": "1.0", "tags": "release"},
         {"id": "old", "name": "Zanth old", "version": "1.0", "upgrade_allowed_from": "1.0", "tags": "release"},
         {"id": "next", "name": "Zanth next", "version": ")"
          << next << R"(", "upgrade_allowed_from": ")" << installed << R"(", "tags": "release"}]},
      {"id": "folioforge", "name": "Folioforge", "dir": "ff", "keypackages": [["kwt-absent-package"]],
       "incompatible_with": ["zanth"],
       "releases": [{"id": "ff1", "name": "Folioforge 1", "version": "1.0", "upgrade_allowed_from": "1.0"}]}]})";
    // In the child, whose /tmp is its own: reading the installed packages records a progress step.
    const ChildResult result = runChecksInChild(
        [&] {
            TempDir dir;
            writeWholeFile(dir / "model.json", model.str());
            GeneratedMirror mirror({"--model", dir / "model.json"});
            Repository repository;
            SourceSysDeb source(&repository);
            repository.getBriefPackagesInfo();
            FileFetcher fetcher(SourceUrl(mirror.path() + "/"), dir / "target");
            BuildManager catalogue(fetcher, "");
            catalogue.calculateReleasesState(repository);
            EXPECT_EQ(catalogue.getInstalledProductIds(), ids_t{"zanth"});
            EXPECT_EQ(catalogue.getInstalledVersion("zanth"), installed);
            EXPECT_EQ(catalogue.findRelease("next")->get_update_mode(), Release::MAJOR_UPGRADE);

            catalogue.checkNotSupportedUpgrades({"release"});
            EXPECT_EQ(catalogue.getWarnings(), ids_t{format_message(messages.get("upgrade_from_not_supported_versions"),
                                                                    "Zanth " + installed, "Zanth " + next, "")});
            catalogue.removeNotActualReleases();
            EXPECT_EQ(TestCatalogue::ids(catalogue.getReleases(false)), (ids_t{"next", "current"}));
            catalogue.removeHiddenForCleanInstall();
            catalogue.cropReleasesByTags({"release"}, {});
            EXPECT_EQ(TestCatalogue::ids(catalogue.getReleases(true)), (ids_t{"next", "current"}));
            EXPECT_EQ(catalogue.getCurrentReleaseId("zanth"), "current");
        },
        privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}
