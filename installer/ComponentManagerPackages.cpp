// The package lists that the installer backends hand to the system's package tool.

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
#include "installer/ProductsProgress.h"

namespace {

const Messages messages;

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

class BootstrapperPackages : public ComponentManager::Visitor {
public:
    BootstrapperPackages(cpkgs_t& out, Repository* repository) : out(out), repository(repository) {}

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        if (!component->isToInstall())
            return;
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Get bootstrapper packages to installation from selected component " << component->name;
        ComponentManager::addPackagesToInstall(component.get(), component->bootstrapper_packages, repository, out);
    }

private:
    cpkgs_t& out;
    Repository* repository;
};

class PackagesToInstall : public ComponentManager::Visitor {
public:
    PackagesToInstall(cpkgs_t& out, Repository* repository) : out(out), repository(repository) {}

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        if (component->isToInstall()) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Get packages for installation from selected component " << component->name;
            ComponentManager::addPackagesToInstall(component.get(), component->packages, repository.get(), out);
        } else if (component->isToRemove()) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Get packages for removal from selected component " << component->name;
            for (const Package* package : component->packages) {
                const std::pair<std::string, std::string> target(package->getName().c_str(),
                                                                 package->getArch().c_str());
                if (holdsRemoverFor(out, target))
                    continue;
                out.push_back(repository->addRemoverFor(target.first, target.second));
                Log::stream(Log::LEVEL_DEBUG, true) << "  Scheduling the following package for remove: " << target.first
                                                    << (target.second.empty() ? "" : ":" + target.second);
            }
        }
    }

private:
    cpkgs_t& out;
    checked_pointer<Repository> repository;
};

}  // namespace

void ComponentManager::addPackagesToInstall(const KwComponent* component, const cpkgs_t& wanted,
                                            Repository* repository_, cpkgs_t& out)
{
    const checked_pointer<Repository> repository(repository_);
    ProductsProgress* progress = ProductsProgress::instance();
    const std::string owner = component ? component->name : "<unknown>";
    for (const Package* want : wanted) {
        const Package* candidate = repository->findPackage(want->getName(), &want->getVersion(),
                                                           want->getArch().c_str());
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
                    << "  skip package '" << *candidate << "' from component " << owner
                    << " - same or newer version of this package is already installed (in system " << *installed << ")";
                continue;
            }
            if (candidate->getType() != Package::TYPE_BUILD) {
                Log::stream(Log::LEVEL_INFO, true)
                    << "  skip package '" << *candidate << "' from component " << owner
                    << " - package is shipped by another vendor (in system " << *installed << ")";
                continue;
            }
            if (changesX86Architecture(*installed, *candidate))
                Log::stream(Log::LEVEL_INFO, true)
                    << "Warning: The package architecture will be changed during upgrade: Trying to upgrade "
                    << *installed << " to " << *candidate;
        }
        out.push_back(candidate);
        Log::stream(Log::LEVEL_DEBUG, true)
            << "  Scheduling the following package for installation: " << candidate->getFileName();
        if (progress && component)
            progress->add_product_package(component->getBuild()->getParent(), candidate->getName().c_str());
    }
}

void ComponentManager::getBootstrapperPackagesToInstall(cpkgs_t& out, Repository* repository) const
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "\nGetting bootstrapper packages to installation list:";
    BootstrapperPackages visitor(out, repository);
    walk(visitor);
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "Following bootstrapper packages will be installed: " << packageListText(out);
    Log::stream(Log::LEVEL_VERBOSE, true) << " ---------------- ";
}

void ComponentManager::getPackagesToInstall(cpkgs_t& out, Repository* repository,
                                            checked_pointer<SystemSpecificConfigurator>) const
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Getting packages to installation list:";
    PackagesToInstall visitor(out, repository);
    walk(visitor);
    out.insert(out.end(), additionalPackages.begin(), additionalPackages.end());
    out.insert(out.end(), additionalPackagesForUpgrade.begin(), additionalPackagesForUpgrade.end());
    Log::stream(Log::LEVEL_VERBOSE, true) << "Following packages will be installed: " << packageListText(out);
    Log::stream(Log::LEVEL_VERBOSE, true) << " ----------------";
}
