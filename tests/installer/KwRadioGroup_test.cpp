#include "installer/KwRadioGroup.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "installer/ComponentsChangeset.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

class KwRadioGroupTest : public testing::Test {
protected:
    // A group of members brought into the given modes, in order, named m0, m1, ...
    boost::shared_ptr<KwRadioGroup> group(const std::vector<KwComponent::install_mode_t>& modes)
    {
        boost::shared_ptr<KwRadioGroup> made(new KwRadioGroup(build, "g" + std::to_string(groups++), "Group"));
        for (KwComponent::install_mode_t mode : modes)
            made->add(
                componentInMode(repository, build, made->name + "m" + std::to_string(made->members.size()), mode));
        return made;
    }

    static std::string address(const void* object)
    {
        std::ostringstream out;
        out << object;
        return out.str();
    }

    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    int groups = 0;
};

TEST_F(KwRadioGroupTest, MembersPointBackToTheirGroup)
{
    const boost::shared_ptr<KwRadioGroup> g = group({KwComponent::INSTALL, KwComponent::INSTALL});
    for (const boost::shared_ptr<KwComponent>& member : g->members)
        EXPECT_EQ(member->getRadioGroup(), g.get());
    EXPECT_FALSE(g->isEmpty());
    EXPECT_TRUE(group({})->isEmpty());
    EXPECT_EQ(g->getProductId(), "zanth");
    EXPECT_EQ(g->getDescription(), "Group");
    EXPECT_EQ(g->getBuild(), build);
}

TEST_F(KwRadioGroupTest, DefaultMember)
{
    const boost::shared_ptr<KwRadioGroup> g = group({KwComponent::INSTALL, KwComponent::INSTALL, KwComponent::INSTALL});
    EXPECT_EQ(g->getDefault(), g->members[0]);  // no default name
    g->default_name = g->members[1]->name;
    EXPECT_EQ(g->getDefault(), g->members[1]);
    g->default_name = "nobody";
    EXPECT_EQ(g->getDefault(), g->members[0]);

    const boost::shared_ptr<KwRadioGroup> empty = group({});
    const std::string no_default = internal_error("installer/KwRadioGroup.cpp", 127).getText();
    for (const std::function<void()>& ask : std::vector<std::function<void()>>{
             [&] { empty->getDefault(); }, [&] { empty->getSelectedOrDefault(nullptr); }}) {
        const error e = caught(ask);
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_EQ(e.getText(), no_default);
    }
}

TEST_F(KwRadioGroupTest, SelectedMember)
{
    const boost::shared_ptr<KwRadioGroup> g = group({KwComponent::INSTALL, KwComponent::INSTALL, KwComponent::INSTALL});
    g->default_name = g->members[2]->name;
    EXPECT_EQ(g->getSelected(nullptr), nullptr);
    EXPECT_FALSE(g->hasSelected(nullptr));
    EXPECT_EQ(g->getSelectedOrDefault(nullptr), g->members[2]);
    EXPECT_EQ(g->getStatusChar(), ' ');

    // Two members that will be installed: the earlier one.
    ComponentsChangeset changeset;
    changeset.requests[g->members[1]] = REQ_INSTALL;
    changeset.requests[g->members[0]] = REQ_INSTALL;
    EXPECT_EQ(g->getSelected(&changeset), g->members[0]);
    EXPECT_EQ(g->getSelectedOrDefault(&changeset), g->members[0]);
    EXPECT_EQ(g->getStatusChar(), ' ');  // the status follows the tree, not a changeset

    // The tree itself: whichever member will be installed.
    g->members[1]->requestInstall();
    EXPECT_EQ(g->getSelected(nullptr), g->members[1]);
    EXPECT_EQ(g->getStatusChar(), '*');
}

TEST_F(KwRadioGroupTest, InstallMode)
{
    const KwComponent::install_mode_t INSTALL = KwComponent::INSTALL, UPGRADE = KwComponent::UPGRADE,
                                      UP2DATE = KwComponent::UP2DATE, ERROR = KwComponent::ERROR;
    struct Case {
        std::vector<KwComponent::install_mode_t> modes;
        int default_member;     // -1: no default name
        bool remove_installed;  // installed members requested for removal: nothing selected
        KwComponent::install_mode_t expected;
    };
    const std::vector<Case> cases = {
        {{INSTALL, ERROR}, -1, false, INSTALL},
        {{ERROR, INSTALL}, -1, false, INSTALL},
        {{UPGRADE, UP2DATE}, -1, true, UP2DATE},   // none selected: the highest
        {{UPGRADE, UP2DATE}, -1, false, UPGRADE},  // the first installed member is selected
        {{INSTALL, UP2DATE}, -1, false, UP2DATE},
        {{ERROR, INSTALL, UP2DATE}, 0, true, ERROR},  // the named default wins over the highest
        {{ERROR, UPGRADE}, 1, false, UPGRADE},
    };
    for (const Case& c : cases) {
        const boost::shared_ptr<KwRadioGroup> g = group(c.modes);
        if (c.default_member >= 0)
            g->default_name = g->members[c.default_member]->name;
        if (c.remove_installed)
            for (const boost::shared_ptr<KwComponent>& member : g->members)
                if (member->isInstalled())
                    member->requestRemove();
        EXPECT_EQ(g->getInstallMode(), c.expected) << g->name;
    }
}

TEST_F(KwRadioGroupTest, DropNotAllowedSwitches)
{
    const boost::shared_ptr<KwRadioGroup> g = group({KwComponent::UP2DATE, KwComponent::INSTALL, KwComponent::INSTALL});
    const boost::shared_ptr<KwComponent> a = g->members[0], b = g->members[1], c = g->members[2];
    g->switch_rules = true;
    g->addAllowedSwitch(a->name, b->name);
    g->addAllowedSwitch(b->name, c->name);  // from another member: no help to c
    {
        const LogFile log(3);
        g->drop_not_allowed_switches();
        EXPECT_EQ(log.lines(),
                  (std::vector<std::string>{
                      "DEBUG: drop_not_allowed_switches: from=" + a->name,
                      "DEBUG: drop_not_allowed_switches: to=" + b->name,
                      "DEBUG: drop_not_allowed_switches: allowed=true",
                      "DEBUG: drop_not_allowed_switches: to=" + c->name,
                      "DEBUG: drop_not_allowed_switches: allowed=false",
                      "DEBUG: drop_not_allowed_switches: erase component " + address(c.get()) + " " + c->name,
                      "DEBUG: drop_not_allowed_switches: to=" + b->name,
                      "DEBUG: drop_not_allowed_switches: allowed=true",
                  }));
    }
    EXPECT_EQ(g->members, (KwRadioGroup::members_t{a, b}));
    EXPECT_EQ(c->getRadioGroup(), nullptr);
    EXPECT_EQ(a->getRadioGroup(), g.get());

    // No installed member: nothing to switch from.
    const boost::shared_ptr<KwRadioGroup> fresh = group({KwComponent::INSTALL, KwComponent::INSTALL});
    fresh->switch_rules = true;
    {
        const LogFile log(3);
        fresh->drop_not_allowed_switches();
        EXPECT_EQ(log.lines(), std::vector<std::string>{"DEBUG: drop_not_allowed_switches: from="});
    }
    EXPECT_EQ(fresh->members.size(), 2u);

    // Without switch rules nothing is checked, logged or dropped.
    const boost::shared_ptr<KwRadioGroup> free = group({KwComponent::UPGRADE, KwComponent::INSTALL});
    {
        const LogFile log(3);
        free->drop_not_allowed_switches();
        EXPECT_TRUE(log.lines().empty());
    }
    EXPECT_EQ(free->members.size(), 2u);
}

TEST_F(KwRadioGroupTest, DestructionIsLoggedAndLetsMembersGo)
{
    const boost::shared_ptr<KwComponent> member = componentInMode(repository, build, "mysql", KwComponent::INSTALL);
    const LogFile log(3);
    KwRadioGroup* g = new KwRadioGroup(build, "databases", "Databases");
    g->add(member);
    const std::string expected = "DEBUG: ~KwRadioGroup: databases (" + address(g) + ")";
    delete g;
    EXPECT_EQ(log.lines(), std::vector<std::string>{expected});
    EXPECT_EQ(member->getRadioGroup(), nullptr);
}

}  // namespace
