#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/Opsys.h"
#include "common/Repository.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "installer/SelectedCounter.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/thrown.h"

namespace {

typedef ComponentManager::SelectedCounter::counts_t counts_t;

class ComponentQueriesTest : public ComponentForestTest {
protected:
    counts_t counted(const std::string& productId = "zanth")
    {
        ComponentManager::SelectedCounter counter(productId);
        manager.walk(counter);
        return counter.getCounts();
    }
};

}  // namespace

TEST_F(ComponentQueriesTest, AllInstalled)
{
    EXPECT_TRUE(manager.isAllInstalled());
    const boost::shared_ptr<KwComponent> member = component("b", KwComponent::UP2DATE);
    manager.roots = {component("a", KwComponent::UP2DATE), makeRadioGroup(build, "r", {member})};
    EXPECT_TRUE(manager.isAllInstalled());
    boost::dynamic_pointer_cast<KwRadioGroup>(manager.roots[1])->add(component("c", KwComponent::UPGRADE));
    EXPECT_FALSE(manager.isAllInstalled());
}

TEST_F(ComponentQueriesTest, SelectionAndCurrentChanges)
{
    const boost::shared_ptr<KwComponent> broken = component("broken", KwComponent::ERROR);
    const boost::shared_ptr<KwComponent> fresh = component("fresh"), old = component("old", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> current = component("current", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> absent = component("absent");
    manager.roots = {broken, fresh, old, current, absent};
    EXPECT_FALSE(manager.isAnySelected());

    broken->setRequest(REQ_INSTALL);
    EXPECT_TRUE(manager.isAnySelected());
    ComponentsChangeset changeset;
    manager.getCurrentChanges(&changeset);
    EXPECT_TRUE(changeset.requests.empty());

    fresh->requestInstall();
    old->requestRemove();
    current->requestInstall();       // up to date: nothing to install
    absent->setRequest(REQ_REMOVE);  // not installed: nothing to remove
    manager.getCurrentChanges(&changeset);
    EXPECT_EQ(changeset.requests, (std::map<comp_cptr_t, request_mode_t>{{fresh, REQ_INSTALL}, {old, REQ_REMOVE}}));
    EXPECT_EQ(changeset.explicitNames, (std::set<std::string>{"fresh", "old"}));
    EXPECT_EQ(manager.getSelection(), (std::vector<std::string>{"zanth/broken", "zanth/fresh", "zanth/current"}));

    const error e = caught([&] { manager.getCurrentChanges(nullptr); });
    EXPECT_EQ(e.getText().rfind("Try of use NULL pointer: ", 0), 0u);
}

TEST_F(ComponentQueriesTest, SelectionWithoutProductAndByRelease)
{
    const Opsys system;
    const boost::shared_ptr<Build> loose(new Build(boost::shared_ptr<Release>(), system->name, system->vendor,
                                                   system->version, system->arch, "", "", "loose.inf3", ""));
    offerPackage(repository, "bare-key", "1.0");
    const boost::shared_ptr<KwComponent> bare = makeComponent(loose, "bare", {keySection({"bare-key"})});
    bare->checkInstalled(&repository, nullptr);
    const boost::shared_ptr<KwComponent> web = component("web"), mail = component("mail");
    bare->requestInstall();
    web->yxtemplates = {"debian", "centos"};
    mail->yxtemplates = {"centos", "ubuntu"};
    manager.roots = {bare, web, mail};
    EXPECT_EQ(manager.getSelection(), std::vector<std::string>{"bare"});
    EXPECT_FALSE(manager.isSelectedFromRelease(build->getParent().get()));
    EXPECT_TRUE(manager.getOsTemplateListToInstall().empty());

    web->requestInstall();
    mail->requestInstall();
    EXPECT_TRUE(manager.isSelectedFromRelease(build->getParent().get()));
    EXPECT_EQ(manager.getOsTemplateListToInstall(), (std::set<std::string>{"centos", "debian", "ubuntu"}));
}

TEST_F(ComponentQueriesTest, CountsPerGroup)
{
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "other");
    const boost::shared_ptr<KwComponent> chosen = component("chosen"), left = component("left");
    chosen->requestInstall();
    const boost::shared_ptr<KwComponent> hidden = component("hidden");
    hidden->hidden = true;
    hidden->requestInstall();
    const boost::shared_ptr<KwComponent> shown = component("shown", KwComponent::UPGRADE);
    shown->hidden = true;
    shown->show_installed_hidden = true;
    const boost::shared_ptr<KwComponent> foreign = component("foreign", KwComponent::UP2DATE, other);
    const boost::shared_ptr<KwRadioGroup> radio =
        makeRadioGroup(build, "r", {component("r1"), component("r2", KwComponent::UP2DATE), component("r3")});
    // Another product's radio group is not counted either.
    const boost::shared_ptr<KwRadioGroup> foreignRadio = makeRadioGroup(
        other, "fr", {component("f1", KwComponent::INSTALL, other), component("f2", KwComponent::INSTALL, other)});
    manager.roots = {makeSubGroup(build, "web", {chosen, left, hidden}), radio, shown, foreign, foreignRadio};

    EXPECT_EQ(counted(), (counts_t{{"web", {1, 2}}, {"", {1 + 1 + 1, 2 + 1 + 1}}}));
    EXPECT_EQ(counted("other"), (counts_t{{"web", {0, 0}}, {"", {1, 2}}}));
}

TEST_F(ComponentQueriesTest, GroupStackChecks)
{
    const boost::shared_ptr<KwSubGroup> top = makeSubGroup(build, "", {});
    const boost::shared_ptr<KwSubGroup> web = makeSubGroup(build, "web", {});
    ComponentManager::SelectedCounter counter("zanth");
    // Another group than the open one, the top level closed, and nothing open at all: three cases.
    std::set<std::string> texts;
    for (const boost::shared_ptr<KwSubGroup>& closed : {web, top, top}) {
        const error e = caught([&] { counter.endSubGroup(closed); });
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_NE(e.getText().find("installer/SelectedCounter.cpp, line "), std::string::npos) << e.getText();
        texts.insert(e.getText());
    }
    EXPECT_EQ(texts.size(), 3u);
}
