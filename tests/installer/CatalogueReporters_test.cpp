// The listing answers of the catalogue queries: products, releases and updates, operating systems,
// sources and installation types.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/Repository.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "installer/InstallationTypesReporter.h"
#include "installer/OSListReporter.h"
#include "installer/Options.h"
#include "installer/ProductsReporter.h"
#include "installer/ReleasesReporter.h"
#include "installer/SourceManager.h"
#include "installer/SourcesReporter.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LoadedBuild.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/XmlLint.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const std::string DECLARATION = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

// Two products; the second's id is longer than the id column. z19's hide tags keep its tiers out
// of the query listing, and z18 has a second build for another system.
const std::map<std::string, std::string> FILES = {
    {"index.inf3", R"(<vendors><vendor><products>
  <product id="zanth" name="Zanth" reference="zanth.inf3"/>
  <product id="folioforge-enterprise" name="Folioforge Enterprise &amp; Co" reference="ffe.inf3"/>
</products></vendor></vendors>)"},
    {"zanth.inf3", R"(<product id="zanth">
  <keypackages><keypackage>kwt-zanth-core</keypackage></keypackages>
  <release id="z18" name="Zanth 18" codename="Oak" version="18.0" upgrade_allowed_from="17" tags="release"
           tarn_api_version="1.4" dispatcher_api_version="2">
    <build @THIS_SYSTEM@ config="builds/18/this.inf3"/>
    <build os_name="Linux" os_vendor="Rocky" os_version="9" os_arch="x86_64" config="builds/18/rocky-9.inf3"/>
  </release>
  <release id="z17" name="Zanth 17" codename="Elm" version="17.0" upgrade_allowed_from="16" tags="stable">
    <build @THIS_SYSTEM@ config="builds/17/this.inf3"/>
  </release>
  <release id="z19-preview-long-identifier" name="Zanth 19 preview" version="19.0" upgrade_allowed_from="18"
           tags="beta" hide_tags="query,filtered,nonfiltered" tarn_api_version="2.0">
    <build @THIS_SYSTEM@ config="builds/19/this.inf3"/>
  </release>
</product>)"},
    {"ffe.inf3", R"(<product id="folioforge-enterprise">
  <keypackages><keypackage>kwt-ffe-core</keypackage></keypackages>
  <release id="ffe-2" name="Folioforge 2" version="2.0" upgrade_allowed_from="1" tags="beta">
    <build @THIS_SYSTEM@ config="ffe2.inf3"/>
  </release>
</product>)"},
};

// The process-wide switches the replies read, put back after each test.
class CatalogueReportersTest : public testing::Test {
protected:
    void TearDown() override
    {
        Reporter::xmlOutput = false;
        Reporter::statusPrefix.clear();
        Options& options = Options::instance();
        options.commandOperation = Options::NO_OPERATION;
        options.releaseSelectors.clear();
    }

    static std::string message(const char* key) { return Messages().get(key); }

    TestCatalogue catalogue{FILES, "index.inf3"};
};

TEST_F(CatalogueReportersTest, ProductsAsTextAndXml)
{
    // Each product once, where its first release stands; a long id pushes the rest of its row.
    EXPECT_EQ(printed(ProductsReporter(&*catalogue)),
              "--- prod_id  (description) ---                       \n"
              "zanth        (Zanth)                                 \n"
              "folioforge-enterprise (Folioforge Enterprise & Co)            \n");

    Reporter::xmlOutput = true;
    Reporter::statusPrefix = "query_";
    const std::string xml = printed(ProductsReporter(&*catalogue));
    EXPECT_EQ(xml,
              DECLARATION +
                  "<kitwright status=\"query_ok\">\n"
                  "    <products>\n"
                  "        <product id=\"zanth\" description=\"Zanth\" />\n"
                  "        <product id=\"folioforge-enterprise\" description=\"Folioforge Enterprise &amp; Co\" />\n"
                  "    </products>\n"
                  "</kitwright>\n\n");
    EXPECT_EQ(xmlProblems(xml), "");
    EXPECT_EQ(xpath(xml, "string(/kitwright/products/product[2]/@description)"), "Folioforge Enterprise & Co");
}

TEST_F(CatalogueReportersTest, ReleasesListAsTextAndXml)
{
    EXPECT_EQ(printed(ReleasesReporter(&*catalogue, ReleasesReporter::LIST)),
              "--- prod_id  release_id           (description)                            (tiers) ---\n"
              "zanth        z18                  (Zanth 18)                               (release)\n"
              "zanth        z17                  (Zanth 17)                               (stable)\n"
              "zanth        z19-preview-long-identifier (Zanth 19 preview)                      \n"
              "folioforge-enterprise ffe-2                (Folioforge 2)                           (beta)\n");

    Reporter::xmlOutput = true;
    const std::string xml = printed(ReleasesReporter(&*catalogue, ReleasesReporter::LIST));
    EXPECT_EQ(xml, DECLARATION +
                       "<kitwright status=\"ok\">\n"
                       "    <releases>\n"
                       "        <release id=\"z18\" codename=\"Oak\" action=\"install\">\n"
                       "            <description>Zanth 18</description>\n"
                       "            <version>18.0</version>\n"
                       "            <qor_api_version>1.4</qor_api_version>\n"
                       "            <dispatcher_api_version>2</dispatcher_api_version>\n"
                       "        </release>\n"
                       "        <release id=\"z17\" codename=\"Elm\" action=\"install\">\n"
                       "            <description>Zanth 17</description>\n"
                       "            <version>17.0</version>\n"
                       "        </release>\n"
                       "        <release id=\"z19-preview-long-identifier\" codename=\"\" action=\"install\">\n"
                       "            <description>Zanth 19 preview</description>\n"
                       "            <version>19.0</version>\n"
                       "            <qor_api_version>2.0</qor_api_version>\n"
                       "        </release>\n"
                       "        <release id=\"ffe-2\" codename=\"\" action=\"install\">\n"
                       "            <description>Folioforge 2</description>\n"
                       "            <version>2.0</version>\n"
                       "        </release>\n"
                       "    </releases>\n"
                       "</kitwright>\n\n");
    EXPECT_EQ(xmlProblems(xml), "");
}

TEST_F(CatalogueReportersTest, ReleaseSelectorsShowOnlyTheirProducts)
{
    Options::instance().releaseSelectors.push_back(ReleaseSelector("folioforge-enterprise", "ffe-2"));
    EXPECT_EQ(printed(ReleasesReporter(&*catalogue, ReleasesReporter::UPDATES)),
              "--- prod_id  release_id           (description)                            (tiers) ---\n"
              "folioforge-enterprise ffe-2                (Folioforge 2)                           (beta)\n");
    Reporter::xmlOutput = true;
    EXPECT_EQ(xpath(printed(ReleasesReporter(&*catalogue, ReleasesReporter::LIST)), "count(//release)"), "1");
}

TEST_F(CatalogueReportersTest, UpdatesLeaveOutUpToDateReleasesInXmlOnly)
{
    // Zanth 17 is installed: z18 upgrades it, z19 is out of its reach, z17 is up to date.
    catalogue.install({{"kwt-zanth-core", "17.0"}});
    const std::string text = printed(ReleasesReporter(&*catalogue, ReleasesReporter::UPDATES));
    EXPECT_NE(text.find("\nzanth        z17 "), std::string::npos) << text;

    Reporter::xmlOutput = true;
    std::string xml = printed(ReleasesReporter(&*catalogue, ReleasesReporter::UPDATES));
    EXPECT_EQ(xmlProblems(xml), "");
    EXPECT_EQ(xpath(xml, "string(//release[@id='z18']/@action)"), "upgrade");
    EXPECT_EQ(xpath(xml, "string(//release[@id='z19-preview-long-identifier']/@action)"), "none");
    EXPECT_EQ(xpath(xml, "count(//release[@id='z17'])"), "0");
    EXPECT_EQ(xpath(xml, "count(//release[@update_grade])"), "0");
    // The list mode keeps it.
    EXPECT_EQ(
        xpath(printed(ReleasesReporter(&*catalogue, ReleasesReporter::LIST)), "string(//release[@id='z17']/@action)"),
        "up2date");

    // An installed release with component updates is an update of major grade, after the action.
    catalogue->findRelease("z17")->set_has_component_updates();
    xml = printed(ReleasesReporter(&*catalogue, ReleasesReporter::UPDATES));
    EXPECT_NE(xml.find("<release id=\"z17\" codename=\"Elm\" action=\"update\" update_grade=\"major\">"),
              std::string::npos)
        << xml;
}

TEST_F(CatalogueReportersTest, EveryReleaseLeftOutGivesAnEmptyListThatIsOk)
{
    catalogue.install({{"kwt-zanth-core", "17.0"}, {"kwt-ffe-core", "2.0"}});
    for (const char* id : {"z18", "z19-preview-long-identifier"})
        catalogue->removeRelease(catalogue->findRelease(id));
    Reporter::xmlOutput = true;
    EXPECT_EQ(printed(ReleasesReporter(&*catalogue, ReleasesReporter::UPDATES)),
              DECLARATION + "<kitwright status=\"ok\">\n    <releases />\n</kitwright>\n\n");
}

TEST_F(CatalogueReportersTest, AnEmptyReleaseListIsAnAnswerOnlyForUpdates)
{
    for (const auto& release : catalogue->getReleases(false))
        catalogue->removeRelease(release);
    // Selectors do not change the empty-list replies.
    Options::instance().releaseSelectors.push_back(ReleaseSelector("zanth", "z18"));
    const std::string noUpdates = message("releases_reporter_no_updates");
    const std::string empty = message("releases_reporter_list_empty");

    EXPECT_EQ(printed(ReleasesReporter(&*catalogue, ReleasesReporter::UPDATES)), "\n" + noUpdates + "\n");
    EXPECT_EQ(printed(ReleasesReporter(&*catalogue, ReleasesReporter::LIST)), "\nERROR: " + empty + "\n");
    EXPECT_EQ(printed(ProductsReporter(&*catalogue)), "\nERROR: " + empty + "\n");

    Reporter::xmlOutput = true;
    const std::string xml = printed(ReleasesReporter(&*catalogue, ReleasesReporter::UPDATES));
    EXPECT_EQ(xpath(xml, "string(/kitwright/@status)"), "ok");
    EXPECT_EQ(xpath(xml, "string(/kitwright/@error_message)"), noUpdates);
    EXPECT_EQ(xpath(printed(ReleasesReporter(&*catalogue, ReleasesReporter::LIST)), "string(/kitwright/@status)"),
              "error");
}

TEST_F(CatalogueReportersTest, UpgradeWithoutTargetListsTheChoicesThenRefuses)
{
    Options::instance().commandOperation = Options::UPGRADE_COMMAND;
    struct Case {
        std::function<std::ostream&(std::ostream&)> put;
        const char* key;
        const char* header;
    };
    const ProductsReporter products(&*catalogue);
    const ReleasesReporter releases(&*catalogue, ReleasesReporter::LIST);
    const std::vector<Case> cases = {
        {[&](std::ostream& out) -> std::ostream& { return products.put(out); }, "err_cmd_upgrade_no_product",
         "--- prod_id  (description)"},
        {[&](std::ostream& out) -> std::ostream& { return releases.put(out); }, "err_cmd_upgrade_no_release",
         "--- prod_id  release_id"},
    };
    for (const Case& c : cases) {
        for (bool xml : {false, true}) {
            Reporter::xmlOutput = xml;
            std::ostringstream out;
            const error e = caught([&] { c.put(out); });
            EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 2)) << c.key;
            EXPECT_EQ(e.getText(), message("err_cmd_upgrade_no_smth") + message(c.key) + "\n");
            // The table comes first in the text form; the XML form prints nothing.
            if (xml)
                EXPECT_EQ(out.str(), "");
            else
                EXPECT_EQ(out.str().rfind(c.header, 0), 0u) << out.str();
        }
    }
}

TEST_F(CatalogueReportersTest, OperatingSystemsOfTheSelectedReleases)
{
    catalogue->selectRelease("zanth", "z18");
    const Opsys system;
    const std::string mine = system->vendor + system->version + ": ";
    std::ostringstream expected;
    expected << std::string(mine.size() < 15 ? 15 - mine.size() : 0, ' ') << mine << "this.inf3\n"
             << "       Rocky9: rocky-9.inf3\n";
    EXPECT_EQ(printed(OSListReporter(&*catalogue)), expected.str());

    // No XML form: the refusal comes before anything is printed.
    Reporter::xmlOutput = true;
    std::ostringstream out;
    const error e = caught([&] { OSListReporter(&*catalogue).put(out); });
    EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 2));
    EXPECT_EQ(e.getText(), message("err_src_xmlblist") + "\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(CatalogueReportersTest, SourcesOfTheProductOnly)
{
    TempDir dir, target;
    const ChildResult r = runChecksOnSystem({"Linux", "Debian", "12", "x86_64", ""}, [&] {
        Options::instance().source.assign(dir.path() + "/");
        Repository repository;
        FileFetcher fetcher(SourceUrl(dir.path() + "/"), target.path());
        SourceManager sources(&repository);
        // Nothing yet: no line, and an empty element.
        EXPECT_EQ(printed(SourcesReporter(&sources)), "");
        Reporter::xmlOutput = true;
        EXPECT_EQ(printed(SourcesReporter(&sources)),
                  DECLARATION + "<kitwright status=\"ok\">\n    <sources />\n</kitwright>\n\n");

        // The sources hold their build weakly: the catalogue keeps it.
        const boost::shared_ptr<Build> build =
            loadedBuild(dir, "build_dir=\"d\" apt_source=\"d/ ./\" persistent_apt_source=\"p/ ./\"");
        sources.addBuildSources(fetcher, build);
        ComponentManager components;
        sources.addExtensionsSource(&components);
        const std::string deb = "deb [signed-by=/etc/apt/keyrings/zanth.gpg] file://" + dir.path() + "/zanth/";
        Reporter::xmlOutput = false;
        EXPECT_EQ(printed(SourcesReporter(&sources)), deb + "d/ ./\n" + deb + "p/ ./\n");
        Reporter::xmlOutput = true;
        const std::string xml = printed(SourcesReporter(&sources));
        EXPECT_EQ(xml, DECLARATION + "<kitwright status=\"ok\">\n    <sources>\n" +
                           "        <source persistent=\"0\" configuration=\"" + deb + "d/ ./\" />\n" +
                           "        <source persistent=\"1\" configuration=\"" + deb + "p/ ./\" />\n" +
                           "    </sources>\n</kitwright>\n\n");
        EXPECT_EQ(xmlProblems(xml), "");
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST_F(CatalogueReportersTest, InstallationTypesPerProduct)
{
    ComponentManager manager;
    // Without a product to install there is nothing to show.
    const error e = caught([&] { printed(InstallationTypesReporter(&manager)); });
    EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 1));
    EXPECT_EQ(e.getText(), "Installation types may be shown only for not yet installed products.\n\n");

    const boost::shared_ptr<Build> build = *catalogue->findRelease("z18")->get_builds().begin();
    manager.instTypes.addType(*build, {{"Recommended", "rec"}, "The usual <set>", InstTypes::DECLARED, {"core"}});
    manager.instTypes.addType(*build, {{"Custom"}, "Choose yourself", InstTypes::CUSTOM, {}});
    EXPECT_EQ(printed(InstallationTypesReporter(&manager)),
              "Installation types for Zanth:\n"
              "    Recommended - The usual <set>\n"
              "    Custom - Choose yourself\n");

    Reporter::xmlOutput = true;
    const std::string xml = printed(InstallationTypesReporter(&manager));
    EXPECT_EQ(xml, DECLARATION +
                       "<kitwright status=\"ok\">\n"
                       "    <products>\n"
                       "        <product id=\"zanth\" name=\"Zanth\">\n"
                       "            <installation_types>\n"
                       "                <type name=\"Recommended\" description=\"The usual &lt;set&gt;\" />\n"
                       "                <type name=\"Custom\" description=\"Choose yourself\" />\n"
                       "            </installation_types>\n"
                       "        </product>\n"
                       "    </products>\n"
                       "</kitwright>\n\n");
    EXPECT_EQ(xmlProblems(xml), "");
}

// The shared test mirror, loaded from its directory as a run loads its installation source.
TEST_F(CatalogueReportersTest, TheGeneratedMirrorsReleasesAndSystems)
{
    GeneratedMirror mirror;
    TempDir target;
    FileFetcher fetcher(SourceUrl(mirror.path() + "/"), target.path());
    BuildManager loaded(fetcher, "");
    Repository nothing;
    loaded.calculateReleasesState(nothing);

    Reporter::xmlOutput = true;
    const std::string xml = printed(ReleasesReporter(&loaded, ReleasesReporter::LIST));
    EXPECT_EQ(xmlProblems(xml), "");
    EXPECT_EQ(xpath(xml, "count(//release)"), std::to_string(loaded.getReleases(false).size()));
    EXPECT_EQ(xpath(xml,
                    "concat(//release[@id='zanth-10.1']/@codename, ' ', //release[@id='zanth-10.1']/version, ' ', "
                    "//release[@id='zanth-10.1']/qor_api_version, ' ', "
                    "//release[@id='zanth-10.1']/dispatcher_api_version, ' ', "
                    "count(//release[@id='zanth-10.0']/dispatcher_api_version))"),
              "Birch 10.1.0 1.4 2 0");
    EXPECT_EQ(xpath(printed(ProductsReporter(&loaded)), "concat(//product[1]/@id, ' ', //product[2]/@id)"),
              "zanth folioforge");

    // One line per build of the selected release, named after its build file.
    Reporter::xmlOutput = false;
    loaded.selectRelease("zanth", "zanth-10.1");
    std::string expected;
    for (const auto& build : loaded.findRelease("zanth-10.1")->get_builds()) {
        const std::string system = build->getOsVendor() + build->getOsVersion() + ": ";
        expected += std::string(system.size() < 15 ? 15 - system.size() : 0, ' ') + system +
                    build->getConfig().substr(build->getConfig().rfind('/') + 1) + "\n";
    }
    EXPECT_EQ(printed(OSListReporter(&loaded)), expected);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 2);
}

TEST_F(CatalogueReportersTest, NullPointersAreInternalErrors)
{
    const std::vector<std::function<void()>> puts = {
        [] { printed(ProductsReporter(nullptr)); },
        [] { printed(ReleasesReporter(nullptr, ReleasesReporter::LIST)); },
        [] { printed(OSListReporter(nullptr)); },
        [] { printed(SourcesReporter(nullptr)); },
        [] { printed(InstallationTypesReporter(nullptr)); },
    };
    for (const auto& put : puts) {
        const error e = caught(put);
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 0, 3));
        EXPECT_EQ(e.getText().rfind("Try of use NULL pointer: ", 0), 0u) << e.getText();
        EXPECT_NE(e.getText().find("common/checked_pointer.h:"), std::string::npos) << e.getText();
    }
}

}  // namespace
