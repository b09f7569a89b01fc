// What an installation was about to do, as the error report keeps it: the releases and the components.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "common/textutils.h"
#include "installer/ComponentManager.h"
#include "installer/Reporter.h"
#include "installer/ToInstallComponentsReporter.h"
#include "installer/ToInstallReleasesReporter.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

// z16 is too old once 17 is installed; ff is never installed.
const std::map<std::string, std::string> FILES = {
    {"index.inf3", R"(<vendors><vendor><products>
  <product id="zanth" name="Zanth" reference="zanth.inf3"/>
  <product id="ff" name="Folio" reference="ff.inf3"/>
</products></vendor></vendors>)"},
    {"zanth.inf3", R"(<product id="zanth"><keypackages><keypackage>kwt-zanth-core</keypackage></keypackages>
  <release id="z18" name="Zanth 18" version="18" upgrade_allowed_from="17"><build @THIS_SYSTEM@ config="a"/></release>
  <release id="z17" name="Zanth 17" version="17" upgrade_allowed_from="16"><build @THIS_SYSTEM@ config="b"/></release>
  <release id="z16" name="Zanth 16" version="16" upgrade_allowed_from="15"><build @THIS_SYSTEM@ config="c"/></release>
</product>)"},
    {"ff.inf3", R"(<product id="ff"><keypackages><keypackage>kwt-ff-core</keypackage></keypackages>
  <release id="f3" name="Folio 3" version="3" upgrade_allowed_from="1"><build @THIS_SYSTEM@ config="d"/></release>
</product>)"},
};

// Text whatever the XML switch says.
std::string lines(const Reporter& reporter)
{
    Reporter::xmlOutput = true;
    const std::string text = printed(reporter);
    Reporter::xmlOutput = false;
    return text;
}

TEST(ToInstallReleasesReporterTest, SelectedAndInstalledReleases)
{
    TestCatalogue catalogue(FILES, "index.inf3");
    // Nothing selected or installed: nothing to write.
    EXPECT_EQ(lines(ToInstallReleasesReporter(&*catalogue)), "");

    catalogue.install({{"kwt-zanth-core", "17"}});
    catalogue->selectRelease("zanth", "z18");
    catalogue->selectRelease("ff", "f3");
    EXPECT_EQ(lines(ToInstallReleasesReporter(&*catalogue)),
              "selected  zanth z18 upgrade \n"
              "installed zanth z17 up2date \n"
              "selected  ff f3 install \n");

    // A release out of reach has no update mode to tell: its line says why.
    catalogue->selectRelease("zanth", "z16");
    EXPECT_EQ(lines(ToInstallReleasesReporter(&*catalogue)),
              "installed zanth z17 up2date \n"
              "selected  zanth z16 unknown < release Zanth 16: update mode is not calculated. >\n"
              "selected  ff f3 install \n");
}

TEST(ToInstallReleasesReporterTest, AReleaseNeverCheckedSaysWhyAndTheWalkGoesOn)
{
    TestCatalogue catalogue(FILES, "index.inf3", false);
    catalogue->selectRelease("zanth", "z17");
    catalogue->selectRelease("ff", "f3");
    EXPECT_EQ(lines(ToInstallReleasesReporter(&*catalogue)),
              "selected  zanth z17 unknown < release Zanth 17: update mode is not calculated. >\n"
              "selected  ff f3 unknown < release Folio 3: update mode is not calculated. >\n");
}

// The forest fixture outside a test of its own.
struct Forest : ComponentForestTest {
    void TestBody() override {}
};

TEST(ToInstallComponentsReporterTest, RequestsAndActions)
{
    Forest forest;
    const auto fresh = forest.component("fresh");
    const auto unwanted = forest.component("unwanted");
    unwanted->setRequest(REQ_REMOVE);
    const auto wanted = forest.component("wanted");
    wanted->requestInstall();
    const auto old = forest.component("old", KwComponent::UPGRADE);
    const auto dropped = forest.component("dropped", KwComponent::UPGRADE);
    dropped->setRequest(REQ_REMOVE);
    const auto raised = forest.component("raised", KwComponent::UPGRADE);
    raised->requestInstall();
    const auto current = forest.component("current", KwComponent::UP2DATE);
    const auto gone = forest.component("gone", KwComponent::ERROR);
    // Never checked: neither its mode nor its versions can be read.
    const auto unknown = makeComponent(forest.build, "unknown");
    const auto unknownRemoved = makeComponent(forest.build, "unknown-removed");
    unknownRemoved->setRequest(REQ_REMOVE);
    forest.manager.roots = {fresh, unwanted, wanted, old, dropped, raised, current, gone, unknown, unknownRemoved};

    const std::string text = lines(ToInstallComponentsReporter(&forest.manager));
    const std::string notChecked = trim_right(caught([&] { unknown->getInstallModeName(); }).getText());
    EXPECT_EQ(text,
              "L [ ] fresh noop ' => 1.0'\n"
              "R [X] unwanted noop ' => 1.0'\n"
              "I [*] wanted install ' => 1.0'\n"
              "L [ ] old noop '1.0 => 2.0'\n"
              "R [X] dropped remove '1.0 => 2.0'\n"
              "I [*] raised upgrade '1.0 => 2.0'\n"
              "L [=] current up2date '1.0 => 1.0'\n"
              "L [!] gone error ' => '\n"
              "L [?] unknown < " +
                  notChecked + " >\nR [X] unknown-removed < " + notChecked + " >\n");
}

TEST(ToInstallReportersTest, NullManagersAreInternalErrors)
{
    for (const error& e : {caught([] { printed(ToInstallReleasesReporter(nullptr)); }),
                           caught([] { printed(ToInstallComponentsReporter(nullptr)); })}) {
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 0, 3));
        EXPECT_EQ(e.getText().rfind("Try of use NULL pointer: ", 0), 0u) << e.getText();
        EXPECT_NE(e.getText().find("common/checked_pointer.h:"), std::string::npos) << e.getText();
    }
}

}  // namespace
