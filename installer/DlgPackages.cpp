#include "installer/DlgPackages.h"

#include "common/Repository.h"

DlgPackages::DlgPackages(const cpkgs_t* packages_, Repository* repository_)
    : packages(packages_), repository(repository_)
{
    for (const Package* package : *packages) {
        if (isRemover(package))
            ++toRemove;
        else if (repository->getInstalledPackage(package->getName()))
            ++toUpgrade;
        else if (package->getType() != Package::TYPE_DUMMY)
            ++toInstall;
    }
}
