#include "installer/SourceConfig.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Repository.h"
#include "installer/Build.h"

namespace {

Package* declared(const std::string& name)
{
    Package* pkg = new DebPackage(name, "1.0-1");
    pkg->setType('b');
    return pkg;
}

std::vector<std::string> names(const Repository& repository)
{
    std::vector<std::string> list;
    for (const Package* pkg : repository.getPackages())
        list.push_back(pkg->getName().c_str());
    return list;
}

}  // namespace

TEST(SourceConfigTest, HoldsDeclaredPackagesUntilItsFullInformationIsLoaded)
{
    Repository repository;
    SourceConfig declaring(&repository);
    SourceConfig other(&repository);
    Package* core = declared("zanth-core");
    EXPECT_TRUE(declaring.addPackage(core));
    EXPECT_EQ(core->getSource(), &declaring);
    EXPECT_FALSE(declaring.addPackage(core));  // the same object is listed once
    EXPECT_TRUE(other.addPackage(declared("zanth-web")));

    // Nothing to read: the brief information leaves the list as the loader made it.
    declaring.loadBrief();
    EXPECT_EQ(names(repository), (std::vector<std::string>{"zanth-core", "zanth-web"}));

    // The full information takes this source's packages out, and only those.
    declaring.loadFull();
    EXPECT_EQ(names(repository), std::vector<std::string>{"zanth-web"});
    EXPECT_EQ(core->getType(), 'z');
}

TEST(SourceConfigTest, ALazyAddonSourceNamesItsBuildWhileTheBuildLives)
{
    Repository repository;
    auto build = boost::make_shared<Build>(boost::shared_ptr<Release>(), "Debian", "Debian", "12", "x86_64", "", "",
                                           "addon/deb12.inf3", "");
    SourceConfigLazyAddon source(&repository, build);
    EXPECT_EQ(source.getBuild().lock(), build);
    EXPECT_TRUE(source.addPackage(declared("zanth-addon")));

    build.reset();
    EXPECT_TRUE(source.getBuild().expired());
    EXPECT_EQ(names(repository), std::vector<std::string>{"zanth-addon"});
}
