#include "installer/PreparePackagesList.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ComponentTree.h"

namespace {

class PreparePackagesListTest : public ComponentForestTest {};

TEST_F(PreparePackagesListTest, CollectsEachSectionsNegativeThenPositiveKeyPackagesOfEveryComponentInWalkOrder)
{
    const boost::shared_ptr<KwComponent> web =
        makeComponent(build, "web", {keySection({"apache", "php"}, {"nginx"}), keySection({"lighttpd"})});
    const boost::shared_ptr<KwComponent> mail = makeComponent(build, "mail", {keySection({"postfix"})});
    const boost::shared_ptr<KwComponent> dns = makeComponent(build, "dns", {keySection({"bind"})});
    const boost::shared_ptr<KwComponent> none = makeComponent(build, "none");
    manager.roots = {web, makeRadioGroup(build, "mta", {mail}), makeSubGroup(build, "net", {dns, none})};

    ComponentManager::PreparePackagesList collector;
    manager.walk(collector);
    EXPECT_EQ(collector.getNames(),
              (std::vector<std::string>{"nginx", "apache", "php", "lighttpd", "postfix", "bind"}));
}

}  // namespace
