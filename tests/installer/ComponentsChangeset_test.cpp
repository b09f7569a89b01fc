#include "installer/ComponentsChangeset.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/thrown.h"

namespace {

TEST(ComponentsChangesetTest, DefaultChangesetIsOneEmptyObject)
{
    const ComponentsChangeset* shared = ComponentsChangeset::orDefault(nullptr);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(ComponentsChangeset::orDefault(nullptr), shared);
    EXPECT_TRUE(shared->requests.empty());
    ComponentsChangeset own;
    EXPECT_EQ(ComponentsChangeset::orDefault(&own), &own);
}

// For each install mode: willBeInstalled, willBeInstalledOlder and willBeNotInstalled (as 1 and 0)
// without an entry, then with the entries REQ_UNSPECIFIED, REQ_LEAVE, REQ_INSTALL, REQ_REMOVE.
TEST(ComponentsChangesetTest, PredicatesByEntry)
{
    Repository repository;
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    const std::vector<std::pair<KwComponent::install_mode_t, std::vector<std::string>>> table = {
        {KwComponent::INSTALL, {"001", "000", "001", "100", "001"}},
        {KwComponent::UPGRADE, {"110", "000", "110", "100", "001"}},
        {KwComponent::UP2DATE, {"100", "000", "100", "100", "001"}},
        {KwComponent::ERROR, {"001", "000", "001", "000", "001"}},
    };
    const std::vector<request_mode_t> entries = {REQ_UNSPECIFIED, REQ_LEAVE, REQ_INSTALL, REQ_REMOVE};
    for (const auto& row : table) {
        const boost::shared_ptr<KwComponent> component =
            componentInMode(repository, build, "c" + std::to_string(row.first), row.first);
        const boost::shared_ptr<KwComponent> bystander =
            componentInMode(repository, build, "b" + std::to_string(row.first), row.first);
        for (size_t column = 0; column < row.second.size(); ++column) {
            ComponentsChangeset changeset;
            changeset.requests[bystander] = REQ_INSTALL;
            if (column > 0)
                changeset.requests[component] = entries[column - 1];
            EXPECT_EQ(changeset.getRequest(component), column > 0 ? entries[column - 1] : REQ_UNSPECIFIED);
            std::string got;
            for (bool answer : {changeset.willBeInstalled(component), changeset.willBeInstalledOlder(component),
                                changeset.willBeNotInstalled(component)})
                got += answer ? '1' : '0';
            EXPECT_EQ(got, row.second[column]) << "mode " << row.first << ", column " << column;
        }
    }
}

TEST(ComponentsChangesetTest, UncheckedComponentIsAnInternalErrorWhateverItsEntry)
{
    Repository repository;
    const boost::shared_ptr<KwComponent> component = makeComponent(makeProductBuild(repository), "web");
    ComponentsChangeset changeset;
    changeset.requests[component] = REQ_REMOVE;
    EXPECT_EQ(changeset.getRequest(component), REQ_REMOVE);
    for (const std::function<void()>& ask : std::vector<std::function<void()>>{
             [&] { changeset.willBeInstalled(component); }, [&] { changeset.willBeInstalledOlder(component); },
             [&] { changeset.willBeNotInstalled(component); }})
        EXPECT_EQ(caught(ask).getText(), internal_error("installer/KwComponent.cpp", 64).getText());
}

}  // namespace
