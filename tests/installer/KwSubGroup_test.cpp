#include "installer/KwSubGroup.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "installer/KwRadioGroup.h"
#include "tests/support/ComponentTree.h"

namespace {

class KwSubGroupTest : public testing::Test {
protected:
    // A component showing the character: '=' up to date, '!' not available, '*' requested for
    // install, ' ' not installed, 'X' requested for removal.
    boost::shared_ptr<KwCompNode> showing(char status)
    {
        const std::string name = "c" + std::to_string(count++);
        if (status == '=')
            return componentInMode(repository, build, name, KwComponent::UP2DATE);
        if (status == '!')
            return componentInMode(repository, build, name, KwComponent::ERROR);
        const boost::shared_ptr<KwComponent> component = componentInMode(repository, build, name, KwComponent::INSTALL);
        if (status == '*')
            component->requestInstall();
        if (status == 'X')
            component->requestRemove();
        return component;
    }

    boost::shared_ptr<KwSubGroup> sub(const std::vector<boost::shared_ptr<KwCompNode>>& children)
    {
        boost::shared_ptr<KwSubGroup> made(new KwSubGroup(build, "s" + std::to_string(count++), "Sub"));
        made->children = children;
        return made;
    }

    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    int count = 0;
};

TEST_F(KwSubGroupTest, StatusCharacterOfTheChildren)
{
    EXPECT_EQ(sub({})->getStatusChar(), ' ');
    EXPECT_TRUE(sub({})->isEmpty());
    EXPECT_EQ(sub({showing('*'), showing('*')})->getStatusChar(), '*');
    EXPECT_EQ(sub({showing('*'), showing('=')})->getStatusChar(), '.');
    EXPECT_EQ(sub({showing('X')})->getStatusChar(), 'X');
    EXPECT_EQ(sub({showing('!'), showing('!'), showing(' ')})->getStatusChar(), '.');
    EXPECT_EQ(sub({showing('='), sub({showing('='), showing('=')})})->getStatusChar(), '=');
    // A nested sub-group's '.' is a character like any other.
    const boost::shared_ptr<KwSubGroup> mixed = sub({showing('*'), showing('=')});
    EXPECT_EQ(sub({mixed, sub({showing('='), showing('!')})})->getStatusChar(), '.');
    EXPECT_FALSE(mixed->isEmpty());
    EXPECT_EQ(mixed->getProductId(), "zanth");

    // A radio group shows '*' as soon as one member will be installed.
    boost::shared_ptr<KwRadioGroup> radio(new KwRadioGroup(build, "r", "Radio"));
    radio->add(componentInMode(repository, build, "r0", KwComponent::INSTALL));
    radio->add(componentInMode(repository, build, "r1", KwComponent::UPGRADE));
    EXPECT_EQ(sub({radio, showing('*')})->getStatusChar(), '*');
    EXPECT_EQ(sub({radio, showing(' ')})->getStatusChar(), '.');
}

}  // namespace
