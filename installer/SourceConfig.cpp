#include "installer/SourceConfig.h"

#include "common/Repository.h"

SourceConfig::SourceConfig(Repository* repository) : Source(repository) {}

bool SourceConfig::addPackage(Package* pkg)
{
    return repository->addPackage(pkg, this);
}

void SourceConfig::readSystemPackagesBrief() {}

void SourceConfig::readPackagesFull()
{
    dropPackages();
}

SourceConfigLazyAddon::SourceConfigLazyAddon(Repository* repository, const boost::weak_ptr<Build>& build_)
    : SourceConfig(repository), build(build_)
{
}
