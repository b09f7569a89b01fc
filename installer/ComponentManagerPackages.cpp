// The package lists that the installer backends hand to the system's package tool, and what the
// tool's answer means for the components.

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/RPMPackage.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/ProductsProgress.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_PROVIDER_NOT_INSTALLED = 763;

bool holdsName(const cpkgs_t& list, const PooledString& name)
{
    for (const Package* package : list)
        if (package->getName() == name)
            return true;
    return false;
}

// Both architectures name an x86 variant, and they differ.
bool changesX86Architecture(const Package& installed, const Package& candidate)
{
    const std::string from = installed.getArch().c_str();
    const std::string to = candidate.getArch().c_str();
    return dynamic_cast<const RPMPackage*>(&candidate) && !from.empty() && !to.empty() && from != to &&
           from[0] == 'i' && to[0] == 'i';
}

std::string ownerName(const comp_cptr_t& component)
{
    return component ? component->name : "<unknown>";
}

// Appends the package, logs why and tells the installation progress which release brings it.
void schedule(const Package* package, const comp_cptr_t& component, ProductsProgress* progress, cpkgs_t& out,
              const char* line)
{
    out.push_back(package);
    Log::stream(Log::LEVEL_DEBUG, true) << line << package->getFileName();
    if (progress && component)
        progress->add_product_package(component->getBuild()->getParent(), package->getName().c_str());
}

class BootstrapperPackagesToInstall : public ComponentManager::Visitor {
public:
    BootstrapperPackagesToInstall(cpkgs_t& out, Repository* repository, const ComponentManager& manager)
        : out(out), repository(repository), manager(manager)
    {
    }

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        if (!component->isToInstall())
            return;
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Get bootstrapper packages to installation from selected component " << component->name;
        ComponentManager::addPackagesToInstall(component, component->bootstrapper_packages, repository, out);

        const std::string product = component->getProductId();
        if (!products.insert(product).second)
            return;
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Get bootstrapper packages to installation from selected product with id " << product;
        // A build whose file was never read brings no build-level packages.
        const boost::shared_ptr<BuildInfFile>& file = component->getBuild()->getBuildFile();
        if (file)
            ComponentManager::addPackagesToInstall(
                manager.getBaseComponent(product),
                cpkgs_t(file->bootstrapper_packages.begin(), file->bootstrapper_packages.end()), repository, out);
    }

private:
    cpkgs_t& out;
    Repository* repository;
    const ComponentManager& manager;
    std::set<std::string> products;  // whose build-level packages are in the list already
};

class PackagesToInstall : public ComponentManager::Visitor {
public:
    PackagesToInstall(cpkgs_t& out, Repository* repository, checked_pointer<SystemSpecificConfigurator> configurator)
        : out(out), repository(repository), configurator(configurator)
    {
    }

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        if (component->isToInstall())
            addForInstall(component);
        else if (component->isToRemove())
            addForRemoval(component);
    }

    // Removers go in only for what is installed; the rest as packages without a component.
    void addAdditionalPackages(const cpkgs_t& list)
    {
        cpkgs_t removers;
        cpkgs_t rest;
        for (const Package* package : list)
            (isRemover(package) ? removers : rest).push_back(package);
        ComponentManager::addPackagesToInstall(comp_cptr_t(), rest, repository.get(), out);
        for (const Package* remover : removers)
            if (repository->getInstalledPackage(remover->getObsolete(0)->getName()))
                out.push_back(remover);
    }

private:
    void addForInstall(const boost::shared_ptr<KwComponent>& component)
    {
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Get packages for installation from selected component " << component->name;
        ComponentManager::addPackagesToInstall(component, component->packages, repository.get(), out);

        if (!component->rmpackages.empty()) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Get packages for removal from selected component " << component->name << " (via <rmpackages>)";
            for (const std::string& name : component->rmpackages) {
                if (!repository->getInstalledPackage(name))
                    continue;
                out.push_back(repository->addRemoverFor(name, ""));
                Log::stream(Log::LEVEL_DEBUG, true) << "  Scheduling the following package for remove: " << name;
            }
        }

        for (const BuildInfFile::keypackages_t& section : component->keypackages) {
            if (section.keyprovides.empty() || !component->checkKeypackageSection(repository.get(), section))
                continue;
            addKeyPackages(component, section.keypackages);
            addKeyPackages(component, installedProviders(section.keyprovides));
            return;
        }
        if (!component->keypackages.empty())
            addKeyPackages(component, component->keypackages.front().keypackages);
    }

    void addForRemoval(const boost::shared_ptr<KwComponent>& component)
    {
        Log::stream(Log::LEVEL_DEBUG, true) << "Get packages for removal from selected component " << component->name;
        if (const KwRadioGroup* group = component->getRadioGroup()) {
            const boost::shared_ptr<KwComponent> replacing = group->getSelectedOrDefault(nullptr);
            if (replacing->isToInstall()) {
                Log::stream(Log::LEVEL_DEBUG, true)
                    << "  Skip packages of component " << component->name << " as it is part of radio group "
                    << "and packages should be removed via package dependencies "
                    << "(of packages from component " << replacing->name << ")";
                return;
            }
        }
        for (const Package* package : component->packages) {
            const std::pair<std::string, std::string> target(package->getName().c_str(), package->getArch().c_str());
            if (holdsRemoverFor(out, target))
                continue;
            out.push_back(repository->addRemoverFor(target.first, target.second));
            Log::stream(Log::LEVEL_DEBUG, true) << "  Scheduling the following package for remove: " << target.first
                                                << (target.second.empty() ? "" : ":" + target.second);
        }
    }

    // The names of the installed packages that provide the capabilities.
    std::vector<std::string> installedProviders(const std::vector<std::string>& capabilities)
    {
        std::vector<std::string> names;
        for (const std::string& capability : capabilities) {
            const Package* provider = repository->findNewestProvider(capability);
            if (!provider)
                throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
                    << "Failed to add package to install list by key provide: no packages that provide '" << capability
                    << "' are installed.";
            if (provider->getType() != Package::TYPE_INSTALLED)
                throw internal_error(__FILE__, LINE_PROVIDER_NOT_INSTALLED);
            names.push_back(provider->getName().c_str());
        }
        return names;
    }

    void addKeyPackages(const boost::shared_ptr<KwComponent>& component, const std::vector<std::string>& names)
    {
        ProductsProgress* progress = ProductsProgress::instance();
        SystemSpecificConfigurator* offering = configurator.get();
        for (const std::string& name : names) {
            if (holdsName(out, name))
                continue;
            const Package* best = component->findBestCandidate(name, repository.get(), &offering, false);
            if (!best) {
                Log::stream(Log::LEVEL_INFO, true) << "Warning: key package " << name << " is not available";
                continue;
            }
            const Package* found =
                repository->findPackage(best->getName(), &best->getVersion(), best->getArch().c_str());
            const Package* candidate = found ? found : best;
            const Package* installed = repository->getInstalledPackage(candidate->getName());
            if (installed && candidate->getType() != Package::TYPE_BUILD) {
                Log::stream(Log::LEVEL_VERBOSE, true)
                    << "  skip keypackage '" << *candidate << "' from component " << component->name
                    << " - package is shipped by another vendor (in system " << *installed << ")";
            } else if (installed && !(installed->getVersion() < candidate->getVersion())) {
                Log::stream(Log::LEVEL_VERBOSE, true)
                    << "  skip keypackage '" << *candidate << "' from component " << component->name
                    << " - same or newer version of this package is already installed (in system " << *installed << ")";
            } else {
                schedule(candidate, component, progress, out, "  add package from keypackage to install list: ");
            }
        }
    }

    cpkgs_t& out;
    checked_pointer<Repository> repository;
    checked_pointer<SystemSpecificConfigurator> configurator;
};

// The package names of the components requested for install, and which other component ships each.
class NeedAlso : public ComponentManager::Visitor {
public:
    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        std::vector<std::string> names;
        for (const Package* package : component->packages)
            names.push_back(package->getName().c_str());
        for (const BuildInfFile::keypackages_t& section : component->keypackages)
            names.insert(names.end(), section.keypackages.begin(), section.keypackages.end());
        for (const std::string& name : names) {
            if (component->getRequest() == REQ_INSTALL)
                selected.insert(name);
            else
                shippedBy[name] = component->name;
        }
    }

    std::set<std::string> selected;
    std::map<std::string, std::string> shippedBy;  // the last component visited wins
};

// The key package names of the installed components that are meant to stay.
class NeedAlsoRemove : public ComponentManager::Visitor {
public:
    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        if (!component->isInstalled() || component->getRequest() == REQ_REMOVE)
            return;
        for (const BuildInfFile::keypackages_t& section : component->keypackages)
            for (const std::string& name : section.keypackages)
                keptBy[name] = component;
    }

    std::map<std::string, comp_cptr_t> keptBy;  // the last component visited wins
};

}  // namespace

void ComponentManager::addPackagesToInstall(comp_cptr_t component, const cpkgs_t& wanted, Repository* repository_,
                                            cpkgs_t& out)
{
    const checked_pointer<Repository> repository(repository_);
    ProductsProgress* progress = ProductsProgress::instance();
    for (const Package* want : wanted) {
        const Package* candidate =
            repository->findPackage(want->getName(), &want->getVersion(), want->getArch().c_str());
        if (!candidate) {
            Log::stream(Log::LEVEL_INFO, true)
                << "Package " << *want << " from inf3 file not found in build headers (hdr.gz) file.";
            throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
                << format_message(messages.get("err_misheaders"), ".inf3", ".hdr.gz");
        }
        if (holdsName(out, candidate->getName()))
            continue;
        if (const Package* installed = repository->getInstalledPackage(candidate->getName())) {
            if (!(installed->getVersion() < candidate->getVersion())) {
                Log::stream(Log::LEVEL_INFO, true)
                    << "  skip package '" << *candidate << "' from component " << ownerName(component)
                    << " - same or newer version of this package is already installed (in system " << *installed << ")";
                continue;
            }
            if (candidate->getType() != Package::TYPE_BUILD) {
                Log::stream(Log::LEVEL_INFO, true)
                    << "  skip package '" << *candidate << "' from component " << ownerName(component)
                    << " - package is shipped by another vendor (in system " << *installed << ")";
                continue;
            }
            if (changesX86Architecture(*installed, *candidate))
                Log::stream(Log::LEVEL_INFO, true)
                    << "Warning: The package architecture will be changed during upgrade: Trying to upgrade "
                    << *installed << " to " << *candidate;
        }
        schedule(candidate, component, progress, out, "  Scheduling the following package for installation: ");
    }
}

void ComponentManager::getBootstrapperPackagesToInstall(cpkgs_t& out, Repository* repository) const
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "\nGetting bootstrapper packages to installation list:";
    BootstrapperPackagesToInstall visitor(out, repository, *this);
    walk(visitor);
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "Following bootstrapper packages will be installed: " << packageListText(out);
    Log::stream(Log::LEVEL_VERBOSE, true) << " ---------------- ";
}

void ComponentManager::getPackagesToInstall(cpkgs_t& out, Repository* repository,
                                            checked_pointer<SystemSpecificConfigurator> configurator) const
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Getting packages to installation list:";
    PackagesToInstall visitor(out, repository, configurator);
    walk(visitor);
    visitor.addAdditionalPackages(additionalPackages);
    visitor.addAdditionalPackages(additionalPackagesForUpgrade);
    Log::stream(Log::LEVEL_VERBOSE, true) << "Following packages will be installed: " << packageListText(out);
    Log::stream(Log::LEVEL_VERBOSE, true) << " ----------------";
}

std::vector<std::string> ComponentManager::needAlsoInstall(const cpkgs_t& resolved) const
{
    NeedAlso visitor;
    walk(visitor);
    std::set<std::string> components;
    std::ostringstream line;
    line << "The following packages from not selected components will be installed because they are required by "
            "other components' packages you selected for installation: ";
    for (const Package* package : resolved) {
        const std::string name = package->getName().c_str();
        if (package->getType() != Package::TYPE_BUILD || visitor.selected.count(name))
            continue;
        const auto shipped = visitor.shippedBy.find(name);
        if (shipped == visitor.shippedBy.end())
            continue;
        components.insert(shipped->second);
        line << " '" << name << "'";
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << line.str();
    return std::vector<std::string>(components.begin(), components.end());
}

std::vector<comp_cptr_t> ComponentManager::needAlsoRemove(const cpkgs_t& resolved, Repository* repository_,
                                                          bool* denied) const
{
    const checked_pointer<Repository> repository(repository_);
    NeedAlsoRemove visitor;
    walk(visitor);
    std::set<comp_cptr_t> hits;
    std::set<comp_cptr_t> deniedHits;
    const auto hit = [&](const std::string& name) {
        const auto kept = visitor.keptBy.find(name);
        if (kept == visitor.keptBy.end())
            return;
        hits.insert(kept->second);
        if (kept->second->deny_implicit_removal)
            deniedHits.insert(kept->second);
    };
    for (const Package* package : resolved) {
        if (package->getType() != Package::TYPE_DUMMY)
            continue;
        for (const auto& obsoleted : repository->getObsoletedBy(package))
            hit(obsoleted.second->getName().c_str());
        for (uint32_t index = 0; boost::shared_ptr<Dependency> obsolete = package->getObsolete(index); ++index)
            hit(obsolete->getName());
    }

    const bool onlyDenied = denied && !deniedHits.empty();
    if (denied)
        *denied = onlyDenied;
    const std::set<comp_cptr_t>& chosen = onlyDenied ? deniedHits : hits;
    std::ostringstream line;
    line << "The following components should be removed due to packages dependencies: ";
    const char* separator = "";
    for (const comp_cptr_t& component : chosen) {
        line << separator << component->description << " (" << component->name << ")";
        separator = ", ";
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << line.str();
    return std::vector<comp_cptr_t>(chosen.begin(), chosen.end());
}
