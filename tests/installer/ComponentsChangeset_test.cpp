#include "installer/ComponentsChangeset.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/printed.h"
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

// What the changeset says of a component: isMarkedForInstall, isMarkedForRemove, willBeInstalled,
// willBeInstalledOlder, willBeInstalledNew and willBeNotInstalled, as 1 and 0.
std::string answers(const ComponentsChangeset& changeset, const comp_cptr_t& component)
{
    std::string got;
    for (bool answer : {changeset.isMarkedForInstall(component), changeset.isMarkedForRemove(component, false),
                        changeset.willBeInstalled(component), changeset.willBeInstalledOlder(component),
                        changeset.willBeInstalledNew(component), changeset.willBeNotInstalled(component)})
        got += answer ? '1' : '0';
    return got;
}

// The same of the component alone.
std::string ownAnswers(const KwComponent& component)
{
    std::string got;
    for (bool answer :
         {component.getRequest() == REQ_INSTALL, component.getRequest() == REQ_REMOVE, component.willBeInstalled(),
          component.willBeInstalledOlder(), component.willBeInstalledNew(), component.willBeNotInstalled()})
        got += answer ? '1' : '0';
    return got;
}

// Every install mode and own request of a component, without an entry (the component's own
// answers) and with the entries REQ_UNSPECIFIED, REQ_LEAVE, REQ_INSTALL and REQ_REMOVE.
TEST(ComponentsChangesetTest, PredicatesByEntry)
{
    Repository repository;
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    const std::vector<std::pair<KwComponent::install_mode_t, std::vector<std::string>>> table = {
        {KwComponent::INSTALL, {"000000", "000001", "101010", "010001"}},
        {KwComponent::UPGRADE, {"000000", "001100", "101010", "010001"}},
        {KwComponent::UP2DATE, {"000000", "001010", "101010", "010001"}},
        {KwComponent::ERROR, {"000000", "000001", "100000", "010001"}},
    };
    const std::vector<request_mode_t> entries = {REQ_UNSPECIFIED, REQ_LEAVE, REQ_INSTALL, REQ_REMOVE};
    int n = 0;
    for (const auto& row : table) {
        for (request_mode_t own : {REQ_LEAVE, REQ_INSTALL, REQ_REMOVE}) {
            if (row.first == KwComponent::ERROR && own != REQ_LEAVE)
                continue;  // nothing can be requested of an unavailable component
            const boost::shared_ptr<KwComponent> component =
                componentInMode(repository, build, "c" + std::to_string(n++), row.first);
            if (own == REQ_INSTALL)
                component->requestInstall();
            if (own == REQ_REMOVE)
                component->requestRemove();
            ComponentsChangeset changeset;
            changeset.requests[componentInMode(repository, build, "other", row.first)] = REQ_INSTALL;
            EXPECT_EQ(changeset.getRequest(component), REQ_UNSPECIFIED);
            EXPECT_EQ(answers(changeset, component), ownAnswers(*component)) << row.first << " " << own;
            EXPECT_EQ(answers(*ComponentsChangeset::orDefault(nullptr), component), ownAnswers(*component));
            for (size_t column = 0; column < entries.size(); ++column) {
                changeset.requests[component] = entries[column];
                EXPECT_EQ(changeset.getRequest(component), entries[column]);
                EXPECT_EQ(answers(changeset, component), row.second[column])
                    << "mode " << row.first << ", own request " << own << ", entry " << entries[column];
            }
        }
    }
}

TEST(ComponentsChangesetTest, ExplicitRemovalOfWhatDeniesImplicitRemoval)
{
    Repository repository;
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "other");
    const boost::shared_ptr<KwComponent> mail = componentInMode(repository, build, "mail", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> foreign_mail =
        componentInMode(repository, other, "mail", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> web = componentInMode(repository, build, "web", KwComponent::UP2DATE);
    mail->deny_implicit_removal = true;
    foreign_mail->deny_implicit_removal = true;
    ComponentsChangeset changeset;
    changeset.requests[mail] = REQ_REMOVE;
    changeset.requests[foreign_mail] = REQ_REMOVE;
    changeset.requests[web] = REQ_REMOVE;
    EXPECT_FALSE(changeset.isMarkedForRemove(mail, true));
    EXPECT_TRUE(changeset.isMarkedForRemove(mail, false));
    EXPECT_TRUE(changeset.isMarkedForRemove(web, true));
    EXPECT_EQ(changeset.getDeniedImplicitRemovals().size(), 2u);

    // By name: one mark makes both products' mail explicit.
    changeset.markExplicit(foreign_mail);
    EXPECT_TRUE(changeset.isMarkedForRemove(mail, true));
    EXPECT_TRUE(changeset.isMarkedForRemove(foreign_mail, true));
    EXPECT_TRUE(changeset.isExplicit(mail));
    EXPECT_TRUE(changeset.getDeniedImplicitRemovals().empty());
    EXPECT_FALSE(changeset.isExplicit(comp_cptr_t()));
    EXPECT_FALSE(changeset.isConflict(comp_cptr_t()));
}

TEST(ComponentsChangesetTest, NamesByRequest)
{
    Repository repository;
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    const boost::shared_ptr<Build> other = makeProductBuild(repository, "other");
    ComponentsChangeset changeset;
    for (const char* name : {"b", "a", "c"})
        changeset.requests[makeComponent(build, name)] = REQ_INSTALL;
    changeset.requests[makeComponent(other, "a")] = REQ_INSTALL;
    changeset.requests[makeComponent(build, "x")] = REQ_REMOVE;
    changeset.requests[makeComponent(build, "y")] = REQ_LEAVE;
    changeset.requests[makeComponent(build, "z")] = REQ_UNSPECIFIED;
    EXPECT_EQ(changeset.getInstallNames(), (std::vector<std::string>{"a", "a", "b", "c"}));
    EXPECT_EQ(changeset.getRemoveNames(), std::vector<std::string>{"x"});
    EXPECT_EQ(changeset.getLeaveNames(), std::vector<std::string>{"y"});
    EXPECT_EQ(changeset.getNamesByRequest(REQ_UNSPECIFIED), std::vector<std::string>{"z"});

    changeset.explicitNames = {"a", "x"};
    EXPECT_EQ(changeset.getImplicitInstallNames(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(changeset.getImplicitRemoveNames().empty());
    EXPECT_EQ(changeset.getImplicitLeaveNames(), std::vector<std::string>{"y"});
    EXPECT_TRUE(changeset.hasImplicitChanges());
    changeset.explicitNames = {"a", "b", "c", "x", "y", "z"};
    EXPECT_EQ(changeset.getImplicitInstallNames(), std::vector<std::string>{"a"});
    changeset.explicitNames.insert("zz");
    changeset.requests.erase(changeset.requests.begin(), changeset.requests.end());
    for (const char* name : {"a", "b"})
        changeset.requests[makeComponent(build, name)] = REQ_REMOVE;
    EXPECT_FALSE(changeset.hasImplicitChanges());

    changeset.conflictNames = {"web", "mail"};
    EXPECT_EQ(changeset.getConflictNames(), (std::vector<std::string>{"mail", "web"}));
    EXPECT_STREQ(requestName(REQ_UNSPECIFIED), "REQ_UNSPECIFIED");
    EXPECT_STREQ(requestName(REQ_LEAVE), "REQ_LEAVE");
    EXPECT_STREQ(requestName(REQ_INSTALL), "REQ_INSTALL");
    EXPECT_STREQ(requestName(REQ_REMOVE), "REQ_REMOVE");
    EXPECT_STREQ(requestName(7), "REQ_UNKNOWN");
}

TEST(ComponentsChangesetTest, TextForm)
{
    EXPECT_EQ(printed(ComponentsChangeset()),
              "ComponentsChangeset[ ] (! is explicit, = is leave, + is install, ~ is remove)");
    Repository repository;
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    ComponentsChangeset changeset;
    const boost::shared_ptr<KwComponent> web = makeComponent(build, "web");
    const boost::shared_ptr<KwComponent> mail = makeComponent(build, "mail");
    changeset.requests[web] = REQ_INSTALL;
    changeset.markExplicit(web);
    changeset.requests[mail] = REQ_LEAVE;
    changeset.conflictNames.insert("mail");
    const std::string text = printed(changeset);
    const std::string tail = " ] (! is explicit, = is leave, + is install, ~ is remove)";
    EXPECT_TRUE(text == "ComponentsChangeset[ !+zanth/web, =zanth/mail (conflict)" + tail ||
                text == "ComponentsChangeset[ =zanth/mail (conflict), !+zanth/web" + tail)
        << text;
    ComponentsChangeset odd;
    odd.requests[web] = REQ_UNSPECIFIED;
    EXPECT_EQ(printed(odd), "ComponentsChangeset[ ?zanth/web" + tail);
    odd.requests[web] = REQ_REMOVE;
    EXPECT_EQ(printed(odd), "ComponentsChangeset[ ~zanth/web" + tail);
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
