#include "common/Source.h"

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Package.h"
#include "common/Progress.h"
#include "common/Repository.h"

namespace {
const Messages messages;
}

Source::Source(Repository* repository_) : repository(repository_), brief_loaded(false), full_loaded(false)
{
    repository->sources.insert(this);
}

Source::~Source()
{
    repository->sources.erase(this);
    dropPackages();
}

void Source::downloadPackage(Package*) {}

bool Source::isDownloadable() const
{
    return false;
}

std::ostream& Source::print(std::ostream& out) const
{
    return out << "Package_source_" << static_cast<const void*>(this);
}

void Source::loadBrief()
{
    if (brief_loaded)
        return;
    readSystemPackagesBrief();
    brief_loaded = true;
}

void Source::loadFull()
{
    if (!brief_loaded)
        loadBrief();
    if (full_loaded)
        return;
    readPackagesFull();
    full_loaded = true;
}

void Source::reloadBrief()
{
    dropPackages();
    readSystemPackagesBrief();
    brief_loaded = true;
    full_loaded = false;
}

void Source::dropPackages()
{
    for (Package* pkg : repository->getPackages())
        if (pkg->getSource() == this)
            pkg->setType(Package::TYPE_DROPPED);
    repository->purgeDroppedPackages();
}

void Source::logStep(const char* key)
{
    const std::string& title = messages.get(key);
    Progress().step(key, title);
    Log::stream(Log::LEVEL_ERROR, true) << title;
}

bool Source::readInstalledFromFile(FILE* file, int dups_mode)
{
    try {
        repository->addFromCache(file, Package::TYPE_INSTALLED, dups_mode, this);
    } catch (...) {
        fclose(file);
        throw;
    }
    return fclose(file) == 0;
}
