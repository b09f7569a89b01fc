#include "installer/ComponentsReporter.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/Repository.h"
#include "installer/ComponentManager.h"
#include "installer/Options.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/XmlLint.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const std::string DATA = KW_TEST_DATA_DIR "/params/";

// The release the forest's components come from, selected, beside one of another product.
const std::map<std::string, std::string> CATALOGUE = {
    {"index.inf3", R"(<vendors><vendor><products>
  <product id="zanth" name="Zanth" reference="zanth.inf3"/>
  <product id="ff" name="Folio" reference="ff.inf3"/>
</products></vendor></vendors>)"},
    {"zanth.inf3", R"(<product id="zanth"><keypackages><keypackage>kwt-none</keypackage></keypackages>
  <release id="zanth-1.0" name="Zanth &lt;1&gt;" version="1.0" upgrade_allowed_from="1.0">
    <build @THIS_SYSTEM@ config="z.inf3"/>
  </release></product>)"},
    {"ff.inf3", R"(<product id="ff"><keypackages><keypackage>kwt-none</keypackage></keypackages>
  <release id="ff-1" name="Folio 1" version="1" upgrade_allowed_from="1">
    <build @THIS_SYSTEM@ config="f.inf3"/>
  </release></product>)"},
};

// A forest of one build: a component in each mode, names around the width of the name column, and
// the settings fixture owned by "fresh", which is not installed yet. Runs in a child whose home is private: the settings store
// saves its answers there when it ends.
struct Forest {
    Forest()
    {
        core->classes = {"web", "base"};
        core->hardwired_with = {"support"};
        core->requirements = {"base", "db"};
        core->conflicts = {"lite"};
        core->markRequired();
        manager.roots = {core, fresh, eighteen, longer, broken};
        tinybind::Document document(DATA + "settings.xml");
        params.createParams(fresh, document.get_root("settings"));
        catalogue->selectRelease("zanth", "zanth-1.0");
    }

    std::string text() { return printed(ComponentsReporter(&repository, &*catalogue, &manager, &params)); }

    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    boost::shared_ptr<KwComponent> core = componentInMode(repository, build, "core", KwComponent::UPGRADE);
    boost::shared_ptr<KwComponent> fresh = componentInMode(repository, build, "fresh", KwComponent::INSTALL);
    boost::shared_ptr<KwComponent> eighteen =
        componentInMode(repository, build, "eighteen-character", KwComponent::UP2DATE);
    boost::shared_ptr<KwComponent> longer =
        componentInMode(repository, build, "nineteen-characters", KwComponent::UPGRADE);
    boost::shared_ptr<KwComponent> broken = componentInMode(repository, build, "gone", KwComponent::ERROR);
    ComponentManager manager;
    ParamManager params;
    TestCatalogue catalogue{CATALOGUE, "index.inf3"};
};

void inChild(const std::function<void()>& checks)
{
    PrivateHome home;
    const ChildResult result = runChecksInChild(checks, home.options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(ComponentsReporterTest, ComponentLinesAndTheUpgradableFilter)
{
    inChild([] {
        Forest forest;
        EXPECT_EQ(forest.text(),
                  "  core              [upgrade] - core component\n"
                  "  fresh             [install] - fresh component\n"
                  "  eighteen-character[up2date] - eighteen-character component\n"
                  "  nineteen-characters[upgrade] - nineteen-characters component\n"
                  "  gone              [error] - gone component\n");
        Options::instance().command = Options::SHOW_UPGRADABLE_COMPONENTS;
        EXPECT_EQ(forest.text(),
                  "  core              [upgrade] - core component\n"
                  "  nineteen-characters[upgrade] - nineteen-characters component\n");
        forest.manager.roots = {forest.fresh};
        EXPECT_EQ(forest.text(), "");
    });
}

TEST(ComponentsReporterTest, SettingsOfEachComponent)
{
    inChild([] {
        Forest forest;
        Options::instance().showOptions = true;
        const std::string others =
            "  eighteen-character[up2date] - eighteen-character component\n"
            "  nineteen-characters[upgrade] - nineteen-characters component\n"
            "  gone              [error] - gone component\n";
        // Nothing answered: defaults, and every branch of an unset setting; the hidden one is not shown.
        EXPECT_EQ(forest.text(),
                  "  core              [upgrade] - core component\n"
                  "  fresh             [install] - fresh component\n"
                  "    Option: admin_email - Where the panel sends its reports.\n"
                  "      Default: root@localhost.example\n"
                  "    Option: mail - \n"
                  "      Default: yes\n"
                  "    For variant 'yes' following sub-options available:\n"
                  "      Option: smtp-port - \n"
                  "        Default: 25\n"
                  "      Option: relay - \n"
                  "    Option: web - \n"
                  "      a - Apache\n"
                  "      b - Bee\n"
                  "      c - Cat\n"
                  "      Default: b\n"
                  "    For variant 'b' following sub-options available:\n"
                  "      Option: bee_root - \n"
                  "        Default: /srv/en-US\n"
                  "      === Bee tuning ===\n"
                  "        Option: workers - \n"
                  "    === Database ===\n"
                  "      Option: db_password - \n"
                  "      === Remote ===\n"
                  "        Option: db_host - \n"
                  "        Option: db_url - \n"
                  "    Option: notice - \n"
                  "      Default: Read this.\n"
                  "    Option: 1x - \n" +
                      others);

        // Answers: a boolean and an enum without settings behind their values, a password as stars.
        const params_t& top = forest.params.getParams();
        ASSERT_TRUE(top.at(1)->setValue("N"));
        ASSERT_TRUE(top.at(2)->setValue("a"));
        const param_ptr_t password = boost::dynamic_pointer_cast<SubParams>(top.at(3))->getBranch("").at(0);
        ASSERT_TRUE(password->setValue("secret-pw"));
        const std::string answered = forest.text();
        EXPECT_NE(answered.find("    Option: mail - \n      Current: no\n    Option: web - \n      a - Apache\n"
                                "      b - Bee\n      c - Cat\n      Current: a\n    === Database ===\n"
                                "      Option: db_password - \n        Current: *********\n"),
                  std::string::npos)
            << answered;
        EXPECT_EQ(answered.find("For variant"), std::string::npos) << answered;
    });
}

TEST(ComponentsReporterTest, NoSettingsAnywhereIsALogLine)
{
    inChild([] {
        Forest forest;
        ParamManager empty;
        Options::instance().showOptions = true;
        LogFile log(0);
        const std::string text =
            printed(ComponentsReporter(&forest.repository, &*forest.catalogue, &forest.manager, &empty));
        EXPECT_EQ(text.find("Option"), std::string::npos);
        EXPECT_EQ(text.rfind("  core              [upgrade] - core component\n", 0), 0u);
        EXPECT_TRUE(log.has(Messages().get("comps_no_options"))) << text;
    });
}

TEST(ComponentsReporterTest, ComponentsOfTheSelectedReleasesAsXml)
{
    inChild([] {
        Forest forest;
        Reporter::xmlOutput = true;
        const std::string reply = forest.text();
        EXPECT_EQ(xmlProblems(reply), "");
        EXPECT_EQ(xpath(reply, "count(//release)"), "1");
        EXPECT_EQ(xpath(reply, "concat(//release/@id, ' ', //release/@version, ' ', //release/description)"),
                  "zanth-1.0 1.0 Zanth <1>");
        const size_t start = reply.find("                <component id=\"core\"");
        ASSERT_NE(start, std::string::npos) << reply;
        EXPECT_EQ(
            reply.substr(start, reply.find("</component>", start) + 13 - start),
            "                <component id=\"core\" classes=\"base,web\" action=\"upgrade\" serverbuildtime=\"0\" "
            "localbuildtime=\"0\" serverversion=\"2.0\" localversion=\"1.0\" kernelupdate=\"false\" "
            "required=\"true\">\n"
            "                    <description>core component</description>\n"
            "                    <dependencies>\n"
            "                        <dependency id=\"support\" type=\"hardwired\" />\n"
            "                        <dependency id=\"base\" type=\"required\" />\n"
            "                        <dependency id=\"db\" type=\"required\" />\n"
            "                        <dependency id=\"lite\" type=\"conflict\" />\n"
            "                    </dependencies>\n"
            "                </component>\n");
        EXPECT_EQ(
            xpath(reply,
                  "concat(count(//component), ' ', //component[@id='gone']/@action, ' ', "
                  "count(//component[@id='fresh']/@required), ' ', count(//component[@id='fresh']/dependencies/*))"),
            "5 error 0 0");

        Options::instance().command = Options::SHOW_UPGRADABLE_COMPONENTS;
        EXPECT_EQ(xpath(forest.text(), "concat(//component[1]/@id, ' ', //component[2]/@id, ' ', count(//component))"),
                  "core nineteen-characters 2");

        // The settings have no XML form: refused at the first component shown, unless none is.
        Options::instance().showOptions = true;
        const error e = caught([&] { forest.text(); });
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_EQ(e.getText(), "ComponentsReporter: --show-options with --enable-xml-output is not implemented.\n");
        forest.manager.roots = {forest.fresh};
        EXPECT_EQ(xpath(forest.text(), "concat(/kitwright/@status, ' ', count(//release), ' ', count(//component))"),
                  "ok 1 0");
    });
}

TEST(ComponentsReporterTest, ABooleanValueThatIsNoAnswerIsAnInternalError)
{
    inChild([] {
        Forest forest;
        Options::instance().showOptions = true;
        // A default the build file wrote as no yes or no word at all.
        forest.params.getParams().at(1)->setDefault("maybe");
        const error e = caught([&] { forest.text(); });
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_NE(e.getText().find("installer/ComponentsReporter.cpp, line 81."), std::string::npos) << e.getText();
    });
}

}  // namespace
