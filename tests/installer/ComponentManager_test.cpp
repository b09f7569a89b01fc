#include "installer/ComponentManager.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "installer/Build.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

std::string address(const void* object)
{
    std::ostringstream out;
    out << object;
    return out.str();
}

// Writes down every call of the walk.
class Transcript : public ComponentManager::Visitor {
public:
    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        calls.push_back("visit " + component->name);
    }
    void beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group) override
    {
        calls.push_back("beginRadio " + group->name);
    }
    void beginSubGroup(const boost::shared_ptr<KwSubGroup>& group) override
    {
        calls.push_back("beginSub " + group->name);
    }
    void endSubGroup(const boost::shared_ptr<KwSubGroup>& group) override { calls.push_back("endSub " + group->name); }
    void endRadioGroup(const boost::shared_ptr<KwRadioGroup>& group) override
    {
        calls.push_back("endRadio " + group->name);
    }
    void finish() override { calls.push_back("finish"); }

    std::vector<std::string> calls;
};

class ComponentManagerTest : public testing::Test {
protected:
    boost::shared_ptr<KwComponent> component(const std::string& name,
                                             KwComponent::install_mode_t mode = KwComponent::INSTALL,
                                             const boost::shared_ptr<Build>& of = boost::shared_ptr<Build>())
    {
        return componentInMode(repository, of ? of : build, name, mode);
    }

    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    ComponentManager manager;
};

TEST_F(ComponentManagerTest, WalkOrder)
{
    manager.roots = {
        makeSubGroup(build, "g", {makeRadioGroup(build, "r", {component("a"), component("b")}), component("c")}),
        component("d")};
    Transcript transcript;
    manager.walk(transcript);
    EXPECT_EQ(transcript.calls, (std::vector<std::string>{"beginSub g", "beginRadio r", "visit a", "visit b",
                                                          "endRadio r", "visit c", "endSub g", "visit d", "finish"}));

    manager.roots.push_back(boost::shared_ptr<KwCompNode>(new ForeignNode));
    const error e = caught([&] { manager.walk(transcript); });
    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(e.getText(), internal_error("installer/ComponentManager.cpp", 1106).getText());
}

TEST_F(ComponentManagerTest, BaseComponent)
{
    const error empty = caught([&] { manager.getBaseComponent(""); });
    EXPECT_EQ(codes(empty), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(empty.getText(), "The list of product components is empty.\n");

    const boost::shared_ptr<Build> product_a = makeProductBuild(repository, "A");
    const boost::shared_ptr<Build> product_b = makeProductBuild(repository, "B");
    const boost::shared_ptr<KwComponent> base = component("base", KwComponent::INSTALL, product_b);
    const boost::shared_ptr<KwComponent> core = component("core", KwComponent::INSTALL, product_a);
    manager.roots = {makeRadioGroup(product_a, "base", {component("x", KwComponent::INSTALL, product_a)}), base, core};
    EXPECT_EQ(manager.getBaseComponent("A"), core);
    EXPECT_EQ(manager.getBaseComponent("B"), base);
    EXPECT_EQ(manager.getBaseComponent(""), base);
    EXPECT_EQ(caught([&] { manager.getBaseComponent("C"); }).getText(),
              internal_error("installer/ComponentManager.cpp", 84).getText());
}

TEST_F(ComponentManagerTest, MarkBaseComponent)
{
    const boost::shared_ptr<KwComponent> base = component("base");
    manager.roots = {component("web"), base};
    build->setUninstallSupport(true);
    manager.markBaseComponent();
    EXPECT_EQ(base->getRequest(), REQ_LEAVE);
    EXPECT_FALSE(base->isRequired());

    build->setUninstallSupport(false);
    manager.markBaseComponent();
    EXPECT_EQ(base->getRequest(), REQ_INSTALL);
    EXPECT_TRUE(base->isRequired());

    manager.roots = {component("base", KwComponent::ERROR)};
    const error e = caught([&] { manager.markBaseComponent(); });
    EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 2));
    EXPECT_EQ(e.getText(), "The component zanth/base is not available.\n");
}

TEST_F(ComponentManagerTest, TidyingRadioGroups)
{
    // a is installed and may be switched to nothing: b goes, and a stands for the group.
    const boost::shared_ptr<KwComponent> a = component("a", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> b = component("b");
    const boost::shared_ptr<KwRadioGroup> r = makeRadioGroup(build, "r", {a, b});
    r->switch_rules = true;
    const boost::shared_ptr<KwRadioGroup> empty = makeRadioGroup(build, "empty", {});
    const boost::shared_ptr<KwRadioGroup> kept = makeRadioGroup(build, "kept", {component("k1"), component("k2")});
    const boost::shared_ptr<KwComponent> solo = component("solo");
    const boost::shared_ptr<KwSubGroup> sub = makeSubGroup(build, "sub", {makeRadioGroup(build, "inner", {solo})});
    manager.roots = {r, empty, kept, sub};
    const std::string a_address = address(a.get());
    {
        const LogFile log(3);
        ComponentManager::ShriveledRadioGroupsRemover remover(&manager);
        manager.walk(remover);
        EXPECT_TRUE(log.has("rename component a(" + a_address + ") to r")) << testing::PrintToString(log.lines());
        EXPECT_TRUE(log.has("DEBUG: find_and_edit: erase " + address(empty.get())));
        EXPECT_TRUE(log.has("rename component solo(" + address(solo.get()) + ") to inner"));
    }
    // The replacement was the first group: it changes places with the first group left.
    EXPECT_EQ(manager.roots, (ComponentManager::nodes_t{kept, a, sub}));
    EXPECT_EQ(a->name, "r");
    EXPECT_EQ(a->getRadioGroup(), nullptr);
    EXPECT_EQ(b->getRadioGroup(), nullptr);
    EXPECT_EQ(sub->children, ComponentManager::nodes_t{solo});
    EXPECT_EQ(solo->name, "inner");
    EXPECT_EQ(solo->getRadioGroup(), nullptr);

    // Walked again, nothing is left to tidy.
    Transcript transcript;
    manager.walk(transcript);
    EXPECT_EQ(transcript.calls,
              (std::vector<std::string>{"beginRadio kept", "visit k1", "visit k2", "endRadio kept", "visit r",
                                        "beginSub sub", "visit inner", "endSub sub", "finish"}));
}

TEST_F(ComponentManagerTest, ReplacementTakesTheFirstGroupsPlace)
{
    const boost::shared_ptr<KwComponent> c = component("c");
    const boost::shared_ptr<KwRadioGroup> first = makeRadioGroup(build, "first", {component("f1"), component("f2")});
    const boost::shared_ptr<KwRadioGroup> second = makeRadioGroup(build, "second", {component("s1")});
    const boost::shared_ptr<KwComponent> lone = second->members.front();
    manager.roots = {c, first, second};
    {
        const LogFile log(3);
        manager.edit_components_tree_replace(second, lone);
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{"DEBUG: find_and_edit: replace second (" + address(second.get()) +
                                           ") with s1 (" + address(lone.get()) + ")"});
    }
    EXPECT_EQ(manager.roots, (ComponentManager::nodes_t{c, lone, first}));
    EXPECT_EQ(lone->getRadioGroup(), nullptr);

    // A target that is not in the forest is only logged.
    const LogFile log(3);
    manager.edit_components_tree_remove(second);
    manager.edit_components_tree_replace(second, lone);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "DEBUG: edit_components_tree_remove: " + address(second.get()) + " not found!",
                               "DEBUG: edit_components_tree_replace: " + address(second.get()) + " not found!"}));
    EXPECT_EQ(manager.roots, (ComponentManager::nodes_t{c, lone, first}));
}

}  // namespace
