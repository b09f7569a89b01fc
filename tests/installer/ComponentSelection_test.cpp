#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Package.h"
#include "common/Repository.h"
#include "common/tinybind.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/InstTypes.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "installer/MarkComponentsForUpgrade.h"
#include "installer/MarkNeedForRequired.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

class ComponentSelectionTest : public ComponentForestTest {
protected:
    // The generated types of the product of the build, after its declared ones.
    void addTypes(const boost::shared_ptr<Build>& of, const std::vector<InstTypes::type_t>& declared = {})
    {
        for (const InstTypes::type_t& type : declared)
            manager.instTypes.addType(*of, type);
        manager.instTypes.addType(*of, InstTypes::type_t{{"Full"}, "everything", InstTypes::FULL, {}});
        manager.instTypes.addType(*of, InstTypes::type_t{{"Custom"}, "chosen", InstTypes::CUSTOM, {}});
    }

    LogFile log;
};

}  // namespace

TEST_F(ComponentSelectionTest, RequestsOverARange)
{
    const boost::shared_ptr<Build> productB = makeProductBuild(repository, "B");
    const boost::shared_ptr<KwComponent> base = component("base", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> web = component("web"), mail = component("mail");
    const boost::shared_ptr<KwComponent> broken = component("broken", KwComponent::ERROR);
    const boost::shared_ptr<KwComponent> a = component("a"), b = component("b");
    // A sub group's children are taken whatever their product.
    const boost::shared_ptr<KwComponent> inside = component("inside", KwComponent::INSTALL, productB);
    const boost::shared_ptr<KwComponent> outside = component("outside", KwComponent::INSTALL, productB);
    const boost::shared_ptr<KwRadioGroup> radio = makeRadioGroup(build, "r", {a, b});
    radio->default_name = "b";
    manager.roots = {base, makeSubGroup(build, "g", {web, radio, inside}), mail, broken, outside};
    const std::vector<boost::shared_ptr<KwComponent>> all = {base, web, mail, broken, a, b, inside, outside};

    ComponentManager::setRequestMode(manager.roots.begin(), manager.roots.end(), REQ_INSTALL, "zanth", false);
    EXPECT_EQ(requestsOf(all), (requests_t{{"zanth/base", REQ_INSTALL},
                                           {"zanth/web", REQ_INSTALL},
                                           {"zanth/mail", REQ_INSTALL},
                                           {"zanth/broken", REQ_LEAVE},
                                           {"zanth/a", REQ_LEAVE},
                                           {"zanth/b", REQ_INSTALL},
                                           {"B/inside", REQ_INSTALL},
                                           {"B/outside", REQ_LEAVE}}));

    // The locked base keeps its request; the group's selected member is the one left.
    base->markRequired();
    ComponentManager::setRequestMode(manager.roots.begin(), manager.roots.end(), REQ_LEAVE, "zanth", false);
    EXPECT_EQ(requestsOf(all), (requests_t{{"zanth/base", REQ_INSTALL},
                                           {"zanth/web", REQ_LEAVE},
                                           {"zanth/mail", REQ_LEAVE},
                                           {"zanth/broken", REQ_LEAVE},
                                           {"zanth/a", REQ_LEAVE},
                                           {"zanth/b", REQ_LEAVE},
                                           {"B/inside", REQ_LEAVE},
                                           {"B/outside", REQ_LEAVE}}));

    // Written as it stands: the required base is set for removal too, the unavailable one is not.
    ComponentManager::setRequestMode(manager.roots.begin(), manager.roots.end(), REQ_REMOVE, "", false);
    EXPECT_EQ(requestsOf(all), (requests_t{{"zanth/base", REQ_REMOVE},
                                           {"zanth/web", REQ_REMOVE},
                                           {"zanth/mail", REQ_REMOVE},
                                           {"zanth/broken", REQ_LEAVE},
                                           {"zanth/a", REQ_LEAVE},
                                           {"zanth/b", REQ_REMOVE},
                                           {"B/inside", REQ_REMOVE},
                                           {"B/outside", REQ_REMOVE}}));

    manager.roots.push_back(boost::shared_ptr<KwCompNode>(new ForeignNode));
    const error e = caught(
        [&] { ComponentManager::setRequestMode(manager.roots.begin(), manager.roots.end(), REQ_LEAVE, "", false); });
    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(e.getText().rfind("An internal error occured in Zanth Installer ", 0), 0u);
}

TEST_F(ComponentSelectionTest, HiddenComponentsInARange)
{
    struct Row {
        KwComponent::install_mode_t mode;
        bool showInstalled;
        request_mode_t expected;
    };
    const std::vector<Row> rows = {{KwComponent::INSTALL, false, REQ_LEAVE},
                                   {KwComponent::UPGRADE, false, REQ_LEAVE},
                                   {KwComponent::INSTALL, true, REQ_LEAVE},
                                   {KwComponent::UPGRADE, true, REQ_INSTALL}};
    for (const Row& row : rows) {
        const boost::shared_ptr<KwComponent> hidden = component("hidden", row.mode);
        hidden->hidden = true;
        hidden->show_installed_hidden = row.showInstalled;
        const ComponentManager::nodes_t nodes = {hidden};
        ComponentManager::setRequestMode(nodes.begin(), nodes.end(), REQ_INSTALL, "", true);
        EXPECT_EQ(hidden->getRequest(), row.expected) << row.mode << " " << row.showInstalled;
        ComponentManager::setRequestMode(nodes.begin(), nodes.end(), REQ_INSTALL, "", false);
        EXPECT_EQ(hidden->getRequest(), REQ_INSTALL);
    }
}

TEST_F(ComponentSelectionTest, FullInstallationType)
{
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "other");
    const boost::shared_ptr<KwComponent> base = component("base"), web = component("web");
    const boost::shared_ptr<KwComponent> a = component("a"), b = component("b");
    const boost::shared_ptr<KwComponent> foreign = component("mail", KwComponent::INSTALL, other);
    manager.roots = {base, makeSubGroup(build, "g", {web, makeRadioGroup(build, "r", {a, b})}), foreign};
    addTypes(build);
    addTypes(other);
    manager.selectByInstallationType("FULL", "zanth");
    EXPECT_EQ(requestsOf({base, web, a, b, foreign}), (requests_t{{"zanth/base", REQ_INSTALL},
                                                                  {"zanth/web", REQ_INSTALL},
                                                                  {"zanth/a", REQ_INSTALL},
                                                                  {"zanth/b", REQ_LEAVE},
                                                                  {"other/mail", REQ_INSTALL}}));
    EXPECT_EQ(manager.instTypeByProduct, (std::map<std::string, std::string>{{"zanth", "FULL"}}));
    EXPECT_TRUE(log.has("Select components by installation type: product = zanth, installation type = FULL"));

    // The name is kept even when the type is unknown.
    const error e = caught([&] { manager.selectByInstallationType("Minimal", "other"); });
    EXPECT_EQ(e.getText(), "InstTypes data: can't get install type from product: other/Minimal\n");
    EXPECT_EQ(manager.instTypeByProduct.at("other"), "Minimal");
}

TEST_F(ComponentSelectionTest, CustomAndDeclaredInstallationTypes)
{
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "other");
    const boost::shared_ptr<KwComponent> base = component("base"), web = component("web"), db = component("db");
    const boost::shared_ptr<KwComponent> otherBase = component("base", KwComponent::INSTALL, other);
    const boost::shared_ptr<KwComponent> otherWeb = component("web", KwComponent::INSTALL, other);
    web->requirements = {"db"};
    manager.roots = {otherBase, otherWeb, base, web, db};
    addTypes(build, {InstTypes::type_t{{"Hosting"}, "web hosting", InstTypes::DECLARED, {"web"}}});
    addTypes(other);

    // Without a declared first type, a custom choice starts from the base alone.
    manager.selectByInstallationType("custom", "other");
    EXPECT_EQ(requestsOf({otherBase, otherWeb, base, web, db}), (requests_t{{"other/base", REQ_INSTALL},
                                                                            {"other/web", REQ_LEAVE},
                                                                            {"zanth/base", REQ_LEAVE},
                                                                            {"zanth/web", REQ_LEAVE},
                                                                            {"zanth/db", REQ_LEAVE}}));

    // With one, from its components and what they need.
    manager.selectByInstallationType("Custom", "zanth");
    EXPECT_EQ(requestsOf({base, web, db}),
              (requests_t{{"zanth/base", REQ_LEAVE}, {"zanth/web", REQ_INSTALL}, {"zanth/db", REQ_INSTALL}}));

    web->requestLeave();
    db->requestLeave();
    manager.selectByInstallationType("hosting", "zanth");
    EXPECT_EQ(requestsOf({base, web, db}),
              (requests_t{{"zanth/base", REQ_LEAVE}, {"zanth/web", REQ_INSTALL}, {"zanth/db", REQ_INSTALL}}));
    EXPECT_EQ(manager.instTypeByProduct,
              (std::map<std::string, std::string>{{"other", "custom"}, {"zanth", "hosting"}}));
}

TEST_F(ComponentSelectionTest, UpgradeOfInstalledComponents)
{
    tinybind::Document document;
    ASSERT_TRUE(
        document.parse_text("<package name='web-x' file='web-x_2.0_all.deb' version='2.0' release='' arch='all'"
                            " md5='' buildtime='' size='' classes='x,y'/>"));
    const std::unique_ptr<Package> ofClassX(Package::createFromXml(document.get_root("package"), 'b'));
    ASSERT_TRUE(
        document.parse_text("<package name='web-z' file='web-z_2.0_all.deb' version='2.0' release='' arch='all'"
                            " md5='' buildtime='' size='' classes='z'/>"));
    const std::unique_ptr<Package> ofClassZ(Package::createFromXml(document.get_root("package"), 'b'));

    const boost::shared_ptr<KwComponent> web = component("web", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> mail = component("mail", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> fresh = component("fresh", KwComponent::INSTALL);
    const boost::shared_ptr<KwComponent> current = component("current", KwComponent::UP2DATE);
    web->packages.insert(web->packages.begin(), {ofClassZ.get(), ofClassX.get()});
    mail->classes = {"x"};
    fresh->classes = {"x"};
    manager.roots = {web, mail, fresh, current};

    ComponentManager::MarkComponentsForUpgrade everything({});
    manager.walk(everything);
    everything.apply(manager);
    EXPECT_EQ(requestsOf({web, mail, fresh, current}), (requests_t{{"zanth/web", REQ_INSTALL},
                                                                   {"zanth/mail", REQ_INSTALL},
                                                                   {"zanth/fresh", REQ_LEAVE},
                                                                   {"zanth/current", REQ_LEAVE}}));
    EXPECT_TRUE(manager.additionalPackagesForUpgrade.empty());
    EXPECT_TRUE(log.has("DEBUG ComponentManager::markAdditionalPackagesForUpgrade: (empty)"));
    EXPECT_FALSE(web->needsUpgrade());

    web->requestLeave();
    mail->requestLeave();
    ComponentManager::MarkComponentsForUpgrade ofX({"x"});
    manager.walk(ofX);
    ofX.apply(manager);
    // web has no class x itself: only its package of class x goes, and its actions run.
    EXPECT_EQ(requestsOf({web, mail, fresh}),
              (requests_t{{"zanth/web", REQ_LEAVE}, {"zanth/mail", REQ_INSTALL}, {"zanth/fresh", REQ_LEAVE}}));
    EXPECT_EQ(manager.additionalPackagesForUpgrade, cpkgs_t{ofClassX.get()});
    EXPECT_TRUE(web->needsUpgrade());
    EXPECT_FALSE(mail->needsUpgrade());
    EXPECT_TRUE(log.has("DEBUG ComponentManager::markAdditionalPackagesForUpgrade: web-x-2.0.all "));
}

TEST_F(ComponentSelectionTest, UnresolvableUpgradeHandsNoPackagesOver)
{
    tinybind::Document document;
    ASSERT_TRUE(
        document.parse_text("<package name='p' file='p_2.0_all.deb' version='2.0' release='' arch='all'"
                            " md5='' buildtime='' size='' classes='x'/>"));
    const std::unique_ptr<Package> ofClassX(Package::createFromXml(document.get_root("package"), 'b'));
    const boost::shared_ptr<KwComponent> a = component("a", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> b = component("b", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> c = component("c", KwComponent::UPGRADE);
    a->classes = {"x"};
    b->classes = {"x"};
    a->conflicts = {"b"};
    c->packages.push_back(ofClassX.get());
    manager.roots = {a, b, c};
    ComponentManager::MarkComponentsForUpgrade ofX({"x"});
    manager.walk(ofX);
    EXPECT_EQ(codes(caught([&] { ofX.apply(manager); })), std::make_tuple(5, 1, 1, 2));
    EXPECT_TRUE(manager.additionalPackagesForUpgrade.empty());
    EXPECT_EQ(requestsOf({a, b}), (requests_t{{"zanth/a", REQ_LEAVE}, {"zanth/b", REQ_LEAVE}}));
}

TEST_F(ComponentSelectionTest, NeedsOfRequiredComponents)
{
    // base needs web; web needs the radio group r, whose default d is unavailable but asked for
    // already: the search goes through d to what d needs, e, and on to f.
    const boost::shared_ptr<KwComponent> base = component("base", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> web = component("web");
    const boost::shared_ptr<KwComponent> d = component("d", KwComponent::ERROR), alt = component("alt");
    const boost::shared_ptr<KwComponent> e = component("e"), f = component("f");
    const boost::shared_ptr<KwComponent> current = component("current", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> unrelated = component("unrelated");
    const boost::shared_ptr<KwRadioGroup> radio = makeRadioGroup(build, "r", {alt, d});
    radio->default_name = "d";
    base->requirements = {"web", "current"};
    web->requirements = {"r"};
    d->requirements = {"e"};
    e->requirements = {"f"};
    d->setRequest(REQ_INSTALL);
    manager.roots = {f, e, unrelated, radio, current, web, base};

    EXPECT_EQ(manager.getComponentsForCheckWith(base), (std::vector<std::string>{"web", "e", "f"}));

    base->markRequired();
    ComponentManager::MarkNeedForRequired needs(&manager);
    manager.walk(needs);
    EXPECT_TRUE(log.has("MarkNeedForRequired: for base base component also need:  'web' 'e' 'f'"));
    EXPECT_EQ(requestsOf({web, e, f, unrelated, alt}), (requests_t{{"zanth/web", REQ_INSTALL},
                                                                   {"zanth/e", REQ_INSTALL},
                                                                   {"zanth/f", REQ_INSTALL},
                                                                   {"zanth/unrelated", REQ_LEAVE},
                                                                   {"zanth/alt", REQ_LEAVE}}));
}
