#include "tests/support/ResolverFixture.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"

UniversePackage pkg(const std::string& name, const std::string& version, Package::type_t type,
                    const std::vector<std::string>& requires, const std::vector<std::string>& provides,
                    const std::vector<std::string>& conflicts, const std::string& arch)
{
    UniversePackage p;
    p.name = name;
    p.version = version;
    p.type = type;
    p.arch = arch;
    p.requires = requires;
    p.provides = provides;
    p.conflicts = conflicts;
    return p;
}

ResolverWorld::ResolverWorld(const std::vector<UniversePackage>& packages)
{
    loadUniverse(repository, packages);
}

const Package* ResolverWorld::get(const std::string& name, const std::string& version, Package::type_t type,
                                  const std::string& arch)
{
    const Package* p = nullptr;
    for (const Package* candidate : repository.findByName(name))
        if (candidate->getVersion().toString() == version && candidate->getType() == type &&
            (arch.empty() || arch == candidate->getArch().c_str()))
            p = candidate;
    if (!p) {
        ADD_FAILURE() << "no package " << name << "-" << version << " ~" << type;
        throw std::runtime_error("missing test package");
    }
    return p;
}

PkgManager& ResolverWorld::resolver(const cpkgs_t& start, PkgManager::Options options)
{
    necessary = start;
    manager.reset(new PkgManager(&repository, &necessary, options));
    manager->osArch = "amd64";
    manager->addRequestedPackages(start);
    return *manager;
}

std::string ResolverWorld::result() const
{
    std::string text;
    for (const Package* p : necessary)
        text += (text.empty() ? "" : " ") + std::string(p->getName().c_str()) + "-" + p->getVersion().toString();
    return text;
}

int resolveLikeInstaller(Repository& repository, const cpkgs_t& installList, const Package* package, cpkgs_t& result)
{
    result.clear();
    PkgManager manager(&repository, &result, PkgManager::Options{PkgManager::RESOLVE_INSTALL, false, false});
    manager.level = 5;
    manager.osArch = "amd64";
    manager.addRequestedPackages(installList);
    for (int tries = 1; tries <= 100; ++tries) {
        result.clear();
        manager.resolvedDeps.clear();
        try {
            manager.findRequiredFor(package);
            return tries;
        } catch (const PkgManager::unhappy&) {
            Log::stream(Log::LEVEL_DEBUG, true) << "In prepareInstallGroup: resolver failed, will try again now";
        }
    }
    error e(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_NEED);
    e << Messages().get("err_prep_group");
    throw e;
}
