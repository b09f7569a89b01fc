#ifndef KW_TESTS_SUPPORT_COMPONENTTREE_H
#define KW_TESTS_SUPPORT_COMPONENTTREE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>

#include "common/Repository.h"
#include "common/SourceSysDeb.h"
#include "installer/BuildInfFile.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "installer/Product.h"
#include "installer/SystemSpecificConfigurator.h"

class Package;
class Source;

// A product of that id and key packages, one release of it and one build of that release for the
// running system; the build holds the rest. The release's state is computed against the repository,
// as the catalogue does before any component is checked. The release may be installed over versions
// from upgrade_allowed_from on (empty: only over its own version).
boost::shared_ptr<Build> makeProductBuild(Repository& repository, const std::string& product_id = "zanth",
                                          const std::string& version = "1.0",
                                          const Product::keypackages_t& keypackages = {{"kitwright-test-absent"}},
                                          const std::string& upgrade_allowed_from = "");

// One key-package section.
BuildInfFile::keypackages_t keySection(const BuildInfFile::names_t& keypackages,
                                       const BuildInfFile::names_t& nokeypackages = {},
                                       const BuildInfFile::names_t& keyprovides = {});

// A component of the build, with its description "<name> component".
boost::shared_ptr<KwComponent> makeComponent(const boost::shared_ptr<Build>& build, const std::string& name,
                                             const std::vector<BuildInfFile::keypackages_t>& sections = {});

// A Debian package of a product repository (type 'b', architecture "all") in the repository, which
// keeps it.
Package* offerPackage(Repository& repository, const std::string& name, const std::string& version,
                      uint64_t build_time = 0, const Source* source = nullptr);

// An installed package (type 's') in the repository, which keeps it.
Package* addInstalledPackage(Repository& repository, const std::string& name, const std::string& version);

// A component brought into `mode` by checkInstalled over the repository, through its one key
// package "<product>-<name>-key<n>", of its own: installed with a newer candidate (UPGRADE) or without one
// (UP2DATE), not installed with a candidate (INSTALL) or without one (ERROR).
boost::shared_ptr<KwComponent> componentInMode(Repository& repository, const boost::shared_ptr<Build>& build,
                                               const std::string& name, KwComponent::install_mode_t mode);

// A radio group of the build with those members, in order.
boost::shared_ptr<KwRadioGroup> makeRadioGroup(const boost::shared_ptr<Build>& build, const std::string& name,
                                               const std::vector<boost::shared_ptr<KwComponent>>& members);
// A sub-group of the build with those children, in order.
boost::shared_ptr<KwSubGroup> makeSubGroup(const boost::shared_ptr<Build>& build, const std::string& name,
                                           const std::vector<boost::shared_ptr<KwCompNode>>& children);

// A node of no kind the forest knows.
class ForeignNode : public KwCompNode {
public:
    char getStatusChar() const override { return ' '; }
    std::string getDescription() const override { return ""; }
    std::string getProductId() const override { return ""; }
};

// The components' own requests, by full name.
typedef std::map<std::string, request_mode_t> requests_t;
requests_t requestsOf(const std::vector<boost::shared_ptr<KwComponent>>& components);

// A component manager for a forest of one product's build ("zanth") and the components of any
// build brought into their modes over one repository. Public: tables of cases build through it.
class ComponentForestTest : public testing::Test {
public:
    // Of the fixture's build unless another is given.
    boost::shared_ptr<KwComponent> component(const std::string& name,
                                             KwComponent::install_mode_t mode = KwComponent::INSTALL,
                                             const boost::shared_ptr<Build>& of = boost::shared_ptr<Build>());

    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    ComponentManager manager;
};

// The packages installed on this system, read through dpkg-query as the installer reads them. It
// records progress: make it in a child with private progress options.
struct SystemRepository {
    SystemRepository();
    SystemRepository(const SystemRepository&) = delete;
    SystemRepository& operator=(const SystemRepository&) = delete;

    Repository repository;
    SourceSysDeb source;
};

// A configured configurator that offers the packages of a list and counts what it is asked.
class ListConfigurator : public SystemSpecificConfigurator {
public:
    explicit ListConfigurator(const cpkgs_t& offered);

    void configureSources() override {}
    Installer* createInstaller(ComponentManager*) override { return nullptr; }

    std::vector<std::string> asked;  // the names, in the order asked

protected:
    const Package* doGetAvailablePackage(const std::string& name) override;
    void doConfigure() override {}
    void doRemoveTemporarySources() override {}

private:
    cpkgs_t offered;
};

#endif
