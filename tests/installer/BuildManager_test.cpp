#include "installer/BuildManager.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <boost/algorithm/string/replace.hpp>
#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/FileFetcher.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/Product.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LogFile.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

void noWait() {}

// The whole catalogue as the walk shows it, one line per release, build and addon.
class Dump : public BuildManager::Visitor {
public:
    void visitRelease(boost::shared_ptr<Release> release) override
    {
        out << "release " << release->prod()->id() << "/" << release->get_id() << " '" << release->get_name() << "' "
            << release->get_version().toString() << " from " << release->get_upgrade_allowed_from().toString()
            << " hide=" << release->get_hide_policy() << " best_with=";
        for (const auto& best : release->get_best_with())
            out << best.first << ":" << best.second << ",";
        out << "\n";
    }
    void endRelease(boost::shared_ptr<Release> release) override { out << "end " << release->get_id() << "\n"; }
    void visitBuild(const Build* build) override
    {
        out << "  " << printed(build) << " source=" << build->getSource() << " deprecated=" << build->isDeprecated()
            << "\n";
    }
    void visitAddon(const Addon* addon) override
    {
        out << "addon " << addon->getId() << " " << addon->getVersion() << " lazy=" << addon->isLazy() << "\n";
        for (const auto& build : addon->getBuilds())
            out << "  " << printed(build) << "\n";
    }

    std::ostringstream out;
};

std::string dump(const BuildManager& catalogue)
{
    Dump walk;
    catalogue.visit(walk);
    return walk.out.str();
}

std::vector<std::string> releaseIds(const BuildManager::releases_t& list)
{
    std::vector<std::string> ids;
    for (const auto& release : list)
        ids.push_back(release->get_id());
    return ids;
}

std::string httpCode(const std::string& url)
{
    return shellOutput("curl -s -o /dev/null -w '%{http_code}' " + shell_quote(url));
}

// Row and column of the first line holding the text, as grep and awk find them.
std::string positionOf(const std::string& file, const std::string& text)
{
    const std::string row =
        shellOutput("grep -n -F -m1 " + shell_quote(text) + " " + shell_quote(file) + " | cut -d: -f1");
    const std::string col = shellOutput("awk -v t=" + shell_quote(text) +
                                        " 'index($0, t) { print index($0, t); exit }' " + shell_quote(file));
    return "row " + row.substr(0, row.find('\n')) + ", col " + col.substr(0, col.find('\n'));
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Downloader::setSecondSleeper(&noWait);
        Downloader::setRetryCount(1);
    }
    void TearDown() override { Downloader::setSecondSleeper(nullptr); }

    std::unique_ptr<BuildManager> load(const std::string& source, const std::string& filename = "")
    {
        FileFetcher fetcher{SourceUrl(source.back() == '/' ? source : source + "/"), work / "target"};
        return std::unique_ptr<BuildManager>(new BuildManager(fetcher, filename));
    }
    // A hand-written catalogue: an index of one product "p" with its file, and extra files.
    void write(const std::string& name, const std::string& text) { writeWholeFile(dir / name, text); }

    TempDir dir;
    TempDir work;
};

const char* const INDEX = R"(<vendors><vendor><products>
  <product id="p" name="Product P" reference="p/p.inf3"/>
</products></vendor></vendors>)";

std::string productFile(const std::string& releases,
                        const std::string& keys = "<keypackages><keypackage>p-core</keypackage></keypackages>")
{
    return "<product id=\"p\">" + keys + releases + "</product>";
}

const char* const BUILD =
    R"(<build os_name="Linux" os_vendor="Debian" os_version="12" os_arch="x86_64" config="b.inf3"/>)";

std::string release(const std::string& id, const std::string& extra = "", const std::string& body = BUILD)
{
    return "<release id=\"" + id + "\" name=\"P " + id + "\" version=\"" + id + "\" upgrade_allowed_from=\"1\"" +
           extra + ">" + body + "</release>";
}

}  // namespace

TEST_F(CatalogueTest, GeneratedMirrorLoadsTheSameFromItsDirectoryAndOverHttp)
{
    GeneratedMirror mirror;
    const std::unique_ptr<BuildManager> local = load(mirror.path());
    LoopbackServer server = LoopbackServer::files(mirror.path());
    const std::unique_ptr<BuildManager> remote = load(server.url());
    EXPECT_EQ(dump(*local), dump(*remote));

    // Everything the generator wrote is there, in index and file order (a product file lists its
    // releases newest first).
    std::vector<std::string> ids;
    std::vector<std::string> configs;
    for (const auto& product : mirror.manifest().get_child("products")) {
        std::vector<std::string> productIds;
        std::vector<std::vector<std::string>> productConfigs;
        for (const auto& release : product.second.get_child("releases")) {
            productIds.push_back(release.second.get<std::string>("id"));
            productConfigs.emplace_back();
            for (const auto& build : release.second.get_child("builds"))
                productConfigs.back().push_back(build.second.get<std::string>("config"));
        }
        ids.insert(ids.end(), productIds.rbegin(), productIds.rend());
        for (auto release = productConfigs.rbegin(); release != productConfigs.rend(); ++release)
            configs.insert(configs.end(), release->begin(), release->end());
    }
    EXPECT_EQ(releaseIds(local->getReleases(true)), ids);
    std::vector<std::string> loaded;
    for (const auto& release : local->getReleases(false))
        for (const auto& build : release->get_builds())
            loaded.push_back(build->getConfig());
    EXPECT_EQ(loaded, configs);
    // One addon per addon release, sorted by version.
    std::vector<std::string> addons;
    for (const auto& addon : local->getAddons())
        addons.push_back(addon->getId() + " " + addon->getVersion());
    std::vector<std::string> expected;
    for (const auto& addon : mirror.manifest().get_child("addons"))
        for (const auto& release : addon.second.get_child("releases"))
            expected.push_back(release.second.get<std::string>("id") + " " +
                               release.second.get<std::string>("version"));
    EXPECT_EQ(addons, expected);

    const boost::shared_ptr<Product> folioforge = local->findProduct("folioforge");
    ASSERT_TRUE(folioforge);
    EXPECT_EQ(folioforge->incompatible_with(), std::vector<std::string>{"zud"});
    EXPECT_EQ(folioforge->name(), "Folioforge");
    const boost::shared_ptr<Release> caution = local->findRelease("zanth-10.1");
    ASSERT_TRUE(caution);
    Repository nothing_installed;  // the caution is for releases not installed
    local->calculateReleasesState(nothing_installed);
    EXPECT_EQ(caution->get_caution(), "Back up the panel database before upgrading.");
    EXPECT_EQ(caution->get_hide_policy(), Release::HIDE_CLI | Release::HIDE_NONFILTERED);
    EXPECT_EQ(caution->get_best_with().count("folioforge"), 2u);
    EXPECT_TRUE(caution->get_promoted_tags().contains("current"));
    EXPECT_EQ(caution->get_tarn_api_version(), "1.4");
    EXPECT_EQ(local->findProduct("zanth")->active_icon(), "icons/zanth.png");
}

TEST_F(CatalogueTest, IndexFallsBackToVersionsAndReportsEveryFailedCandidate)
{
    GeneratedMirror mirror;
    LoopbackServer server = LoopbackServer::files(mirror.path());
    ASSERT_EQ(remove((mirror.path() + "/products.inf3").c_str()), 0);
    EXPECT_EQ(httpCode(server.url() + "products.inf3"), "404");
    // versions.inf3 lists one product fewer.
    std::vector<std::string> products;
    for (const auto& release : load(server.url())->getReleases(false))
        products.push_back(release->prod()->id());
    EXPECT_EQ(std::count(products.begin(), products.end(), "folioforge"), 0);
    EXPECT_EQ(std::count(products.begin(), products.end(), "zanth"), 3);

    ASSERT_EQ(remove((mirror.path() + "/versions.inf3").c_str()), 0);
    EXPECT_EQ(httpCode(server.url() + "versions.inf3"), "404");
    const error e = caught([&] { load(server.url()); });
    EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 2));
    const std::string text = e.getText();
    EXPECT_EQ(text.rfind(messages.get("err_read_prodsinfo") + ": Can't process products.inf3: ", 0), 0u) << text;
    EXPECT_NE(text.find("\nCan't process versions.inf3: "), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');

    // A named file is the only candidate, even when the directory has the usual ones.
    GeneratedMirror other;
    const std::string named = caught([&] { load(other.path(), "missing.inf3"); }).getText();
    EXPECT_NE(named.find("Can't process missing.inf3: "), std::string::npos) << named;
    EXPECT_EQ(named.find("products.inf3"), std::string::npos) << named;
}

TEST_F(CatalogueTest, AttributeErrorsGiveTheRowAndColumnOfTheElement)
{
    GeneratedMirror mirror;
    const std::string file = mirror.path() + "/zanth/products.inf3";
    std::string text = readWholeFile(file);

    // The second release loses its upgrade_allowed_from.
    const std::string second = "<release id=\"zanth-10.1\"";
    const size_t at = text.find(second);
    ASSERT_NE(at, std::string::npos);
    const size_t attr = text.find(" upgrade_allowed_from=\"9.0\"", at);
    std::string edited = text;
    edited.erase(attr, std::string(" upgrade_allowed_from=\"9.0\"").size());
    writeWholeFile(file, edited);
    error e = caught([&] { load(mirror.path()); });
    EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
    EXPECT_EQ(e.getText(),
              format_message(messages.get("err_inf3_upgalw"), file, " (" + positionOf(file, second) + ")") + "\n");

    // A build of the third release loses its os_arch: the position names the file as well.
    const size_t third = text.find("<release id=\"zanth-11.0-beta\"");
    const size_t build = text.find("<build ", third);
    const size_t arch = text.find(" os_arch=\"x86_64\"", build);
    edited = text;
    edited.erase(arch, std::string(" os_arch=\"x86_64\"").size());
    edited.replace(build, 6, "<build kind=\"broken\"");
    writeWholeFile(file, edited);
    e = caught([&] { load(mirror.path()); });
    const std::string expected = format_message(messages.get("err_inf3_osarch"), file,
                                                " (" + file + ": " + positionOf(file, "<build kind=\"broken\"") + ")") +
                                 "\n";
    EXPECT_EQ(e.getText(), expected);
    EXPECT_EQ(e.getText().find(file + ","), std::string::npos);  // this message has no comma after the file
}

TEST_F(CatalogueTest, MalformedCataloguesAreRefusedWithTheirMessage)
{
    struct Case {
        const char* what;
        std::string product;  // the product file
        std::string key;      // the expected message key, filled with the product file's path
        std::string text;     // or the expected start of the text
        std::tuple<int, int, int, int> codes;
    };
    const std::tuple<int, int, int, int> catalogue{1, 1, 1, 3};
    const std::tuple<int, int, int, int> index{1, 1, 1, 2};
    const std::tuple<int, int, int, int> unset{0, 0, 0, 0};
    const std::vector<Case> cases = {
        {"not XML", "<product id=\"p\"><release>", "err_inf3_parse", "", catalogue},
        {"no element", "<!-- nothing -->", "err_inf3_root", "", catalogue},
        {"root not product", "<products id=\"p\"/>", "err_inf3_nonprod", "", catalogue},
        {"empty id", "<product id=\"\"><keypackages><keypackage>k</keypackage></keypackages></product>",
         "err_inf3_noid", "", catalogue},
        {"no key packages", productFile(release("1"), ""), "err_prod_keypkg", "", catalogue},
        {"key packages only in the second group",
         productFile(release("1"), "<keypackages/><keypackages><keypackage>k</keypackage></keypackages>"),
         "err_prod_keypkg", "", catalogue},
        {"no release", productFile(""), "err_inf3_norel", "", catalogue},
        {"key package without text", productFile(release("1"), "<keypackages><keypackage/></keypackages>"), "",
         "Can't parse INDEX: Text node not found in element 'keypackage'", index},
        {"best_with without product",
         productFile(release("1", "",
                             std::string(BUILD) + "<compatibility_info><best_with><version>1</"
                                                  "version></best_with></compatibility_info>")),
         "", "Empty prod_id in best_with", unset},
        {"best_with version without text",
         productFile(release("1", "",
                             std::string(BUILD) +
                                 "<compatibility_info><best_with product_id=\"q\"><version/></best_with>"
                                 "</compatibility_info>")),
         "", "Can't parse INDEX: Text node not found in element 'version'", index},
    };
    write("products.inf3", INDEX);
    ASSERT_EQ(mkdir((dir / "p").c_str(), 0755), 0);
    for (const Case& c : cases) {
        write("p/p.inf3", c.product);
        const error e = caught([&] { load(dir.path()); });
        EXPECT_EQ(codes(e), c.codes) << c.what;
        const std::string text = e.getText();
        if (!c.key.empty()) {
            const std::string message = messages.get(c.key);
            const std::string expected = format_message(message, dir / "p/p.inf3");
            if (c.key == "err_inf3_parse")
                EXPECT_EQ(text.rfind(format_message(message, dir / "p/p.inf3", ""), 0), 0u) << c.what << ": " << text;
            else
                EXPECT_EQ(text, expected + "\n") << c.what;
        } else {
            std::string start = c.text;
            boost::replace_all(start, "INDEX", dir / "products.inf3");
            EXPECT_EQ(text.rfind(start, 0), 0u) << c.what << ": " << text;
        }
    }

    // The index's own faults.
    const std::vector<std::pair<std::string, std::string>> indexes = {
        {"<vendors><vendor/></vendors>", "Can't parse " + dir / "products.inf3" + ": "},
        {"<vendors><vendor><products><product id=\"p\" reference=\"p/p.inf3\"><incompatible_with/></product>"
         "</products></vendor></vendors>",
         "Can't parse " + dir / "products.inf3" + ": There is no attribute 'prod_id'"},
        {"<catalogue/>", "Unsupported config file"},
        {"<vendors>", "Can't parse " + dir / "products.inf3" + ": "},
    };
    write("p/p.inf3", productFile(release("1")));
    for (const auto& c : indexes) {
        write("products.inf3", c.first);
        const std::string text = caught([&] { load(dir.path()); }).getText();
        EXPECT_EQ(text.rfind(c.second, 0), 0u) << c.first << ": " << text;
    }
}

TEST_F(CatalogueTest, ReleaseAndBuildValuesFollowTheGrammar)
{
    write("products.inf3", INDEX);
    ASSERT_EQ(mkdir((dir / "p").c_str(), 0755), 0);
    const std::string builds =
        R"(<build os_name="Linux" os_vendor="Debian" os_version="12" os_arch="x86_64" config="builds/a.inf3" deprecated="yes"/>
           <build os_name="Linux" os_vendor="Debian" os_version="12" os_arch="x86_64" config="b.inf3" deprecated="TRUE"/>
           <build os_name="Linux" os_vendor="Debian" os_version="12" os_arch="x86_64" config="c.inf3" deprecated="true" environment="qz"/>)";
    write("p/p.inf3", productFile(release("1", " hide_tags=\"cli, nonfiltered\"", builds) +
                                  release("2", " hide_tags=\"CLI\"", "<caution/>") +  // no builds: dropped
                                  "<release_1 id=\"3\" name=\"P 3\" version=\"3\" upgrade_allowed_from=\"1\" "
                                  "hide_tags=\"inanycase,all\"><caution>Mind it</caution>" +
                                  BUILD + "</release_1>"));
    LogFile log(3);
    const std::unique_ptr<BuildManager> catalogue = load(dir.path());
    EXPECT_EQ(releaseIds(catalogue->getReleases(true)), (std::vector<std::string>{"1", "3"}));
    const boost::shared_ptr<Release> first = catalogue->findRelease("1");
    EXPECT_EQ(first->get_hide_policy(), 513);
    std::vector<std::string> configs;
    std::vector<bool> deprecated;
    for (const auto& build : first->get_builds()) {
        configs.push_back(build->getConfig());
        deprecated.push_back(build->isDeprecated());
        EXPECT_EQ(build->getSource(), "p");
        EXPECT_EQ(build->getParent(), first);
    }
    EXPECT_EQ(configs, (std::vector<std::string>{"p/builds/a.inf3", "p/b.inf3", "p/c.inf3"}));
    EXPECT_EQ(deprecated, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(catalogue->findRelease("3")->get_hide_policy(), 1792 | 15);
    Repository nothing_installed;
    catalogue->calculateReleasesState(nothing_installed);
    EXPECT_EQ(catalogue->findRelease("3")->get_caution(), "Mind it");

    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Unrecognized control word '' in display tag hide policy (hide_tags attribute)"),
              1);
    EXPECT_TRUE(log.has("Unrecognized control word 'CLI' in display tag hide policy (hide_tags attribute)"));
    EXPECT_TRUE(log.has("Added control word 'nonfiltered' to display tag hide policy"));
    EXPECT_TRUE(log.has("In release 2 no builds"));
    EXPECT_TRUE(log.has("parseBestWith: no compatibility info in P 1"));
}

TEST_F(CatalogueTest, AddonsAreSortedAndABrokenAddonFileCostsOnlyItsRest)
{
    write("products.inf3", R"(<vendors><vendor><products>
      <product id="p" reference="p.inf3"/>
      <addon id="a" reference="addons/a.inf3"/>
      <lazy_addon id="b" reference="b.inf3"/>
      <something reference="ignored.inf3"/>
    </products></vendor></vendors>)");
    write("p.inf3", productFile(release("1")));
    ASSERT_EQ(mkdir((dir / "addons").c_str(), 0755), 0);
    const std::string compatible =
        R"(<compatibility_info><compatible product_id="p" from_version="1" to_version="2"/></compatibility_info>)";
    write("addons/a.inf3", "<addon><release id=\"a2\" version=\"2.0\">" + compatible + BUILD +
                               "</release><release id=\"a1\" version=\"1.0\">" + compatible +
                               "</release><release id=\"a2bis\" version=\"2.0\">" + compatible + BUILD +
                               "</release></addon>");
    write("b.inf3", "<addon><release id=\"b1\" version=\"1.5\">" + compatible + BUILD +
                        "</release><release id=\"b2\" version=\"0.5\">" + std::string(BUILD) +
                        "</release><release id=\"b3\" version=\"0.1\">" + compatible + "</release></addon>");
    LogFile log(3);
    const std::unique_ptr<BuildManager> catalogue = load(dir.path());
    std::vector<std::string> ids;
    for (const auto& addon : catalogue->getAddons())
        ids.push_back(addon->getId() + (addon->isLazy() ? "*" : ""));
    EXPECT_EQ(ids, (std::vector<std::string>{"a1", "b1*", "a2", "a2bis"}));
    EXPECT_TRUE(catalogue->getAddons().front()->getBuilds().empty());
    EXPECT_EQ(catalogue->getAddons()[2]->getBuilds().begin()->get()->getConfig(), "addons/b.inf3");
    EXPECT_FALSE(catalogue->getAddons()[2]->getBuilds().begin()->get()->getParent());
    EXPECT_TRUE(log.has("In Addon a1 no builds"));
    EXPECT_TRUE(log.has("Error in parse " + dir / "b.inf3" + ": Absent compatibility_info in addon"));

    // A file that is not an addon file ends with one line as well.
    write("b.inf3", "<product/>");
    EXPECT_EQ(load(dir.path())->getAddons().size(), 3u);
    // One that cannot be fetched fails the whole catalogue.
    ASSERT_EQ(remove((dir / "b.inf3").c_str()), 0);
    EXPECT_TRUE(thrown<error>([&] { load(dir.path()); }));
}

TEST_F(CatalogueTest, AProductFileOrABuildFileStandsForAWholeCatalogue)
{
    GeneratedMirror mirror;
    // A product file named by the source is read as the index, then again as the product's file.
    LogFile log(3);
    const std::unique_ptr<BuildManager> product = load(mirror.path() + "/zanth", "products.inf3");
    EXPECT_EQ(releaseIds(product->getReleases(false)),
              (std::vector<std::string>{"zanth-11.0-beta", "zanth-10.1", "zanth-10.0"}));
    EXPECT_TRUE(product->getAddons().empty());
    const auto configs =
        mirror.manifest().get_child("products").front().second.get_child("releases").front().second.get_child("builds");
    const std::string config = configs.front().second.get<std::string>("config");
    EXPECT_EQ((*product->findRelease("zanth-10.0")->get_builds().begin())->getConfig(),
              config.substr(config.find('/') + 1));
    EXPECT_TRUE(log.has("Try to read and parse " + mirror.path() + "/zanth/products.inf3"));

    // A build file: one product, one release, one build.
    const std::string build_dir = mirror.path() + "/" + fileops::dirname(config);
    const std::unique_ptr<BuildManager> single = load(build_dir, fileops::basename(config));
    const BuildManager::releases_t releases = single->getReleases(true);
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0]->get_id(), "zanth-10.0");
    EXPECT_EQ(releases[0]->get_codename(), "Arbor");
    EXPECT_EQ(releases[0]->prod()->name(), "Zanth");
    EXPECT_EQ(releases[0]->prod()->keypackages().front(), std::vector<std::string>{"zanth-core"});
    ASSERT_EQ(releases[0]->get_builds().size(), 1u);
    const Build& only = **releases[0]->get_builds().begin();
    EXPECT_EQ(only.getConfig(), fileops::basename(config));
    EXPECT_EQ(only.getOsReleaseName(), "bookworm");
    EXPECT_EQ(only.getOsVendor(), "Debian");

    // One without key packages is refused.
    std::string text = readWholeFile(build_dir + "/" + fileops::basename(config));
    const size_t keys = text.find("<keypackages>");
    text.erase(keys, text.find("</keypackages>") + 14 - keys);
    writeWholeFile(dir / "nokeys.inf3", text);
    const error e = caught([&] { load(dir.path(), "nokeys.inf3"); });
    EXPECT_EQ(e.getText(), format_message(messages.get("err_prod_keypkg"), dir / "nokeys.inf3") + "\n");
}

TEST_F(CatalogueTest, AnEmptyReleaseIdIsKeptButNeverTakenForTheCurrentRelease)
{
    write("products.inf3", INDEX);
    ASSERT_EQ(mkdir((dir / "p").c_str(), 0755), 0);
    write("p/p.inf3", productFile("<release id=\"\" name=\"P\" version=\"2\" upgrade_allowed_from=\"1\">" +
                                  std::string(BUILD) + "</release>"));
    const std::unique_ptr<BuildManager> catalogue = load(dir.path());
    Repository nothing_installed;
    catalogue->calculateReleasesState(nothing_installed);
    ASSERT_TRUE(catalogue->findRelease(""));
    EXPECT_EQ(catalogue->getCurrentReleaseId("p"), "");
    EXPECT_EQ(catalogue->getCurrentReleaseVersion("p"), "");
}
