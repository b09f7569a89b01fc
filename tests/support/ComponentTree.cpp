#include "tests/support/ComponentTree.h"

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Opsys.h"
#include "common/Package.h"
#include "installer/Build.h"
#include "installer/KwComponent.h"
#include "installer/Product.h"
#include "installer/Release.h"

boost::shared_ptr<Build> makeProductBuild(Repository& repository, const std::string& product_id,
                                          const std::string& version, const Product::keypackages_t& keypackages,
                                          const std::string& upgrade_allowed_from)
{
    const boost::shared_ptr<Product> product(
        new Product(product_id, product_id, false, keypackages, {}, {}, "", "", "", "", {}));
    const boost::shared_ptr<Release> release(
        new Release(product, product_id + "-" + version, "", "", version,
                    upgrade_allowed_from.empty() ? version : upgrade_allowed_from));
    const Opsys system;
    const boost::shared_ptr<Build> build(new Build(release, system->name, system->vendor, system->version, system->arch,
                                                   "", "", product_id + ".inf3", ""));
    release->add_build(build);
    release->calculate_state(&repository);
    return build;
}

BuildInfFile::keypackages_t keySection(const BuildInfFile::names_t& keypackages,
                                       const BuildInfFile::names_t& nokeypackages,
                                       const BuildInfFile::names_t& keyprovides)
{
    BuildInfFile::keypackages_t section;
    section.keypackages = keypackages;
    section.nokeypackages = nokeypackages;
    section.keyprovides = keyprovides;
    return section;
}

boost::shared_ptr<KwComponent> makeComponent(const boost::shared_ptr<Build>& build, const std::string& name,
                                             const std::vector<BuildInfFile::keypackages_t>& sections)
{
    return boost::shared_ptr<KwComponent>(new KwComponent(build, name, name + " component", "", sections));
}

namespace {

Package* addPackage(Repository& repository, const std::string& name, const std::string& version, Package::type_t type,
                    const Source* source)
{
    Package* package = new DebPackage(name, version);
    package->setType(type);
    package->setArch("all");
    repository.addPackage(package, source);
    return package;
}

}  // namespace

Package* offerPackage(Repository& repository, const std::string& name, const std::string& version, uint64_t build_time,
                      const Source* source)
{
    Package* package = addPackage(repository, name, version, Package::TYPE_BUILD, source);
    package->setBuildTime(build_time);
    return package;
}

Package* addInstalledPackage(Repository& repository, const std::string& name, const std::string& version)
{
    return addPackage(repository, name, version, Package::TYPE_INSTALLED, nullptr);
}

boost::shared_ptr<KwComponent> componentInMode(Repository& repository, const boost::shared_ptr<Build>& build,
                                               const std::string& name, KwComponent::install_mode_t mode)
{
    // Numbered: components of one name may stand in different modes.
    static int made = 0;
    const std::string key = build->getParent()->prod()->id() + "-" + name + "-key" + std::to_string(++made);
    if (mode == KwComponent::UPGRADE || mode == KwComponent::UP2DATE)
        addInstalledPackage(repository, key, "1.0");
    if (mode == KwComponent::UPGRADE)
        offerPackage(repository, key, "2.0");
    if (mode == KwComponent::INSTALL)
        offerPackage(repository, key, "1.0");
    const boost::shared_ptr<KwComponent> component = makeComponent(build, name, {keySection({key})});
    component->checkInstalled(&repository, nullptr);
    EXPECT_EQ(component->getInstallMode(), mode) << name;
    return component;
}

requests_t requestsOf(const std::vector<boost::shared_ptr<KwComponent>>& components)
{
    requests_t requests;
    for (const boost::shared_ptr<KwComponent>& component : components)
        requests[component->getFullName()] = component->getRequest();
    return requests;
}

boost::shared_ptr<KwComponent> ComponentForestTest::component(const std::string& name, KwComponent::install_mode_t mode,
                                                              const boost::shared_ptr<Build>& of)
{
    return componentInMode(repository, of ? of : build, name, mode);
}

boost::shared_ptr<KwRadioGroup> makeRadioGroup(const boost::shared_ptr<Build>& build, const std::string& name,
                                               const std::vector<boost::shared_ptr<KwComponent>>& members)
{
    const boost::shared_ptr<KwRadioGroup> group(new KwRadioGroup(build, name, name + " group"));
    for (const boost::shared_ptr<KwComponent>& member : members)
        group->add(member);
    return group;
}

boost::shared_ptr<KwSubGroup> makeSubGroup(const boost::shared_ptr<Build>& build, const std::string& name,
                                           const std::vector<boost::shared_ptr<KwCompNode>>& children)
{
    const boost::shared_ptr<KwSubGroup> group(new KwSubGroup(build, name, name + " group"));
    group->children = children;
    return group;
}

SystemRepository::SystemRepository() : source(&repository)
{
    repository.getBriefPackagesInfo();
}

ListConfigurator::ListConfigurator(const cpkgs_t& offered_) : offered(offered_)
{
    configure();
}

const Package* ListConfigurator::doGetAvailablePackage(const std::string& name)
{
    asked.push_back(name);
    for (const Package* package : offered)
        if (name == package->getName().c_str())
            return package;
    return nullptr;
}
