#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Repository.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/MarkSpecifiedNamesComponents.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

requests_t entriesOf(const ComponentsChangeset& changeset)
{
    requests_t entries;
    for (const auto& entry : changeset.requests)
        entries[entry.first->getFullName()] = entry.second;
    return entries;
}

class ComponentResolutionTest : public ComponentForestTest {
public:
    LogFile log;
};

// One situation of the rules: the forest and the initial entries, and what resolution leaves.
struct ResolutionRow {
    std::string name;
    std::function<void(ComponentResolutionTest&, ComponentManager&, ComponentsChangeset&)> setUp;
    requests_t resolved;
    std::set<std::string> explicitNames;
};

}  // namespace

TEST_F(ComponentResolutionTest, RequestsFollowFromTheRules)
{
    const std::vector<ResolutionRow> rows = {
        {"radio group: the installed member goes, as asked for",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> a = t.component("a");
             m.roots = {makeRadioGroup(t.build, "r", {a, t.component("b", KwComponent::UPGRADE)})};
             c.requests[a] = REQ_INSTALL;
         },
         {{"zanth/a", REQ_INSTALL}, {"zanth/b", REQ_REMOVE}},
         {"a", "b"}},
        {"requires, transitively: x requires y requires z",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> x = t.component("x"), y = t.component("y"), z = t.component("z");
             x->requirements = {"y"};
             y->requirements = {"z"};
             m.roots = {z, y, x, t.component("w")};
             c.requests[x] = REQ_INSTALL;
         },
         {{"zanth/x", REQ_INSTALL}, {"zanth/y", REQ_INSTALL}, {"zanth/z", REQ_INSTALL}},
         {"x"}},
        {"rule 2: what an older component is tied to stays older",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> p = t.component("p", KwComponent::UPGRADE);
             const boost::shared_ptr<KwComponent> q = t.component("q", KwComponent::UPGRADE);
             p->hardwired_with = {"q"};
             q->requestInstall();
             m.roots = {p, q};
             c.requests[p] = REQ_LEAVE;
         },
         {{"zanth/p", REQ_LEAVE}, {"zanth/q", REQ_LEAVE}},
         {"p"}},
        {"rule 2: a new one that is not installed goes instead",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> p = t.component("p", KwComponent::UPGRADE);
             const boost::shared_ptr<KwComponent> q = t.component("q", KwComponent::UP2DATE);
             p->hardwired_with = {"q"};
             m.roots = {p, q};
             c.requests[p] = REQ_LEAVE;
         },
         {{"zanth/p", REQ_LEAVE}, {"zanth/q", REQ_REMOVE}},
         {"p"}},
        {"rule 1: a conflicting installed component goes",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> n = t.component("n");
             n->conflicts = {"old"};
             m.roots = {n, t.component("old", KwComponent::UP2DATE)};
             c.requests[n] = REQ_INSTALL;
         },
         {{"zanth/n", REQ_INSTALL}, {"zanth/old", REQ_REMOVE}},
         {"n"}},
        {"rule 3: an older component tied to an upgraded one is upgraded too",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> n = t.component("n", KwComponent::UPGRADE);
             const boost::shared_ptr<KwComponent> o = t.component("o", KwComponent::UPGRADE);
             o->hardwired_with = {"n"};
             m.roots = {n, o};
             c.requests[n] = REQ_INSTALL;
         },
         {{"zanth/n", REQ_INSTALL}, {"zanth/o", REQ_INSTALL}},
         {"n"}},
        {"rule 5: what requires a removed component goes with it",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> l = t.component("l", KwComponent::UP2DATE);
             const boost::shared_ptr<KwComponent> u = t.component("u", KwComponent::UP2DATE);
             u->requirements = {"l"};
             m.roots = {l, u, t.component("v", KwComponent::UP2DATE)};
             c.requests[l] = REQ_REMOVE;
         },
         {{"zanth/l", REQ_REMOVE}, {"zanth/u", REQ_REMOVE}},
         {"l"}},
        {"another product's components are not tied",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset& c) {
             const boost::shared_ptr<KwComponent> x = t.component("x");
             x->requirements = {"y"};
             m.roots = {x, t.component("y", KwComponent::INSTALL, makeProductBuild(t.repository, "other"))};
             c.requests[x] = REQ_INSTALL;
         },
         {{"zanth/x", REQ_INSTALL}},
         {"x"}},
        {"empty changeset",
         [](ComponentResolutionTest& t, ComponentManager& m, ComponentsChangeset&) {
             m.roots = {t.component("x", KwComponent::UPGRADE), t.component("y")};
         },
         {},
         {}},
    };
    for (const ResolutionRow& row : rows) {
        SCOPED_TRACE(row.name);
        ComponentManager forest;
        ComponentsChangeset changeset;
        row.setUp(*this, forest, changeset);
        EXPECT_TRUE(forest.resolveComponents(&changeset));
        EXPECT_EQ(entriesOf(changeset), row.resolved);
        EXPECT_EQ(changeset.explicitNames, row.explicitNames);
        EXPECT_TRUE(changeset.conflictNames.empty());
    }
}

TEST_F(ComponentResolutionTest, ResolvedRadioChangeIsApplied)
{
    const boost::shared_ptr<KwComponent> a = component("a"), b = component("b", KwComponent::UP2DATE);
    manager.roots = {makeRadioGroup(build, "r", {a, b})};
    ComponentsChangeset changeset;
    changeset.requests[a] = REQ_INSTALL;
    ASSERT_TRUE(manager.resolveComponents(&changeset));
    EXPECT_TRUE(changeset.getImplicitRemoveNames().empty());  // b goes as part of what was asked for
    manager.applyChangeset(&changeset);
    EXPECT_EQ(requestsOf({a, b}), (requests_t{{"zanth/a", REQ_INSTALL}, {"zanth/b", REQ_REMOVE}}));
}

TEST_F(ComponentResolutionTest, ImplicitChangesAreShown)
{
    const boost::shared_ptr<KwComponent> x = component("x"), y = component("y");
    x->requirements = {"y"};
    manager.roots = {x, y};
    ComponentsChangeset changeset;
    changeset.requests[x] = REQ_INSTALL;
    ASSERT_TRUE(manager.resolveComponents(&changeset));
    EXPECT_EQ(changeset.getImplicitInstallNames(), std::vector<std::string>{"y"});
    EXPECT_TRUE(
        log.has("DEBUG: ComponentManager::resolveComponents() before resolve: ComponentsChangeset[ +zanth/x ] "
                "(! is explicit, = is leave, + is install, ~ is remove)"));
    const std::string after = "DEBUG: ComponentManager::resolveComponents() after resolve: ComponentsChangeset[ ";
    const std::string legend = " ] (! is explicit, = is leave, + is install, ~ is remove); resolution succeeded";
    EXPECT_TRUE(log.has(after + "!+zanth/x, +zanth/y" + legend) || log.has(after + "+zanth/y, !+zanth/x" + legend));
}

TEST_F(ComponentResolutionTest, ConflictLeavesTheTreeAlone)
{
    const boost::shared_ptr<KwComponent> a = component("a"), b = component("b"),
                                         c = component("c", KwComponent::UPGRADE);
    a->conflicts = {"b"};
    manager.roots = {a, b, c};
    ComponentsChangeset changeset;
    changeset.requests[a] = REQ_INSTALL;
    changeset.requests[b] = REQ_INSTALL;
    EXPECT_FALSE(manager.resolveComponents(&changeset));
    EXPECT_EQ(changeset.getConflictNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(entriesOf(changeset), (requests_t{{"zanth/a", REQ_INSTALL}, {"zanth/b", REQ_INSTALL}}));

    const boost::regex conflict(
        "Warning: found inter-component dependencies conflict between "
        "'(a|b)' \\(will be installed: 1, request = REQ_INSTALL\\) and '(a|b)' \\(will be installed: 1, request = "
        "REQ_INSTALL\\) while trying to resolve REQ_INSTALL of component '(a|b)' and 1 more change\\(s\\)");
    const auto matching = [&] {
        int count = 0;
        for (const std::string& line : log.lines())
            count += boost::regex_match(line, conflict) ? 1 : 0;
        return count;
    };
    EXPECT_EQ(matching(), 1);

    ComponentsChangeset again;
    again.requests[a] = REQ_INSTALL;
    again.requests[b] = REQ_INSTALL;
    const error e = caught([&] { manager.resolveAndApply(&again); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
    EXPECT_EQ(e.getText(),
              "Unable to resolve components request mode changeset due to inter-component dependencies. You possibly "
              "need to remove some of the conflicting components. Check '" +
                  Log::getFileName() + "' for more details.\n");
    EXPECT_EQ(matching(), 2);
    EXPECT_EQ(requestsOf({a, b, c}),
              (requests_t{{"zanth/a", REQ_LEAVE}, {"zanth/b", REQ_LEAVE}, {"zanth/c", REQ_LEAVE}}));

    for (const std::function<void()>& call : std::vector<std::function<void()>>{
             [&] { manager.resolveComponents(nullptr); }, [&] { manager.resolveAndApply(nullptr); }})
        EXPECT_EQ(caught(call).getText().rfind("Try of use NULL pointer: ", 0), 0u);
}

TEST_F(ComponentResolutionTest, ChangeComponentState)
{
    // x needs y, which cannot stand beside it.
    const boost::shared_ptr<KwComponent> x = component("x"), y = component("y"), z = component("z");
    x->requirements = {"y"};
    y->conflicts = {"x"};
    manager.roots = {x, y, z};
    const error e = caught([&] { manager.changeComponentState(x, REQ_INSTALL); });
    EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
    EXPECT_EQ(e.getText(), "Unable to change state for zanth/x due to inter-component dependencies. Check '" +
                               Log::getFileName() + "' for more details.\n");
    EXPECT_EQ(requestsOf({x, y}), (requests_t{{"zanth/x", REQ_LEAVE}, {"zanth/y", REQ_LEAVE}}));

    z->requirements = {"y"};
    manager.changeComponentState(z, REQ_INSTALL);
    EXPECT_EQ(requestsOf({x, y, z}),
              (requests_t{{"zanth/x", REQ_LEAVE}, {"zanth/y", REQ_INSTALL}, {"zanth/z", REQ_INSTALL}}));
}

TEST_F(ComponentResolutionTest, ApplyingGoesByNames)
{
    const boost::shared_ptr<KwComponent> current = component("current", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> absent = component("absent");
    const boost::shared_ptr<KwComponent> broken = component("broken", KwComponent::ERROR);
    const boost::shared_ptr<KwComponent> old = component("old", KwComponent::UPGRADE);
    const boost::shared_ptr<KwComponent> ghost = component("ghost");  // not in the forest
    current->requestRemove();
    absent->requestInstall();
    manager.roots = {current, absent, broken, old};

    ComponentsChangeset changeset;
    changeset.requests[current] = REQ_INSTALL;
    changeset.requests[absent] = REQ_REMOVE;
    changeset.requests[broken] = REQ_INSTALL;
    changeset.requests[old] = REQ_REMOVE;
    changeset.requests[ghost] = REQ_LEAVE;
    manager.applyChangeset(&changeset);
    EXPECT_EQ(requestsOf({current, absent, broken, old}), (requests_t{{"zanth/current", REQ_LEAVE},
                                                                      {"zanth/absent", REQ_LEAVE},
                                                                      {"zanth/broken", REQ_LEAVE},
                                                                      {"zanth/old", REQ_REMOVE}}));
    EXPECT_TRUE(log.has(" skip component broken: not available"));
    EXPECT_TRUE(log.has("Warning: following component(s) not found in product zanth:  'ghost'"));

    const error e = caught([&] { manager.applyChangeset(nullptr); });
    EXPECT_EQ(e.getText().rfind("Try of use NULL pointer: ", 0), 0u);
}

TEST_F(ComponentResolutionTest, EveryProductOfAChangesetIsApplied)
{
    const boost::shared_ptr<Build> a_build = makeProductBuild(repository, "A");
    const boost::shared_ptr<Build> b_build = makeProductBuild(repository, "B");
    // The same name in both products: each entry reaches its own product's component only.
    const boost::shared_ptr<KwComponent> a_web = component("web", KwComponent::INSTALL, a_build);
    const boost::shared_ptr<KwComponent> b_web = component("web", KwComponent::UP2DATE, b_build);
    const boost::shared_ptr<KwComponent> b_mail = component("mail", KwComponent::INSTALL, b_build);
    manager.roots = {a_web, b_web, b_mail};
    ComponentsChangeset changeset;
    changeset.requests[a_web] = REQ_INSTALL;
    changeset.requests[b_web] = REQ_REMOVE;
    changeset.requests[b_mail] = REQ_INSTALL;
    manager.applyChangeset(&changeset);
    EXPECT_EQ(requestsOf({a_web, b_web, b_mail}),
              (requests_t{{"A/web", REQ_INSTALL}, {"B/web", REQ_REMOVE}, {"B/mail", REQ_INSTALL}}));
}

TEST_F(ComponentResolutionTest, NamedRadioGroups)
{
    const boost::shared_ptr<KwComponent> a = component("a"), b = component("b"), c = component("c", KwComponent::ERROR);
    const boost::shared_ptr<KwRadioGroup> group = makeRadioGroup(build, "r", {a, b});
    group->default_name = "b";
    manager.roots = {group};

    ComponentManager::MarkSpecifiedNamesComponents install(&manager, "zanth", {"r"}, REQ_INSTALL);
    manager.walk(install);
    EXPECT_EQ(requestsOf({a, b}), (requests_t{{"zanth/a", REQ_LEAVE}, {"zanth/b", REQ_INSTALL}}));

    a->requestInstall();  // a will be installed now too: installing the group again changes nothing
    b->requestLeave();
    ComponentManager::MarkSpecifiedNamesComponents again(&manager, "", {"r"}, REQ_INSTALL);
    manager.walk(again);
    EXPECT_EQ(requestsOf({a, b}), (requests_t{{"zanth/a", REQ_INSTALL}, {"zanth/b", REQ_LEAVE}}));

    ComponentManager::MarkSpecifiedNamesComponents remove(&manager, "", {"r"}, REQ_REMOVE);
    manager.walk(remove);
    EXPECT_EQ(requestsOf({a, b}), (requests_t{{"zanth/a", REQ_REMOVE}, {"zanth/b", REQ_LEAVE}}));

    // Another product's group of the name is not this one.
    ComponentManager::MarkSpecifiedNamesComponents elsewhere(&manager, "other", {"r"}, REQ_INSTALL);
    manager.walk(elsewhere);
    EXPECT_EQ(requestsOf({a, b}), (requests_t{{"zanth/a", REQ_REMOVE}, {"zanth/b", REQ_LEAVE}}));
    EXPECT_TRUE(log.has("Warning: following component(s) not found in product other:  'r'"));

    manager.roots = {c};
    ComponentManager::MarkSpecifiedNamesComponents odd(&manager, "", {"c", "d"}, REQ_UNSPECIFIED);
    manager.walk(odd);  // an unavailable component is skipped before its request is looked at
    EXPECT_TRUE(log.has("Warning: following component(s) not found:  'd'"));
    manager.roots = {a};
    ComponentManager::MarkSpecifiedNamesComponents unexpected(&manager, "", {"a"}, 7);
    const error e = caught([&] { manager.walk(unexpected); });
    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(e.getText(), "MarkSpecifiedNamesComponents::visit: unexpected request_mode_t: 7\n");
}
