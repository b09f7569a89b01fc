#include "common/Log.h"
#include "installer/ComponentManager.h"

// Until the selection's own package lists are read, the lists hold only the additional packages.

void ComponentManager::getBootstrapperPackagesToInstall(cpkgs_t&, Repository*) const
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "\nGetting bootstrapper packages to installation list:";
}

void ComponentManager::getPackagesToInstall(cpkgs_t& out, Repository*,
                                            checked_pointer<SystemSpecificConfigurator>) const
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Getting packages to installation list:";
    out.insert(out.end(), additionalPackages.begin(), additionalPackages.end());
    out.insert(out.end(), additionalPackagesForUpgrade.begin(), additionalPackagesForUpgrade.end());
}
