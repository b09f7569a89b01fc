#include "tests/support/ResolverFixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include <boost/regex.hpp>

#include "common/Log.h"
#include "common/Messages.h"

ResolverWorld::ResolverWorld(const std::vector<UniversePackage>& packages)
{
    loadUniverse(repository, packages);
}

const Package* ResolverWorld::get(const std::string& name, const std::string& version, Package::type_t type)
{
    const Package* p = findInRepository(repository, name, version, type);
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

int resolveLikeInstaller(Repository& repository, const cpkgs_t& installList, const Package* package,
                         cpkgs_t& result)
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
            Log::stream(3, true) << "In prepareInstallGroup: resolver failed, will try again now";
        }
    }
    error e(5, 1, 1, 3);
    e << Messages().get("err_prep_group");
    throw e;
}

DebugLog::DebugLog() : savedLevel(Log::fileLevel)
{
    Log::fileLevel = 3;
    Log::openFile(dir / "test.log", true);
}

DebugLog::~DebugLog()
{
    Log::fileLevel = savedLevel;
}

std::vector<std::string> DebugLog::lines() const
{
    static const boost::regex stamp("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}\\] ");
    std::istringstream in(readWholeFile(dir / "test.log"));
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(boost::regex_replace(line, stamp, ""));
    return result;
}

bool DebugLog::has(const std::string& line) const
{
    for (const std::string& l : lines())
        if (l == line)
            return true;
    return false;
}

std::vector<std::string> DebugLog::starting(const std::string& prefix) const
{
    std::vector<std::string> result;
    for (const std::string& l : lines())
        if (l.compare(0, prefix.size(), prefix) == 0)
            result.push_back(l);
    return result;
}
