#include "installer/flow_steps.h"

#include <tinyxml.h>

#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/RPMPackage.h"
#include "common/Repository.h"
#include "common/Source.h"
#include "common/SourceSysDeb.h"
#include "common/SourceSysRPM.h"
#include "common/fileops.h"
#include "common/tinybind.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "installer/DebianAPTConfigurator.h"
#include "installer/Options.h"
#include "installer/SourceManager.h"
#include "installer/SourceUrl.h"
#include "installer/YumConfigurator.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/LogFile.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/thrown.h"

namespace {

// The dynamic types of the repository's sources.
std::vector<std::string> sourceTypes(const Repository& repository)
{
    std::vector<std::string> types;
    for (const Source* source : repository.getSources())
        types.push_back(typeid(*source) == typeid(SourceSysDeb)   ? "deb"
                        : typeid(*source) == typeid(SourceSysRPM) ? "rpm"
                                                                  : "other");
    return types;
}

TEST(AddSystemSourceTest, TheVendorChoosesTheReaderOfInstalledPackagesAndASecondOneIsRefusedOnRequest)
{
    const struct {
        const char* vendor;
        std::vector<std::string> types;
    } cases[] = {
        {"Debian", {"deb"}}, {"Ubuntu", {"deb"}}, {"CentOS", {"rpm"}}, {"AlmaLinux", {"rpm"}},
        {"Oracle", {"rpm"}}, {"debian", {"rpm"}}, {"Apple", {}},
    };
    for (const auto& c : cases) {
        const ChildResult result = runChecksOnSystem(ForcedSystem{"", c.vendor, "", "", ""}, [&] {
            Repository repository;
            driver::add_system_source(&repository, true);
            EXPECT_EQ(sourceTypes(repository), c.types) << c.vendor;

            LogFile log(0);
            Repository second;
            driver::add_system_source(&second, true);
            if (c.types.empty()) {  // nothing was made, so nothing is present
                EXPECT_FALSE(log.has("Warning: system reader Source is already allocated"));
                return;
            }
            EXPECT_TRUE(log.has("Warning: system reader Source is already allocated"));
            EXPECT_TRUE(sourceTypes(second).empty());
            driver::add_system_source(&second, false);
            EXPECT_EQ(sourceTypes(second), c.types);
        });
        EXPECT_EQ(result.exit_code, 0) << c.vendor << result.out << result.err;
    }
}

TEST(ReleaseSelectionTest, SelectorKindsGiveTheirReleaseOrTheirError)
{
    // Detects the running system, which the other tests of this program force in children.
    const ChildResult result = runChecksInChild([] {
        TestCatalogue catalogue;
        BuildManager* manager = &*catalogue;
        EXPECT_EQ(driver::get_release_id(ReleaseSelector("zanth", ReleaseSelector::LATEST), manager),
                  manager->getLatestReleaseId("zanth"));
        EXPECT_EQ(driver::get_release_id(ReleaseSelector("zanth", "z16"), manager), "z16");

        error e = caught([&] { driver::get_release_id(ReleaseSelector("zanth", ReleaseSelector::CURRENT), manager); });
        EXPECT_EQ(e.getText(), "The product 'zanth' is not installed yet.\n");
        EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 2));

        catalogue.install({{"kwt-zanth-core", "17"}});
        EXPECT_EQ(driver::get_release_id(ReleaseSelector("zanth", ReleaseSelector::CURRENT), manager), "z17");

        catalogue.install({{"kwt-zanth-core", "15"}});
        e = caught([&] { driver::get_release_id(ReleaseSelector("zanth", ReleaseSelector::CURRENT), manager); });
        EXPECT_EQ(e.getText(),
                  "The currently installed version of the product with ID 'zanth' is no longer available "
                  "from the installation source.\nPlease upgrade to the next available product version to "
                  "receive software updates.\n");
        EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 2));

        e = caught([&] { driver::get_release_id(ReleaseSelector("zanth", 7), manager); });
        EXPECT_NE(e.getText().find(", installer/main, line 981."), std::string::npos) << e.getText();
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(ReleaseSelectionTest, EverySelectorIsAppliedInOrderSoTheLastOfAProductWins)
{
    const ChildResult result = runChecksInChild([] {
        TestCatalogue catalogue;
        Options::instance().releaseSelectors = {ReleaseSelector("zanth", "z16"),
                                                ReleaseSelector("ff", ReleaseSelector::LATEST),
                                                ReleaseSelector("zanth", "z17")};
        driver::select_releases(&*catalogue);
        EXPECT_EQ(catalogue->getSelectedReleaseId("zanth"), "z17");
        EXPECT_EQ(catalogue->getSelectedReleaseId("ff"), catalogue->getLatestReleaseId("ff"));

        const error e = caught([] { driver::select_releases(nullptr); });
        EXPECT_NE(e.getText().find(", installer/main, line 994."), std::string::npos) << e.getText();
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

// A configurator whose configuration check counts its runs.
class CountingConfigurator : public SystemSpecificConfigurator {
public:
    explicit CountingConfigurator(const std::string& text_) : text(text_) { configure(); }
    void configureSources() override {}
    Installer* createInstaller(ComponentManager*) override { return nullptr; }
    int checks = 0;

protected:
    const Package* doGetAvailablePackage(const std::string&) override { return nullptr; }
    void doConfigure() override {}
    void doRemoveTemporarySources() override {}
    std::string doCheckConfiguration() override
    {
        ++checks;
        return text;
    }

private:
    std::string text;
};

// A forest of one base component, made inside the child whose running system is forced: the build
// of the forest already asks for the running system.
struct BaseForest {
    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    ComponentManager manager;
    SourceManager sources{&repository};

    // Makes the base component of the forest packaged for Debian or not.
    void baseOf(bool debian)
    {
        const boost::shared_ptr<KwComponent> base = makeComponent(build, "base");
        base->packages.push_back(debian ? static_cast<Package*>(new DebPackage("zanth-base", "1.0"))
                                        : new RPMPackage("zanth-base", "1.0"));
        manager.roots = {base};
    }

    SystemSpecificConfigurator* create()
    {
        return driver::create_configurator(&repository, nullptr, SourceUrl("/srv/mirror/"), &manager, &sources);
    }
};

TEST(CreateConfiguratorTest, TheSystemFamilyAndThePackagesOfTheBaseComponentChooseTheConfigurator)
{
    const ChildResult result = runChecksOnSystem(ForcedSystem{"", "Debian", "12", "", ""}, [] {
        BaseForest forest;
        forest.baseOf(true);
        SystemSpecificConfigurator* apt = forest.create();
        EXPECT_NE(dynamic_cast<DebianAPTConfigurator*>(apt), nullptr);
        delete apt;
        forest.baseOf(false);
        EXPECT_EQ(forest.create(), nullptr);
        EXPECT_EQ(driver::create_installer(&forest.repository, &forest.manager, nullptr, &forest.sources), nullptr);

        forest.manager.roots = {makeComponent(forest.build, "base")};
        EXPECT_EQ(caught([&] { forest.create(); }).getText(), "There are no packages in the base component.\n");
        forest.manager.roots.clear();
        EXPECT_EQ(codes(caught([&] { forest.create(); })), std::make_tuple(3, 1, 1, 3));
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;

    const ChildResult redHat = runChecksOnSystem(ForcedSystem{"", "AlmaLinux", "8", "", ""}, [] {
        if (!fileops::exists("/usr/bin/dnf-3"))
            GTEST_SKIP() << "no dnf here";
        BaseForest forest;
        forest.baseOf(false);
        SystemSpecificConfigurator* yum = forest.create();
        EXPECT_NE(dynamic_cast<YumConfigurator*>(yum), nullptr);
        delete yum;
    });
    EXPECT_EQ(redHat.exit_code, 0) << redHat.out << redHat.err;
}

TEST(CreateConfiguratorTest, ConfigurationWarningsAreCheckedOnceUntilThePackageFlavourChanges)
{
    const ChildResult result = runChecksOnSystem(ForcedSystem{"", "Debian", "12", "", ""}, [] {
        BaseForest forest;
        CountingConfigurator first("first"), second("second"), third("third");
        forest.baseOf(true);
        delete forest.create();
        EXPECT_EQ(driver::get_configuration_warnings(&first), "first");
        delete forest.create();
        EXPECT_EQ(driver::get_configuration_warnings(&second), "first");
        forest.baseOf(false);
        delete forest.create();
        EXPECT_EQ(driver::get_configuration_warnings(&third), "third");
        EXPECT_EQ(first.checks + second.checks + third.checks, 2);
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

class DependencyChangesTest : public ComponentForestTest {};

TEST_F(DependencyChangesTest, NamedComponentsAreRequestedWithWhatTheyImplyAndTheImpliedOnesAreLogged)
{
    const boost::shared_ptr<KwComponent> web = component("web"), php = component("php"),
                                         mail = component("mail", KwComponent::UP2DATE),
                                         spam = component("spam", KwComponent::UP2DATE), dns = component("dns");
    web->requirements = {"php"};
    spam->requirements = {"mail"};
    manager.roots = {web, php, mail, spam, dns};
    LogFile log(0);
    driver::report_dependency_changes(&manager, "zanth", {"web"}, {"mail"});
    EXPECT_EQ(requestsOf({web, php, mail, spam, dns}), (requests_t{{"zanth/web", REQ_INSTALL},
                                                                   {"zanth/php", REQ_INSTALL},
                                                                   {"zanth/mail", REQ_REMOVE},
                                                                   {"zanth/spam", REQ_REMOVE},
                                                                   {"zanth/dns", REQ_LEAVE}}));
    EXPECT_TRUE(
        log.has("The following components will be installed because they are required by the components "
                "you selected: 'php'"));
    EXPECT_TRUE(
        log.has("The following components will be removed because they conflict with the components you "
                "selected to install or require the components you selected to remove: 'spam'"));
}

TEST_F(DependencyChangesTest, DeniedImplicitRemovalsAndConflictsAreRefusedAndChangeNothing)
{
    const boost::shared_ptr<KwComponent> mail = component("mail", KwComponent::UP2DATE),
                                         spam = component("spam", KwComponent::UP2DATE), a = component("a"),
                                         b = component("b");
    spam->requirements = {"mail"};
    spam->deny_implicit_removal = true;
    a->conflicts = {"b"};
    manager.roots = {mail, spam, a, b};

    error e = caught([&] { driver::report_dependency_changes(&manager, "zanth", {}, {"mail"}); });
    EXPECT_EQ(e.getText(),
              "To remove some of the requested components, you also need to explicitly remove the "
              "following components: spam component (spam)\n");
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));

    e = caught([&] { driver::report_dependency_changes(&manager, "zanth", {"a", "b"}, {}); });
    EXPECT_EQ(e.getText(),
              "Installation or removal requests for the following components conflict with each "
              "other: a, b\n");
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
    EXPECT_EQ(
        requestsOf({mail, spam, a, b}),
        (requests_t{
            {"zanth/mail", REQ_LEAVE}, {"zanth/spam", REQ_LEAVE}, {"zanth/a", REQ_LEAVE}, {"zanth/b", REQ_LEAVE}}));
    driver::report_dependency_changes(&manager, "zanth", {}, {"mail", "spam"});
    EXPECT_EQ(requestsOf({mail, spam}), (requests_t{{"zanth/mail", REQ_REMOVE}, {"zanth/spam", REQ_REMOVE}}));
}

TEST(SmallStepsTest, AttributeOfAnElement)
{
    TiXmlElement element("request");
    element.SetAttribute("command", "get_releases_list");
    EXPECT_EQ(driver::get_attribute(&element, "command"), "get_releases_list");
    EXPECT_EQ(driver::get_attribute(&element, "session_id"), "");
    const std::optional<tinybind::err> e = thrown<tinybind::err>([] { driver::get_attribute(nullptr, "command"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 0);
    EXPECT_EQ(e->message, "no element pointer");
}

TEST(SmallStepsTest, NonUpgradeProductsAreThoseWhoseSelectedReleaseIsNoUpgrade)
{
    // Detects the running system, which the other tests of this program force in children.
    const ChildResult result = runChecksInChild([] {
        TestCatalogue catalogue;
        catalogue.install({{"kwt-zanth-core", "17"}});
        catalogue->selectRelease("zanth", "z18");
        catalogue->selectRelease("ff", catalogue->getLatestReleaseId("ff"));
        EXPECT_EQ(driver::get_non_upgrade_products(&*catalogue), (std::set<std::string>{"ff"}));
        catalogue->selectRelease("zanth", "z17");
        EXPECT_EQ(driver::get_non_upgrade_products(&*catalogue), (std::set<std::string>{"ff", "zanth"}));
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
