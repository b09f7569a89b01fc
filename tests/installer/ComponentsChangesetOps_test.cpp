#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/Options.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/thrown.h"

namespace {

class ChangesetOpsTest : public testing::Test {
protected:
    boost::shared_ptr<KwComponent> component(const std::string& name,
                                             KwComponent::install_mode_t mode = KwComponent::INSTALL,
                                             const boost::shared_ptr<Build>& of = boost::shared_ptr<Build>())
    {
        return componentInMode(repository, of ? of : build, name, mode);
    }

    // Walks the forest with a marking visitor.
    void markByName(const std::string& productId, const std::vector<std::string>& names, request_mode_t request)
    {
        ComponentsChangeset::MarkComponentsByName marker(&changeset, productId, names, request, true);
        manager.walk(marker);
    }

    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    ComponentManager manager;
    ComponentsChangeset changeset;
};

TEST_F(ChangesetOpsTest, MarkingByName)
{
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "other");
    const boost::shared_ptr<KwComponent> other_web = component("web", KwComponent::INSTALL, other);
    const boost::shared_ptr<KwComponent> web = component("web");
    const boost::shared_ptr<KwComponent> mysql = component("mysql");
    const boost::shared_ptr<KwComponent> pgsql = component("pgsql");
    const boost::shared_ptr<KwRadioGroup> db = makeRadioGroup(build, "db", {mysql, pgsql});
    db->default_name = "pgsql";
    manager.roots = {other_web, web, db};

    // Without a product id a name is taken at its first match only.
    {
        const LogFile log(3);
        markByName("", {"web", "db", "mysql"}, REQ_INSTALL);
        EXPECT_TRUE(log.lines().empty());
    }
    EXPECT_EQ(changeset.requests.size(), 3u);
    EXPECT_EQ(changeset.getRequest(other_web), REQ_INSTALL);
    EXPECT_EQ(changeset.getRequest(web), REQ_UNSPECIFIED);
    EXPECT_EQ(changeset.getRequest(pgsql), REQ_INSTALL);  // the group's default member
    EXPECT_EQ(changeset.getRequest(mysql), REQ_INSTALL);  // named on its own as well
    EXPECT_EQ(changeset.explicitNames, (std::set<std::string>{"mysql", "pgsql", "web"}));

    // Leave and removal reach every member; the product id keeps other products out.
    changeset = ComponentsChangeset();
    markByName("zanth", {"web", "db"}, REQ_REMOVE);
    EXPECT_EQ(changeset.getRequest(web), REQ_REMOVE);
    EXPECT_EQ(changeset.getRequest(other_web), REQ_UNSPECIFIED);
    EXPECT_EQ(changeset.getRequest(mysql), REQ_REMOVE);
    EXPECT_EQ(changeset.getRequest(pgsql), REQ_REMOVE);
    changeset = ComponentsChangeset();
    markByName("", {"db"}, REQ_UNSPECIFIED);
    EXPECT_TRUE(changeset.requests.empty());
}

TEST_F(ChangesetOpsTest, NamesFoundNowhere)
{
    manager.roots = {component("web")};
    const PrivateHome home;
    const ChildResult result = runChecksInChild(
        [this] {
            Options::instance();  // made before the log is read: its making logs too
            const LogFile log(2);
            markByName("", {"web", "foo"}, REQ_INSTALL);  // not strict: only logged
            EXPECT_EQ(log.lines(),
                      std::vector<std::string>{"Warning: the following component(s) were not found:  'foo'"});

            Options::instance().strict = true;
            markByName("zanth", {"foo", "bar"}, REQ_REMOVE);  // removals only log
            const error e = caught([&] { markByName("zanth", {"foo", "web", "bar"}, REQ_INSTALL); });
            EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 2));
            EXPECT_EQ(e.getText(),
                      "The following component(s) were not found in the product 'zanth': bar, foo. Use the 'list' "
                      "command to check the names of available components.\n");
            const error any = caught([&] { markByName("", {"foo"}, REQ_INSTALL); });
            EXPECT_EQ(any.getText(),
                      "The following product component(s) were not found: foo. Use the 'list' command to check the "
                      "names of available components.\n");
            const std::string warning =
                "Warning: the following component(s) were not found in product zanth:  'bar' 'foo'";
            const std::vector<std::string> lines = log.lines();
            EXPECT_EQ(std::count(lines.begin(), lines.end(), warning), 2) << testing::PrintToString(lines);
        },
        home.options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST_F(ChangesetOpsTest, MarkingASubtree)
{
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "other");
    const boost::shared_ptr<KwComponent> shown = component("shown");
    const boost::shared_ptr<KwComponent> hidden = component("hidden");
    hidden->hidden = true;
    const boost::shared_ptr<KwComponent> hidden_installed = component("hidden-installed", KwComponent::UP2DATE);
    hidden_installed->hidden = true;
    hidden_installed->show_installed_hidden = true;
    const boost::shared_ptr<KwComponent> hidden_absent = component("hidden-absent");
    hidden_absent->hidden = true;
    hidden_absent->show_installed_hidden = true;
    const boost::shared_ptr<KwComponent> current = component("current", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> spare = component("spare");
    const boost::shared_ptr<KwComponent> a = component("a");
    const boost::shared_ptr<KwComponent> b = component("b");
    const boost::shared_ptr<KwComponent> foreign = component("foreign", KwComponent::INSTALL, other);
    manager.roots = {
        makeSubGroup(build, "all",
                     {shown, hidden, hidden_installed, hidden_absent, makeRadioGroup(build, "up", {spare, current}),
                      makeRadioGroup(build, "choice", {a, b})}),
        foreign};

    ComponentsChangeset::MarkSubtree(&changeset, "zanth", REQ_INSTALL, true, true)
        .mark(manager.roots.begin(), manager.roots.end());
    std::map<std::string, request_mode_t> marked;
    for (const auto& entry : changeset.requests)
        marked[entry.first->name] = entry.second;
    // The group whose chosen member will already be installed new is left alone.
    EXPECT_EQ(marked, (std::map<std::string, request_mode_t>{
                          {"shown", REQ_INSTALL}, {"hidden-installed", REQ_INSTALL}, {"a", REQ_INSTALL}}));
    EXPECT_EQ(changeset.explicitNames, (std::set<std::string>{"a", "hidden-installed", "shown"}));

    ComponentsChangeset all;
    ComponentsChangeset::MarkSubtree(&all, "", REQ_LEAVE, false, false)
        .mark(manager.roots.begin(), manager.roots.end());
    EXPECT_EQ(all.requests.size(), 9u);
    EXPECT_TRUE(all.explicitNames.empty());

    // Nodes of no known kind, and a missing changeset, are programming errors.
    const ComponentManager::nodes_t strange = {boost::shared_ptr<KwCompNode>(new ForeignNode)};
    EXPECT_EQ(
        caught([&] {
            ComponentsChangeset::MarkSubtree(&all, "", REQ_LEAVE, false, false).mark(strange.begin(), strange.end());
        }).getText(),
        internal_error("installer/ComponentsChangesetOps.cpp", 141).getText());
    ComponentsChangeset::MarkSubtree missing(nullptr, "", REQ_LEAVE, false, false);
    EXPECT_EQ(codes(caught([&] { missing.mark(manager.roots.begin(), manager.roots.end()); })),
              std::make_tuple(3, 1, 0, 3));
}

}  // namespace
