#include "common/PkgManager.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include <boost/make_shared.hpp>

#include "common/DependencyFile.h"
#include "common/DependencyLogical.h"
#include "common/FuncTrace.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/Repository.h"
#include "common/Source.h"
#include "common/format_message.h"

namespace {

const Messages messages;

// The source name that the resolver's internal errors report.
const char* const SOURCE_NAME = "common/PkgManager";

template <typename... Parts>
std::string text(const Parts&... parts)
{
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

// Equal name, version and architecture.
bool sameNameVersionArch(const Package* a, const Package* b)
{
    return a->getName() == b->getName() && a->getVersion() == b->getVersion() && a->getArch() == b->getArch();
}

bool contains(const cpkgs_t& list, const Package* p)
{
    return std::find(list.begin(), list.end(), p) != list.end();
}

// Raises the trial depth that marks the log lines for as long as a trial works.
class TrialDepth {
public:
    TrialDepth() { ++Log::depth; }
    ~TrialDepth() { --Log::depth; }
    TrialDepth(const TrialDepth&) = delete;
    TrialDepth& operator=(const TrialDepth&) = delete;
};

// The type priorities, highest first; 'r' has no source of its own.
const char* typeOrder(int mode)
{
    return mode == PkgManager::RESOLVE_RPMDEPS ? "brtus" : "sbrut";
}

// The decision line of a comparison by the named criterion.
int decided(int result, const char* criterion)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "      " << (result > 0 ? "select" : "reject")
                                        << " currBest by cmpPriority (" << criterion << ")";
    return result;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

bool downloadable(const Package* p)
{
    return p->getSource() && p->getSource()->isDownloadable();
}

// The first provide of p that is a named dependency with a version and satisfies the dependency.
boost::shared_ptr<Dependency> versionedProvideFor(const Package* p, const boost::shared_ptr<Dependency>& dependency)
{
    for (uint32_t i = 0; boost::shared_ptr<Dependency> provide = p->getProvide(i); ++i) {
        const DependencyLogical* logical = dynamic_cast<const DependencyLogical*>(provide.get());
        if (logical && logical->getVersion() && dependency->isSatisfiedBy(provide))
            return provide;
    }
    return boost::shared_ptr<Dependency>();
}

}  // namespace

PkgManager::gravity_t PkgManager::gravity;
std::set<std::string> PkgManager::preferredPackages;
std::set<std::string> PkgManager::conflictWarnings;
PkgManager::dependency_set_t PkgManager::obsoletesWarnings;
PkgManager::dependency_set_t PkgManager::hardwiredWarnings;

PkgManager::PkgManager(Repository* repository_, cpkgs_t* necessaryList_, Options options_)
    : repository(repository_), necessaryList(necessaryList_), options(options_), level(1), startList(*necessaryList_)
{
    // Requirements know their resolvers only once the repository has linked them to the current
    // package list; the link is made lazily, by the first query of the requirement index.
    repository->getRequirers(nullptr);
}

void PkgManager::addRequestedPackages(const cpkgs_t& list)
{
    requestedList.insert(requestedList.end(), list.begin(), list.end());
}

bool PkgManager::isRequested(const Package* p) const
{
    return contains(requestedList, p) || contains(startList, p);
}

bool PkgManager::inNecessary(const Package* p) const
{
    return contains(*necessaryList, p);
}

bool PkgManager::nameInNecessary(const PooledString& name) const
{
    for (const Package* item : *necessaryList)
        if (item->getName() == name)
            return true;
    return false;
}

void PkgManager::printList(int logLevel, const cpkgs_t& list) const
{
    for (const Package* p : list)
        Log::stream(logLevel, true) << " (" << p->getType() << ") " << p->getFileName();
}

// ---- the pass loop ----

void PkgManager::findNecessaryPackages(bool lastOnly)
{
    FuncTrace trace("findNecessaryPackages");
    if (necessaryList->empty()) {
        error e(E_INTERNAL, REP_UNSET, SYS_UNSET, SUPP_MAYBE);
        e << "start packages list for resolver is empty";
        throw e;
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "PkgManager: start resolving packages";
    const std::size_t passLimit = std::max<std::size_t>(repository->getPackages().size(), 3);
    const Package* predicted = nullptr;
    bool complete = false;
    for (std::size_t passCount = 0; passCount < passLimit && !complete; ++passCount) {
        Progress().checkInterrupted();
        Log::stream(Log::LEVEL_VERBOSE, true) << "findNecessaryPackages(): start pass " << passCount;
        std::size_t index = 0;
        if (passCount == 0 && lastOnly) {
            index = necessaryList->size() - 1;
            predicted = necessaryList->back();
        }
        try {
            for (;;) {
                for (; index < necessaryList->size(); ++index)
                    findRequiredFor((*necessaryList)[index]);
                resolveDefferedDependencies();
                if (index >= necessaryList->size() && deferredList.empty())
                    break;
            }
            complete = true;
        } catch (const unhappy&) {
            Log::stream(Log::LEVEL_INFO, true) << "Unhappy caught; try to resolve again.";
            *necessaryList = startList;
            if (predicted)
                addToNecessary(predicted, false);
            deferredList.clear();
            resolvedDeps.clear();
            if (predicted && isBlack(predicted)) {
                Log::stream(Log::LEVEL_VERBOSE, true) << "Can't find solution with predictionally for package "
                                                      << *predicted << ": it was added to blacklist";
                error e(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_NEED);
                e << messages.get("err_deps_nochance");
                throw e;
            }
        }
    }
    if (!complete) {
        Log::stream(Log::LEVEL_INFO, true) << "passCount is reached passLimit";
        error e(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_NEED);
        e << messages.get("err_bad_deps");
        throw e;
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "=== Package resolving sucessfuly ends ===";
    printList(Log::LEVEL_VERBOSE, *necessaryList);
}

void PkgManager::findRequiredFor(const Package* p)
{
    FuncTrace trace("findRequiredFor ", *p);
    if (options.mode == RESOLVE_INSTALL && p->getType() == 's')
        return;
    Log::stream(Log::LEVEL_VERBOSE, true) << "Find directly required packages for " << *p;
    for (uint32_t i = 0; boost::shared_ptr<Dependency> dependency = p->getRequire(i); ++i) {
        const bool indirect = indirectPackages.count(p) != 0;
        try {
            if (!selectBestResolvers(dependency, indirect, level, 0)) {
                if (level > 4)
                    blackListMasterAndThrowUnhappy(dependency);
                Log::stream(Log::LEVEL_DEBUG, true) << "Will try to resolve it later, put to deffered list";
                addDeferred(dependency, indirect);
            }
        } catch (const error&) {
            Log::stream(Log::LEVEL_INFO, true)
                << "Problem occured during searching directly resolved dependencies for '" << *dependency
                << "' of package " << *p << " ";
            throw;
        }
    }
    runIndirectRule(&PkgManager::findIndirectHardwiredDependencies, p,
                    "Problem occured during searching indirect dependencies for package ", "");
    runIndirectRule(&PkgManager::findIndirectObsoletesDependency, p,
                    "Problem occured during search indirect dependencies produced by obsolete tags for package ", "");
    runIndirectRule(&PkgManager::findIndirectConflictsDependency, p,
                    "Problem occured during searching conflicts for package ", " ");
    runIndirectRule(&PkgManager::findIndirectBackConflicts, p,
                    "Problem occured during searching reverse-conflicts for package ", "");
    runIndirectRule(&PkgManager::findIndirectArchDeps, p, "Problem occured during searching other arch for package ",
                    "");
}

void PkgManager::runIndirectRule(void (PkgManager::*rule)(const Package*), const Package* p, const char* prefix,
                                 const char* suffix)
{
    try {
        (this->*rule)(p);
    } catch (const error&) {
        Log::stream log(Log::LEVEL_INFO, true);
        log << prefix << *p;
        // The log marks an empty text written to it.
        if (*suffix)
            log << suffix;
        throw;
    }
}

// ---- the deferred list ----

void PkgManager::addDeferred(const boost::shared_ptr<Dependency>& dependency, bool indirect)
{
    for (const Deferred& entry : deferredList) {
        if (entry.dependency->isSameTarget(dependency)) {
            Log::stream(Log::LEVEL_DEBUG, true) << " is already in deffered list, skip";
            return;
        }
    }
    deferredList.push_back(Deferred{dependency, indirect});
}

void PkgManager::resolveDefferedDependencies()
{
    if (deferredList.empty())
        return;
    FuncTrace trace("resolveDefferedDependencies");
    Log::stream(Log::LEVEL_DEBUG, true) << "Resolve deffered dependencies.";
    for (int tryLevel = 1; tryLevel <= 5; ++tryLevel) {
        for (auto entry = deferredList.begin(); entry != deferredList.end(); ++entry) {
            if (selectBestResolvers(entry->dependency, entry->indirect, tryLevel, 0)) {
                deferredList.erase(entry);
                return;
            }
            if (tryLevel == 5)
                blackListMasterAndThrowUnhappy(entry->dependency);
        }
    }
}

// ---- statistics and trials ----

void PkgManager::getStatistics(Statistics& out) const
{
    out = Statistics();
    for (const Package* p : *necessaryList) {
        if (p->getType() == 's')
            continue;
        const bool installed = p->getType() != 'd' && repository->getInstalledPackage(p->getName());
        if (isRemover(p)) {
            ++out.removers;
        } else if (p->getType() == 'b') {
            ++(installed ? out.upgradeBuild : out.newBuild);
            out.sizeBuild += p->getSize();
        } else if (p->getType() == 'u') {
            ++(installed ? out.upgradeOs : out.newOs);
            out.sizeOs += p->getSize();
        }
    }
    out.toInstall = out.newBuild + out.newOs;
    out.toUpgrade = out.upgradeBuild + out.upgradeOs;
    out.toRemove = out.removers;
    out.totalSize = out.sizeBuild + out.sizeOs;
}

std::optional<error> PkgManager::runTrial(const cpkgs_t& start, const std::function<void(PkgManager&)>& work,
                                          Statistics& statistics)
{
    Repository trialRepository(*repository);
    cpkgs_t trialList(start);
    PkgManager trial(&trialRepository, &trialList, options);
    trial.blackList = blackList;
    trial.osArch = osArch;
    try {
        TrialDepth depth;
        work(trial);
    } catch (const error& e) {
        if (e.e_class != E_DEPENDENCIES)
            throw;
        return e;
    }
    trial.getStatistics(statistics);
    return std::nullopt;
}

// ---- other operations ----

void PkgManager::addGravity(const std::string& dependency, const std::string& name)
{
    if (name.empty())
        Log::stream(Log::LEVEL_VERBOSE, true) << "add gravity '" << dependency << "' to all resolvers";
    else
        Log::stream(Log::LEVEL_VERBOSE, true) << "add gravity " << dependency << " => '" << name << "'";
    boost::shared_ptr<Dependency> key;
    if (!dependency.empty() && dependency[0] == '/')
        key.reset(new DependencyFile(dependency, 0, "", nullptr));
    else
        key.reset(new DependencyLogical(dependency, nullptr));
    gravity[key] = name;
}

bool PkgManager::hasProvider(const std::string& name) const
{
    boost::shared_ptr<Dependency> wanted(new DependencyLogical(name, nullptr));
    return !repository->findProviders(wanted).empty();
}

cpkgs_t PkgManager::getIndirectPackages() const
{
    return cpkgs_t(indirectPackages.begin(), indirectPackages.end());
}

// ---- the tournament ----

bool PkgManager::selectBestResolvers(const boost::shared_ptr<Dependency>& dependency, bool indirect, int tryLevel,
                                     int flags)
{
    const std::string dependencyText = text(*dependency);
    FuncTrace trace("selectBestResolvers: resolve '", dependencyText, "'");
    if (options.mode == RESOLVE_RPMDEPS && Dependency::isArtificial(dependencyText)) {
        Log::stream(Log::LEVEL_DEBUG, true)
            << "selectBestResolvers: resolve '" << dependencyText << "': artifical, skipped.";
        return true;
    }
    if (!(flags & 1) && resolvedDeps.count(dependency)) {
        Log::stream(Log::LEVEL_DEBUG, true)
            << "selectBestResolvers: resolve '" << dependencyText << "': is already resolved, skipped.";
        return true;
    }
    const Package* owner = dependency->getOwner();
    Log::stream(Log::LEVEL_DEBUG, true) << "selectBestResolvers: resolve '" << dependencyText << "' from "
                                        << owner->getFileName() << " ~" << owner->getType() << " on level " << tryLevel
                                        << ":";

    cpkgs_t candidates;
    int considered = 0;
    for (uint32_t i = 0; boost::shared_ptr<Dependency> best = dependency->getResolver(i); ++i) {
        const Package* currBest = best->getOwner();
        if (isBlack(currBest)) {
            Log::stream(Log::LEVEL_DEBUG, true) << " skip.";
            continue;
        }
        ++considered;
        Log::stream(Log::LEVEL_DEBUG, true)
            << "  currBest: " << *currBest << " ~" << currBest->getType() << " (provides '" << *best << "')";
        bool tie = false;
        for (uint32_t j = 0;; ++j) {
            boost::shared_ptr<Dependency> test = dependency->getResolver(j);
            if (!test) {
                if (tie) {
                    Log::stream(Log::LEVEL_DEBUG, true) << "selectBestResolvers: can't resolve '" << dependencyText
                                                        << "' on this level (" << tryLevel << ")";
                    return false;
                }
                Log::stream(Log::LEVEL_DEBUG, true)
                    << "  package " << *currBest << " is scheduled for addition to necessaryList";
                candidates.push_back(currBest);
                break;
            }
            const Package* currTest = test->getOwner();
            if (currTest == currBest)
                continue;
            if (isBlack(currTest)) {
                Log::stream(Log::LEVEL_DEBUG, true) << " skip.";
                continue;
            }
            Log::stream(Log::LEVEL_DEBUG, true)
                << "    currTest: " << *currTest << " ~" << currTest->getType() << " (provides '" << *test << "')";
            if (currTest->getName() == currBest->getName()) {
                const int r = cmpPriority(currBest, currTest);
                if (r > 0)
                    continue;
                if (r < 0)
                    break;
                if (i < j) {
                    Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest by index.";
                    continue;
                }
                Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest by index.";
                break;
            }
            auto entry = gravity.find(dependency);
            if (entry != gravity.end()) {
                if (entry->second.empty()) {
                    Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest by 'resolve to all' gravity";
                    continue;
                }
                if (entry->second == currBest->getName().c_str()) {
                    Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest by gravity.";
                    continue;
                }
                Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest by gravity.";
                Log::stream(Log::LEVEL_DEBUG, true)
                    << "      solution='" << entry->second << "', currBest name '" << currBest->getName() << "'";
                break;
            }
            const int r = smartGravity(dependency, currBest, currTest, tryLevel);
            if (r > 0) {
                Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest by smartGravity().";
                continue;
            }
            if (r < 0) {
                Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest by smartGravity().";
                break;
            }
            Log::stream(Log::LEVEL_DEBUG, true) << "      packages are equal on this level";
            tie = true;
        }
    }

    if (candidates.empty()) {
        if (Dependency::isArtificial(dependencyText))
            return true;
        if (considered == 0)
            blackListMasterAndThrowUnhappy(dependency);
        return false;
    }
    resolvedDeps.insert(dependency);
    for (const Package* candidate : candidates) {
        if (!indirect)
            indirectPackages.erase(candidate);
        try {
            appendNecessaryPackage(candidate, indirect);
        } catch (const error&) {
            Log::stream(Log::LEVEL_INFO, true)
                << "Could not add package " << *candidate << "to the list of required packages.";
            throw;
        }
    }
    return true;
}

// ---- appending ----

bool PkgManager::resolvedToAllForBoth(const Package* a, const Package* b) const
{
    for (const auto& entry : gravity)
        if (entry.second.empty() && a->satisfies(entry.first.get()) && b->satisfies(entry.first.get()))
            return true;
    return false;
}

bool PkgManager::appendNecessaryPackage(const Package* p, bool indirect)
{
    FuncTrace trace("appendNecessaryPackage: ", *p, " ~", p->getType());
    if (options.mode == RESOLVE_RPMDEPS && p->getType() == 'b') {
        Log::stream(Log::LEVEL_VERBOSE, true)
            << " is build package, skip (TODO: intercomponent dependency tracking here).";
        return true;
    }
    // Most packages have no conflicts at all: spare them the pairwise test.
    const bool mayConflict = !repository->getConflicts(p).empty() || !repository->getBackConflicts(p).empty();
    // Black-listing below may return (its victim was black already): the list is read afresh.
    for (std::size_t k = 0; k < necessaryList->size(); ++k) {
        const Package* item = (*necessaryList)[k];
        if (item == p) {
            Log::stream(Log::LEVEL_DEBUG, true) << " is already in list, skip.";
            return false;
        }
        if (item->getName() == p->getName()) {
            if (item->getVersion() == p->getVersion()) {
                if (item->getArch() != p->getArch())
                    continue;
                Log::stream(Log::LEVEL_DEBUG, true) << " skipped, same name-ver-arch is already in list.";
                if (!indirect)
                    indirectPackages.erase(item);
                return false;
            }
            boost::shared_ptr<Reason> reason = boost::make_shared<ReasonClash>(p, item);
            Log::stream(Log::LEVEL_VERBOSE, true) << " - there is another package '" << *item << "'"
                                                  << " with same name in necessaryList";
            const bool pLower = p->getVersion() < item->getVersion();
            const bool pHigher = p->getVersion() > item->getVersion();
            const Package* victim = options.mode == RESOLVE_INSTALL ? (pLower ? p : item) : (pHigher ? p : item);
            appendBlackPackage(victim, reason);
            continue;
        }
        if (!mayConflict || (!repository->conflicts(p, item) && !repository->conflicts(item, p)))
            continue;
        try {
            Log::stream(Log::LEVEL_VERBOSE, true)
                << " - conflicts with " << *item << " which is already in necessaryList";
            boost::shared_ptr<Reason> reason = boost::make_shared<ReasonClash>(item, p);
            if (options.mode == RESOLVE_INSTALL) {
                const int choice = selectBlackPackage(item, p, reason);
                if (choice == 2) {
                    Log::stream(Log::LEVEL_INFO, true)
                        << "Can't select which of conflicting packages add to blacklist: " << *item << " or " << *p
                        << ": adding them both.";
                    appendBlackPackage(item, reason);
                    appendBlackPackage(p, reason);
                } else {
                    const Package* victim = choice == 0 ? item : p;
                    Log::stream(Log::LEVEL_VERBOSE, true)
                        << "appendNecessaryPackage(): add to black list " << *victim << " by selectBlackPackage().";
                    appendBlackPackage(victim, reason);
                }
            } else if (resolvedToAllForBoth(item, p)) {
                Log::stream(Log::LEVEL_VERBOSE, true) << "appendNecessaryPackage(): call removeModeSolution() "
                                                      << " to both: " << *p << " and " << *item << ".";
                removeModeSolution(p);
                removeModeSolution(item);
            } else {
                Log::stream(Log::LEVEL_VERBOSE, true)
                    << "appendNecessaryPackage(): add to black list " << *p << " by selectBlackPackage().";
                appendBlackPackage(p, reason);
            }
        } catch (const error&) {
            Log::stream(Log::LEVEL_INFO, true)
                << "Unable to install both " << *item << " and " << *p << " because they conflict with each other.";
            throw;
        }
    }
    Log::stream(Log::LEVEL_DEBUG, true) << " added.";
    addToNecessary(p, indirect);
    return true;
}

bool PkgManager::twinInNecessary(const Package* p) const
{
    for (const Package* item : *necessaryList)
        if (sameNameVersionArch(item, p))
            return true;
    return false;
}

void PkgManager::addToNecessary(const Package* p, bool indirect)
{
    if (twinInNecessary(p))
        return;
    necessaryList->push_back(p);
    if (indirect)
        indirectPackages.insert(p);
}

// ---- choice rules ----

std::string PkgManager::getOsArch() const
{
    if (osArch.empty()) {
        error e(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED);
        e << "os_arch is not defined in packages resolver";
        throw e;
    }
    return osArch == "i386" ? std::string("i686") : osArch;
}

int PkgManager::cmpArchPriority(const Package* a, const Package* b) const
{
    const std::string archA = a->getArch().c_str();
    const std::string archB = b->getArch().c_str();
    if (archA == archB)
        return 0;
    const std::string server = getOsArch();
    if (archA == server)
        return 1;
    if (archB == server)
        return -1;
    if (server == "powerpc")
        return 0;
    if (!archA.empty() && !archB.empty() && archA[0] == 'i' && archB[0] == 'i')
        return sign(archA.compare(archB));
    return 0;
}

int PkgManager::cmpDirPriority(const Package* a, const Package* b) const
{
    if (a->getType() == 'd')
        throw internal_error(SOURCE_NAME, 2357);
    if (b->getType() == 'd')
        throw internal_error(SOURCE_NAME, 2358);
    if (a->getType() == 'z')
        throw internal_error(SOURCE_NAME, 2360);
    if (b->getType() == 'z')
        throw internal_error(SOURCE_NAME, 2361);
    if (a->getType() == b->getType())
        return 0;
    for (const char* type = typeOrder(options.mode); *type; ++type) {
        if (a->getType() == *type)
            return 1;
        if (b->getType() == *type)
            return -1;
    }
    return 0;
}

int PkgManager::cmpPriority(const Package* currBest, const Package* currTest) const
{
    const int version = currBest->getVersion().compare(currTest->getVersion());
    const bool bestRequested = isRequested(currBest);
    const bool testRequested = isRequested(currTest);
    if (bestRequested && !testRequested) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest by cmpPriority (requested)";
        return 1;
    }
    if (testRequested && !bestRequested) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest by cmpPriority (requested)";
        return -1;
    }
    if (bestRequested && version != 0)
        return decided(version, "requested version");
    if ((currBest->getType() == 'b' || currTest->getType() == 'b') && version != 0)
        return decided(version, "requested version");

    if (options.mode == RESOLVE_RPMDEPS) {
        if (version != 0)
            return decided(version, "rpmdeps version");
        if (currBest->getArch() != currTest->getArch())
            return 1;
        if (const int dir = cmpDirPriority(currBest, currTest))
            return decided(dir, "rpmdeps dir priority");
    } else if (options.versionFirst) {
        if (version != 0)
            return decided(version, "version (1)");
        if (const int arch = cmpArchPriority(currBest, currTest))
            return decided(arch, "arch priority (2)");
        if (const int dir = cmpDirPriority(currBest, currTest))
            return decided(dir, "dir priority (3)");
    } else {
        if (const int dir = cmpDirPriority(currBest, currTest))
            return decided(dir, "dir priority (1)");
        if (version != 0)
            return decided(version, "version (2)");
        if (const int arch = cmpArchPriority(currBest, currTest))
            return decided(arch, "arch priority (3)");
    }

    const bool bestDownloadable = downloadable(currBest);
    const bool testDownloadable = downloadable(currTest);
    if (bestDownloadable && !testDownloadable) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest by cmpPriority (source downloadable)";
        return 1;
    }
    if (testDownloadable && !bestDownloadable) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      select currTest by cmpPriority (source downloadable)";
        return -1;
    }
    return 0;
}

bool PkgManager::isObsoletedInNecessary(const Package* p) const
{
    return holdsRemoverFor(*necessaryList, std::make_pair(std::string(p->getName().c_str()), std::string()));
}

int PkgManager::smartGravity(const boost::shared_ptr<Dependency>& dependency, const Package* currBest,
                             const Package* currTest, int tryLevel)
{
    const bool bestNecessary = nameInNecessary(currBest->getName());
    const bool testNecessary = nameInNecessary(currTest->getName());
    if (bestNecessary && !testNecessary) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: it is already in necessaryList.";
        return 1;
    }
    if (testNecessary && !bestNecessary) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest: currTest is already in necessaryList.";
        return -1;
    }

    if (options.mode == RESOLVE_RPMDEPS) {
        Log::stream(Log::LEVEL_ERROR, true)
            << "Warning: concurrent dependency '" << *dependency << "' from " << *dependency->getOwner()
            << " without gravity.\nAdd gravity 'to all' and try to continue resolving.";
        gravity[dependency] = "";
        std::set<std::string> names;
        for (uint32_t i = 0; boost::shared_ptr<Dependency> resolver = dependency->getResolver(i); ++i)
            names.insert(resolver->getOwner()->getName().c_str());
        Log::stream solutions(Log::LEVEL_ERROR, true);
        solutions << "The possible solutions are:";
        for (const std::string& name : names)
            solutions << " '" << name << "'";
        return 1;
    }

    if (tryLevel == 2) {
        const bool bestInstalled = repository->getInstalledPackage(currBest->getName()) != nullptr;
        const bool testInstalled = repository->getInstalledPackage(currTest->getName()) != nullptr;
        const bool bestObsoleted = isObsoletedInNecessary(currBest);
        const bool testObsoleted = isObsoletedInNecessary(currTest);
        if (bestInstalled && !testInstalled) {
            if (bestObsoleted) {
                Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest: currBest is obsoleted and installed.";
                return -1;
            }
            Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: it has some version already installed.";
            return 1;
        }
        if (testInstalled && !bestInstalled) {
            if (testObsoleted) {
                Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: currTest is obsoleted and installed.";
                return 1;
            }
            Log::stream(Log::LEVEL_DEBUG, true)
                << "      reject currBest: currTest has some version already installed.";
            return -1;
        }
        if (testInstalled && testObsoleted) {
            Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: currTest is obsoleted and installed.";
            return 1;
        }
        if (bestInstalled && bestObsoleted) {
            Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest: currBest is obsoleted and installed.";
            return -1;
        }
        const bool bestConflicts = conflictsWithSystemOrNecessary(currBest);
        const bool testConflicts = conflictsWithSystemOrNecessary(currTest);
        if (testConflicts && !bestConflicts) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "      select currBest: currTest conflicts with system or necessary package.";
            return 1;
        }
        if (bestConflicts && !testConflicts) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "      reject currBest: currBest conflicts with system or necessary package.";
            return -1;
        }
        const int bestMissing = countUnsatisfiedRequires(currBest);
        const int testMissing = countUnsatisfiedRequires(currTest);
        if (bestMissing == 0 && testMissing != 0) {
            Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: we can install it without any packages.";
            return 1;
        }
        if (testMissing == 0 && bestMissing != 0) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "      reject currBest: we can install currTest without any packages.";
            return -1;
        }
        return 0;
    }

    if (tryLevel == 3) {
        const bool bestPreferred = preferredPackages.count(currBest->getName().c_str()) != 0;
        const bool testPreferred = preferredPackages.count(currTest->getName().c_str()) != 0;
        if (bestPreferred && !testPreferred) {
            Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: it is a preferred package.";
            return 1;
        }
        if (testPreferred && !bestPreferred) {
            Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest: currTest is a preferred package.";
            return -1;
        }
        return 0;
    }

    if (tryLevel == 4)
        return branchCompare(currBest, currTest);

    if (tryLevel >= 5) {
        if (dynamic_cast<const DependencyLogical*>(dependency.get())) {
            const boost::shared_ptr<Dependency> bestProvide = versionedProvideFor(currBest, dependency);
            const boost::shared_ptr<Dependency> testProvide = versionedProvideFor(currTest, dependency);
            int r = 0;
            if (bestProvide && testProvide) {
                const Version* bestVersion = static_cast<const DependencyLogical*>(bestProvide.get())->getVersion();
                const Version* testVersion = static_cast<const DependencyLogical*>(testProvide.get())->getVersion();
                r = sign(bestVersion->compare(*testVersion));
            } else if (bestProvide || testProvide) {
                r = bestProvide ? 1 : -1;
            }
            if (r > 0) {
                Log::stream(Log::LEVEL_DEBUG, true)
                    << "      select currBest: satisfying logical provide has higher version.";
                return 1;
            }
            if (r < 0) {
                Log::stream(Log::LEVEL_DEBUG, true)
                    << "      reject currBest: satisfying logical provide of currTest has higher version.";
                return -1;
            }
        }
        uint32_t i = 0;
        while (currBest->getRequire(i) && currTest->getRequire(i))
            ++i;
        if (currBest->getRequire(i)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest: currTest has less dependencies.";
            return -1;
        }
        if (currTest->getRequire(i)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: currTest has more dependencies.";
            return 1;
        }
    }
    return 0;
}

std::optional<error> PkgManager::runBranch(const Package* candidate, Statistics& statistics)
{
    // A candidate that the list holds already (or its twin) adds nothing to resolve. Appending it
    // again would only expand it once more in a trial that meets the same choice, and so on
    // without end.
    if (twinInNecessary(candidate)) {
        getStatistics(statistics);
        return std::nullopt;
    }
    cpkgs_t branch(*necessaryList);
    branch.push_back(candidate);
    return runTrial(
        branch, [](PkgManager& trial) { trial.findNecessaryPackages(true); }, statistics);
}

int PkgManager::branchCompare(const Package* currBest, const Package* currTest)
{
    Statistics a;
    if (runBranch(currBest, a)) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest by resolving of branch error.";
        return -1;
    }
    Statistics b;
    if (runBranch(currTest, b)) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest by resolving of currTest branch error.";
        return 1;
    }
    if (a.removers < b.removers) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: less packages to remove.";
        return 1;
    }
    if (a.removers > b.removers) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest: more packages to remove.";
        return -1;
    }
    if (a.newOs < b.newOs) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      select currBest: less packages to install.";
        return 1;
    }
    if (a.newOs > b.newOs) {
        Log::stream(Log::LEVEL_DEBUG, true) << "      reject currBest: more packages to install.";
        return -1;
    }
    return 0;
}

bool PkgManager::conflictsWithSystemOrNecessary(const Package* p) const
{
    // The conflict index holds only packages of the list: walk p's relations, not the list.
    for (const Repository::relation_range_t& relations : {repository->getConflicts(p), repository->getBackConflicts(p)})
        for (const auto& relation : relations)
            if (relation.second->getType() == 's' || inNecessary(relation.second))
                return true;
    return false;
}

int PkgManager::countUnsatisfiedRequires(const Package* p) const
{
    int count = 0;
    for (uint32_t i = 0; boost::shared_ptr<Dependency> requirement = p->getRequire(i); ++i) {
        bool met = false;
        for (uint32_t j = 0; boost::shared_ptr<Dependency> resolver = requirement->getResolver(j); ++j) {
            const Package* owner = resolver->getOwner();
            // Resolvers are linked from the package list only.
            if (inNecessary(owner) || owner->getType() == 's') {
                met = true;
                break;
            }
        }
        if (!met)
            ++count;
    }
    return count;
}

bool PkgManager::isArchCompatible(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    const auto isX86 = [](const std::string& arch) {
        return arch.size() == 4 && arch[0] == 'i' && arch.compare(2, 2, "86") == 0;
    };
    return isX86(a) && isX86(b);
}

// ---- black list ----

bool PkgManager::isBlack(const Package* p, bool quiet) const
{
    if (blackList.count(p)) {
        if (!quiet)
            Log::stream(Log::LEVEL_DEBUG, true) << " [black blacklisted] " << *p;
        return true;
    }
    if (p->getType() == 'z') {
        if (!quiet)
            Log::stream(Log::LEVEL_DEBUG, true) << " [black REMOVED] " << *p;
        return true;
    }
    if (repository->unresolved.count(p))
        Log::stream(Log::LEVEL_DEBUG, true) << " [error: non black but unresolved] " << *p;
    return false;
}

const Package* PkgManager::findNewerNonBlackPackage(const Package* p) const
{
    Log::stream(Log::LEVEL_DEBUG, true) << "findNewerNonBlackPackage: for " << *p;
    const Package* newest = p;
    for (const Package* candidate : repository->findByName(p->getName()))
        if (!isBlack(candidate) && candidate->getVersion() > newest->getVersion())
            newest = candidate;
    return newest == p ? nullptr : newest;
}

void PkgManager::addBlackPackage(const Package* p, const boost::shared_ptr<Reason>& reason)
{
    FuncTrace trace("addBlackPackage ", *p);
    if (isBlack(p)) {
        Log::stream(Log::LEVEL_DEBUG, true) << "already in blacklisted, skip";
        return;
    }
    blackList[p] = reason;
    Log::stream(Log::LEVEL_DEBUG, true) << "addBlackPackage: " << p->getFileName() << " ("
                                        << static_cast<const void*>(p) << ")";
    if (!isRequested(p))
        return;
    if (!reason)
        throw KW_INTERNAL_ERROR();
    Log::stream(Log::LEVEL_INFO, true) << "The requested package \"" << p->getName()
                                       << "\" could not be installed: " << *reason;
    if (const ReasonClash* clash = dynamic_cast<const ReasonClash*>(reason.get())) {
        if (clash->second == p)
            throw internal_error(SOURCE_NAME, 2835);
        if (clash->second->getName() == p->getName() && clash->second->getVersion() > p->getVersion()) {
            Log::stream(Log::LEVEL_INFO, true)
                << "Allow to replace build package" << *p << "\n  with newer package " << *clash->second;
            return;
        }
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "    ---- start dependency problems explanation -----";
    package_set_t visited;
    explainProblem(p, visited);
    Log::stream(Log::LEVEL_VERBOSE, true) << "    ---- end dependency problems explanation -----";
    error e(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_NEED);
    e << format_message(messages.get("err_deps_resolve_build"), *p);
    throw e;
}

void PkgManager::appendBlackPackage(const Package* p, const boost::shared_ptr<Reason>& reason)
{
    FuncTrace trace("appendBlackPackage ", *p);
    if (isBlack(p, true)) {
        Log::stream(Log::LEVEL_DEBUG, true)
            << " DEBUG: something wrong happened. " << *p << " is already in black list!";
        return;
    }
    black_list_t newBlacks;
    blackSamePackages(newBlacks, p, reason);
    for (const auto& entry : newBlacks)
        if (entry.first != p)
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Black list package " << *entry.first << " too (same name,ver,arch)";

    while (!newBlacks.empty()) {
        const Package* d = newBlacks.begin()->first;
        const boost::shared_ptr<Reason> dReason = newBlacks.begin()->second;
        Log::stream(Log::LEVEL_VERBOSE, true) << "Migrating " << *d << " to blacklist ";
        addBlackPackage(d, dReason);
        newBlacks.erase(newBlacks.begin());

        // Whoever needs d and has no other way to meet that need follows it.
        for (const auto& relation : repository->getRequirers(d)) {
            const Package* h = relation.second;
            for (uint32_t i = 0; boost::shared_ptr<Dependency> requirement = h->getRequire(i); ++i) {
                if (!d->satisfies(requirement.get()))
                    continue;
                bool met = false;
                for (uint32_t j = 0; boost::shared_ptr<Dependency> resolver = requirement->getResolver(j); ++j) {
                    const Package* owner = resolver->getOwner();
                    if (isBlack(owner, true) || sameNameVersionArch(owner, d))
                        continue;
                    met = true;
                    break;
                }
                if (met || isBlack(h, true))
                    continue;
                newBlacks[h] = boost::make_shared<ReasonUnresolved>(requirement);
                Log::stream(Log::LEVEL_VERBOSE, true) << "Add package " << *h << " to black list"
                                                      << " because its dependency '" << *requirement
                                                      << "' resolved only by black-listed package " << *d << ".";
            }
        }
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "appendBlackPackage: throw unhappy exception";
    printList(Log::LEVEL_DEBUG, *necessaryList);
    throw unhappy();
}

void PkgManager::blackSamePackages(black_list_t& newBlacks, const Package* p,
                                   const boost::shared_ptr<Reason>& reason) const
{
    FuncTrace trace("blackSamePackages for ", *p);
    {
        Log::stream log(Log::LEVEL_DEBUG, true);
        log << "DEBUG: blackSamePackages " << *p << " because \"";
        if (reason)
            log << *reason;
        log << "\"";
    }
    for (const Package* t : repository->findByName(p->getName())) {
        if (!(t->getVersion() == p->getVersion()) || t->getArch() != p->getArch())
            continue;
        if (newBlacks.count(t)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "it is already in newBlacks list, skipping.";
        } else if (isBlack(t)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "it is already in blackList, skipping.";
        } else if (const ReasonUnresolved* unresolved = dynamic_cast<const ReasonUnresolved*>(reason.get())) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Debug: PkgManager::blackSamePackages: find " << *unresolved->dependency << " in " << *t;
            boost::shared_ptr<Dependency> own;
            for (uint32_t i = 0; boost::shared_ptr<Dependency> requirement = t->getRequire(i); ++i) {
                if (requirement->equals(unresolved->dependency)) {
                    own = requirement;
                    break;
                }
            }
            if (own)
                newBlacks[t] = boost::make_shared<ReasonUnresolved>(own);
            else
                Log::stream(Log::LEVEL_DEBUG, true) << "Debug: package " << *t << " not black listed!";
        } else if (const ReasonClash* clash = dynamic_cast<const ReasonClash*>(reason.get())) {
            const Package* other = clash->first == p ? clash->second : clash->first;
            newBlacks[t] = boost::make_shared<ReasonClash>(t, other);
        } else if (dynamic_cast<const ReasonReport*>(reason.get())) {
            newBlacks[t] = reason;
        } else {
            Log::stream(Log::LEVEL_VERBOSE, true) << "DEBUG: reason is undefined type";
        }
    }
}

void PkgManager::blackListMasterAndThrowUnhappy(const boost::shared_ptr<Dependency>& dependency)
{
    FuncTrace trace("blackListMasterAndThrowUnhappy");
    const Package* master = dependency->getOwner();
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "selectBestResolvers(): Can't find solution for '" << *dependency << "' of " << *master << ".";
    if (master->getType() != 'd') {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Add " << *master << " to black list";
        try {
            appendBlackPackage(master, boost::make_shared<ReasonUnresolved>(dependency));
        } catch (const error&) {
            Log::stream(Log::LEVEL_INFO, true) << "Solution for dependency '" << *dependency << "' is not available.";
            throw;
        }
    }
    error e(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_MAYBE);
    e << "Can't find solution for '" << *dependency << "' of " << *master << ".";
    throw e;
}

int PkgManager::selectBlackPackage(const Package* a, const Package* b, const boost::shared_ptr<Reason>& reason)
{
    const bool aRequested = isRequested(a);
    const bool bRequested = isRequested(b);
    if (aRequested && bRequested) {
        Log::stream(Log::LEVEL_INFO, true) << "selectBlackPackage: both packages is requested to be installed";
        return 2;
    }
    if (aRequested || bRequested) {
        Log::stream(Log::LEVEL_DEBUG, true)
            << "  selectBlackPackage: package " << *(aRequested ? a : b) << " is requested to install";
        return aRequested ? 1 : 0;
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "selectBlackPackage: " << *a << " or " << *b
                                        << ": select with pre-resolving";
    const auto withBlack = [&reason](const Package* black) {
        return [black, &reason](PkgManager& trial) {
            trial.addBlackPackage(black, reason);
            // Without start packages (findRequiredFor called package by package) a trial has
            // nothing to resolve; the pass loop would refuse the empty list.
            if (!trial.necessaryList->empty())
                trial.findNecessaryPackages(false);
        };
    };
    Statistics first;
    const std::optional<error> firstFailure = runTrial(startList, withBlack(b), first);
    if (firstFailure)
        Log::stream(Log::LEVEL_DEBUG, true) << "Resolving fake1 ends with error: " << firstFailure->getText();
    Statistics second;
    const std::optional<error> secondFailure = runTrial(startList, withBlack(a), second);
    if (secondFailure)
        Log::stream(Log::LEVEL_DEBUG, true) << "Resolving fake2 ends with error: " << secondFailure->getText();

    if (firstFailure && secondFailure) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "selectBlackPackage: both branch of resolving ends with error";
        return 2;
    }
    if (secondFailure) {
        Log::stream(Log::LEVEL_DEBUG, true) << "  selectBlackPackage: resolving with " << *b << " ends with error.";
        return 1;
    }
    if (firstFailure) {
        Log::stream(Log::LEVEL_DEBUG, true) << "  selectBlackPackage: resolving with " << *a << " ends with error.";
        return 0;
    }
    if (first.toRemove != second.toRemove) {
        const bool fewerInFirst = first.toRemove < second.toRemove;
        Log::stream(Log::LEVEL_DEBUG, true)
            << "  selectBlackPackage: with " << *(fewerInFirst ? a : b) << " less packages to remove.";
        return fewerInFirst ? 1 : 0;
    }
    if (first.toInstall != second.toInstall) {
        const bool moreInFirst = first.toInstall > second.toInstall;
        Log::stream(Log::LEVEL_DEBUG, true)
            << "  selectBlackPackage: with " << *(moreInFirst ? a : b) << " great packages to install.";
        return moreInFirst ? 0 : 1;
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "  selectBlackPackage: compare by index.";
    return std::less<const Package*>()(b, a) ? 1 : 0;
}

void PkgManager::blackListUnresolved()
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Add packages with unresolved deps to blacklist";
    for (const auto& entry : repository->unresolved)
        addBlackPackage(entry.first, boost::make_shared<ReasonUnresolved>(entry.second));
}

// ---- indirect rules ----

namespace {

// A relation range taken out of the repository before the rules append to the necessary list.
template <typename Range>
cpkgs_t partners(const Range& range)
{
    cpkgs_t list;
    for (const auto& relation : range)
        list.push_back(relation.second);
    return list;
}

bool olderThan(const Package* q, const Package* p)
{
    return q->getVersion() < p->getVersion();
}

}  // namespace

cpkgs_t PkgManager::packagesNamedAs(const Package* p) const
{
    const Repository::package_range_t range = repository->findByName(p->getName());
    return cpkgs_t(range.begin(), range.end());
}

void PkgManager::findIndirectHardwiredDependencies(const Package* p)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "  find indirect hardwired dependencies for " << *p;
    const cpkgs_t sameName = packagesNamedAs(p);
    for (const Package* q : sameName) {
        if (options.mode == RESOLVE_INSTALL && q->getType() != 's')
            continue;
        if (!olderThan(q, p) || !isArchCompatible(q->getArch().c_str(), p->getArch().c_str()))
            continue;
        bool requirerFound = false;
        for (const Package* r : partners(repository->getRequirers(q))) {
            if (r->getType() == 'z' || (options.mode == RESOLVE_INSTALL && r->getType() != 's'))
                continue;
            requirerFound = true;
            try {
                checkHardwired(p, q, r);
            } catch (const error&) {
                Log::stream(Log::LEVEL_INFO, true) << "Failed to check whether it is necessary to upgrade " << *r
                                                   << " along with upgrade of " << *q << " by " << *p;
                throw;
            }
        }
        if (!requirerFound)
            Log::stream(Log::LEVEL_VERBOSE, true) << "  No packages that requires older version, skipped";
    }
}

bool PkgManager::requirementsMetWith(const Package* newer, const Package* newPkg) const
{
    for (uint32_t i = 0; boost::shared_ptr<Dependency> requirement = newer->getRequire(i); ++i) {
        bool met = false;
        for (uint32_t j = 0; boost::shared_ptr<Dependency> resolver = requirement->getResolver(j); ++j) {
            const Package* owner = resolver->getOwner();
            if (isBlack(owner))
                continue;
            if (owner == newPkg || resolver->getName() != newPkg->getName().c_str()) {
                met = true;
                break;
            }
        }
        if (!met)
            return false;
    }
    return true;
}

void PkgManager::checkHardwired(const Package* newPkg, const Package* old, const Package* r)
{
    for (uint32_t i = 0; boost::shared_ptr<Dependency> d = r->getRequire(i); ++i) {
        if (!old->satisfies(d.get()) || newPkg->satisfies(d.get()))
            continue;
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Hardwired package detected: dependency '" << *d << "' of package " << *r << " is resolved by old "
            << *old << " but not resolved by necessary " << *newPkg;
        if (archModeSolution(d, newPkg))
            return;
        if (const Package* newer = findNewerNonBlackPackage(r)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "  newer non-blacklisted found: " << *newer;
            if (requirementsMetWith(newer, newPkg) && upgradeModeSolution(newer))
                return;
        }
        if (replaceModeSolution(d, old, newPkg) || obsoleteModeSolution(r))
            return;
        removeAsLastResort(
            hardwiredWarnings.insert(d).second, r,
            text("Unresolved dependency: necessary package ", *newPkg, " has older version ", *old,
                 ". After upgrade we will have unresolved dependency '", *d, "' of package ", *r,
                 ", add to removable list ", r->getName()),
            text("A dependency problem is found: an older version of required package ", *newPkg, " is installed (",
                 *old, ") ", ". After upgrade procedure the dependency '", *d, "' of package ", *r,
                 " will be unresolved. Try to add to removable list ", r->getName()));
    }
}

void PkgManager::findIndirectObsoletesDependency(const Package* p)
{
    if (options.mode == RESOLVE_INSTALL && p->getType() == 's')
        return;
    Log::stream(Log::LEVEL_DEBUG, true) << "  find indirect obsoletes dependency for " << *p;
    const cpkgs_t obsoleted = partners(repository->getObsoletedBy(p));
    if (obsoleted.empty())
        Log::stream(Log::LEVEL_DEBUG, true) << "    this package have no obsoletes";
    for (const Package* s : obsoleted) {
        if (options.mode == RESOLVE_INSTALL && s->getType() != 's') {
            Log::stream(Log::LEVEL_DEBUG, true) << "    skip not system " << *s;
            continue;
        }
        Log::stream(Log::LEVEL_DEBUG, true) << "    fix all requires for " << *s;
        for (const Package* l : partners(repository->getRequirers(s))) {
            if (options.mode == RESOLVE_INSTALL && l->getType() != 's')
                continue;
            for (uint32_t i = 0; boost::shared_ptr<Dependency> d = l->getRequire(i); ++i) {
                if (!s->satisfies(d.get()) || metByAnotherNecessary(d, s) || obsoleterInNecessary(l))
                    continue;
                Log::stream(Log::LEVEL_DEBUG, true) << "      fix obsoleted requires '" << *d << "' from " << *l;
                const Package* newer = findNewerNonBlackPackage(l);
                if (newer && !dependsOnlyOn(newer, s)) {
                    Log::stream(Log::LEVEL_VERBOSE, true) << "We also need to install " << *newer << " because " << *p
                                                          << " obsoletes " << *s << " which is needed for " << *l;
                    if (upgradeModeSolution(newer))
                        continue;
                }
                if (obsoleteModeSolution(l) || replaceModeSolution(d, s, p))
                    continue;
                removeAsLastResort(obsoletesWarnings.insert(d).second, l,
                                   text("Unresolved obsoletes: necessary package ", *p, " obsoletes package ", *s,
                                        ". After installation of necessary package we will have the dependency '", *d,
                                        "' of package ", *l, " unresolved, add to removable ", l->getName()),
                                   text("A dependency problem is found: the required package ", *p, " obsoletes ", *s,
                                        " package.", ". After installation the dependency '", *d, "' of package ", *l,
                                        " will be unresolved. Try to add to removable ", l->getName()));
            }
        }
    }
}

bool PkgManager::metByAnotherNecessary(const boost::shared_ptr<Dependency>& d, const Package* s)
{
    for (const boost::shared_ptr<Dependency>& provide : repository->findProviders(d)) {
        const Package* w = provide->getOwner();
        if (w != s && w->satisfies(d.get()) && inNecessary(w))
            return true;
    }
    return false;
}

bool PkgManager::obsoleterInNecessary(const Package* l)
{
    for (const Package* o : partners(repository->getObsoleters(l))) {
        if (!inNecessary(o))
            continue;
        if (options.mode == RESOLVE_INSTALL && o->getType() == 's') {
            Log::stream(Log::LEVEL_DEBUG, true) << " [skip-system]" << *o;
            continue;
        }
        Log::stream(Log::LEVEL_DEBUG, true)
            << "      There is obsoleter " << *o << " for " << *l << " in necessaryList";
        Log::stream(Log::LEVEL_DEBUG, true) << "      so no need to fix " << *l;
        return true;
    }
    return false;
}

bool PkgManager::dependsOnlyOn(const Package* newer, const Package* s) const
{
    if (!newer->requiresPackage(s))
        return false;
    for (uint32_t i = 0; boost::shared_ptr<Dependency> requirement = newer->getRequire(i); ++i) {
        for (uint32_t j = 0; boost::shared_ptr<Dependency> resolver = requirement->getResolver(j); ++j) {
            const Package* owner = resolver->getOwner();
            if (owner->getName() != s->getName())
                return false;
            if (options.mode == RESOLVE_INSTALL &&
                (!(owner->getVersion() == s->getVersion()) || owner->getArch() != s->getArch()))
                return false;
        }
    }
    return true;
}

bool PkgManager::upgradeOrObsolete(const Package* p, const Package* c)
{
    const Package* newer = findNewerNonBlackPackage(c);
    if (newer && !repository->conflicts(p, newer) && upgradeModeSolution(newer))
        return true;
    return obsoleteModeSolution(c);
}

void PkgManager::findIndirectConflictsDependency(const Package* p)
{
    if (options.mode == RESOLVE_INSTALL && p->getType() == 's')
        return;
    Log::stream(Log::LEVEL_DEBUG, true) << "  find indirect conflicts dependency for " << *p;
    for (const Package* c : partners(repository->getConflicts(p))) {
        if (options.mode == RESOLVE_INSTALL && c->getType() != 's')
            continue;
        Log::stream(Log::LEVEL_DEBUG, true) << "Found conflict with " << *c;
        if (upgradeOrObsolete(p, c))
            continue;
        removeAsLastResort(conflictWarnings.insert(c->getName().c_str()).second, c,
                           text("Unresolved conflict: necessary package ", *p, " conflicts with ", *c,
                                ". There is no upgrade solution or obsoleter for ", c->getName(),
                                ", adding to removable list ", c->getName()),
                           text("A dependency problem is found: required package ", *p, " conflicts with ", *c,
                                ". No upgrade or obsolete solution was found for ", c->getName(), ". Try to add ",
                                c->getName(), " to removable list."));
    }
}

void PkgManager::findIndirectBackConflicts(const Package* p)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "  find indirect back conflicts for " << *p;
    for (const Package* c : partners(repository->getBackConflicts(p))) {
        if (options.mode == RESOLVE_INSTALL && c->getType() != 's')
            continue;
        if (upgradeOrObsolete(p, c))
            continue;
        removeAsLastResort(
            conflictWarnings.insert(c->getName().c_str()).second, c,
            text("Unresolved conflict: the other package ", *c, " conflicts with necessary package ", *p,
                 ". There is no upgrade or obsoleter solution,", " add to removable list ", c->getName()),
            text("A dependency problem was found: the package ", *c, " conflicts with required package ", *p,
                 ". No upgrade or obsolete solution was found.", " Try to add ", c->getName(), " to removable list"));
    }
}

void PkgManager::findIndirectArchDeps(const Package* p)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "  find indirect arch deps for " << *p;
    const cpkgs_t sameName = packagesNamedAs(p);
    std::unordered_set<PooledString> architectures;
    for (const Package* q : sameName)
        if (q->getType() == 's' && olderThan(q, p) && q->getArch() != p->getArch())
            architectures.insert(q->getArch());
    if (architectures.empty())
        return;
    for (const Package* q : sameName)
        if (!isBlack(q) && q->getVersion() == p->getVersion() && architectures.count(q->getArch()))
            appendNecessaryPackage(q, true);
}

void PkgManager::removeAsLastResort(bool firstWarning, const Package* victim, const std::string& warning,
                                    const std::string& failure)
{
    if (firstWarning)
        Log::stream(Log::LEVEL_VERBOSE, true) << warning;
    try {
        removeModeSolution(victim);
    } catch (const error&) {
        Log::stream(Log::LEVEL_INFO, true) << failure;
        throw;
    }
}

// ---- solution modes ----

void PkgManager::resolveIndirectly(const boost::shared_ptr<Dependency>& synthetic)
{
    if (!selectBestResolvers(synthetic, true, level, 1))
        addDeferred(synthetic, true);
}

bool PkgManager::resolveOffered(const boost::shared_ptr<Dependency>& synthetic)
{
    if (!synthetic->getResolver(0))
        return false;
    resolveIndirectly(synthetic);
    return true;
}

namespace {

// A dependency of the resolver's own, named by the text and owned by no package.
boost::shared_ptr<Dependency> syntheticDependency(const std::string& name)
{
    return boost::make_shared<DependencyLogical>(name, nullptr);
}

}  // namespace

bool PkgManager::replaceModeSolution(const boost::shared_ptr<Dependency>& dependency, const Package* old,
                                     const Package* newPkg)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "   try search replace mode solution. select from:";
    const boost::shared_ptr<Dependency> replacement = dependency->clone();
    for (uint32_t i = 0; boost::shared_ptr<Dependency> resolver = dependency->getResolver(i); ++i) {
        const Package* o = resolver->getOwner();
        if (isBlack(o))
            continue;
        bool accepted;
        if (o->getName() == old->getName())
            accepted =
                (o->getVersion() == newPkg->getVersion() && o->getArch() != newPkg->getArch()) ||
                (o->getVersion() > old->getVersion() && isArchCompatible(o->getArch().c_str(), old->getArch().c_str()));
        else
            accepted = options.mode == RESOLVE_INSTALL || !findNewerNonBlackPackage(o);
        if (!accepted)
            continue;
        Log::stream(Log::LEVEL_DEBUG, true) << *resolver;
        replacement->addResolver(resolver);
    }
    if (resolveOffered(replacement))
        return true;
    Log::stream(Log::LEVEL_DEBUG, true) << "<nothing>, return false";
    return false;
}

bool PkgManager::archModeSolution(const boost::shared_ptr<Dependency>& dependency, const Package* p)
{
    const boost::shared_ptr<Dependency> synthetic =
        syntheticDependency(text(*dependency, " of ", *p, " for arch_mode_solution"));
    for (uint32_t i = 0; boost::shared_ptr<Dependency> resolver = dependency->getResolver(i); ++i) {
        const Package* o = resolver->getOwner();
        if (!isBlack(o) && o->getName() == p->getName() && o->getVersion() == p->getVersion() &&
            o->getArch() != p->getArch())
            synthetic->addResolver(resolver);
    }
    return resolveOffered(synthetic);
}

bool PkgManager::upgradeModeSolution(const Package* p)
{
    const cpkgs_t sameName = packagesNamedAs(p);
    if (sameName.empty())
        return false;
    Log::stream(Log::LEVEL_DEBUG, true) << "Upgrade mode solution: select from packages:";
    const boost::shared_ptr<Dependency> synthetic =
        syntheticDependency(text(p->getName(), " >= ", p->getVersion().toString(), " for upgrade_mode_solution"));
    for (const Package* q : sameName) {
        if (isBlack(q))
            continue;
        Log::stream(Log::LEVEL_DEBUG, true) << " " << *q;
        if (q->getVersion() == p->getVersion())
            synthetic->addResolver(q->getSelfProvide());
    }
    return resolveOffered(synthetic);
}

bool PkgManager::obsoleteModeSolution(const Package* p)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "   try obsoleteModeSolution, select from:";
    const cpkgs_t obsoleters = partners(repository->getObsoleters(p));
    if (obsoleters.empty()) {
        Log::stream(Log::LEVEL_DEBUG, true) << "<nothing>, return false";
        return false;
    }
    const boost::shared_ptr<Dependency> synthetic =
        syntheticDependency(text("obsolete_mode_solution for ", p->getName()));
    bool found = false;
    for (const Package* o : obsoleters) {
        if (isBlack(o))
            continue;
        if (options.mode == RESOLVE_INSTALL && o->getType() == 's') {
            Log::stream(Log::LEVEL_DEBUG, true) << " [skip_system]" << *o;
            continue;
        }
        Log::stream(Log::LEVEL_DEBUG, true) << "  " << *o;
        found = true;
        for (uint32_t i = 0; boost::shared_ptr<Dependency> obsolete = o->getObsolete(i); ++i) {
            if (p->satisfies(obsolete.get())) {
                synthetic->addResolver(obsolete);
                break;
            }
        }
    }
    if (!found) {
        Log::stream(Log::LEVEL_DEBUG, true) << "   obsoleteModeSolution- none obsoleters found, false.";
        return false;
    }
    // Even without a resolver: an obsoleter whose entries p does not meet is no repair, and the
    // dependency without resolvers stops the run instead of leaving p's requirers broken.
    Log::stream(Log::LEVEL_DEBUG, true) << " with selectBestResolvers.";
    resolveIndirectly(synthetic);
    return true;
}

void PkgManager::removeModeSolution(const Package* p)
{
    if (options.mode == RESOLVE_INSTALL && !options.forceRemove) {
        error e(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_MAYBE);
        e << format_message(messages.get("err_deps_badpkg"), *p);
        throw e;
    }
    if (!isRequested(p))
        addRemover(p->getName().c_str());
}

void PkgManager::addRemover(const std::string& name)
{
    const Package* remover = repository->addRemoverFor(name, "");
    try {
        appendNecessaryPackage(remover, true);
    } catch (const error&) {
        Log::stream(Log::LEVEL_INFO, true) << "Could not create remover for " << name;
        throw;
    }
}

// ---- problem reports ----

void PkgManager::explainProblem(const Package* p, package_set_t& visited)
{
    FuncTrace trace("explainProblem for ", *p);
    auto found = blackList.find(p);
    if (found == blackList.end()) {
        Log::stream(Log::LEVEL_INFO, true) << "There is no explanation for the \"" << p->getName() << "\" package.";
        return;
    }
    const boost::shared_ptr<Reason> reason = found->second;
    visited.insert(p);
    Log::stream(Log::LEVEL_INFO, true) << "Searching problems for the \"" << p->getName() << "\" package.";

    if (const ReasonUnresolved* unresolved = dynamic_cast<const ReasonUnresolved*>(reason.get())) {
        const boost::shared_ptr<Dependency>& dependency = unresolved->dependency;
        const std::string line = format_message(messages.get("err_dep_from_pkg_unresolved"), *p, *dependency);
        Log::stream(Log::LEVEL_INFO, true) << "    " << line;
        report.push_back(line);
        if (dependency->getResolver(0)) {
            for (uint32_t i = 0; boost::shared_ptr<Dependency> resolver = dependency->getResolver(i); ++i) {
                const Package* owner = resolver->getOwner();
                Log::stream(Log::LEVEL_INFO, true)
                    << "    The \"" << *owner << "\" package resolves \"" << *dependency << "\".";
                if (!visited.count(owner))
                    explainProblem(owner, visited);
            }
        } else {
            const std::string none = format_message(messages.get("err_deps_install_build"), *dependency, *p);
            Log::stream(Log::LEVEL_INFO, true) << none;
            report.push_back(none + "\n");
        }
    } else if (const ReasonClash* clash = dynamic_cast<const ReasonClash*>(reason.get())) {
        explainClash(clash->first, clash->second);
    } else if (const ReasonReport* lines = dynamic_cast<const ReasonReport*>(reason.get())) {
        report.insert(report.end(), lines->lines.begin(), lines->lines.end());
    } else {
        Log::stream(Log::LEVEL_INFO, true) << "Unknown reason type encountered.";
    }
}

namespace {

// The file provides of a package that name a file rather than a directory.
std::vector<boost::shared_ptr<Dependency>> fileProvides(const Package* p)
{
    std::vector<boost::shared_ptr<Dependency>> files;
    for (uint32_t i = 0; boost::shared_ptr<Dependency> provide = p->getProvide(i); ++i) {
        const DependencyFile* file = dynamic_cast<const DependencyFile*>(provide.get());
        if (file && !file->isDirectory())
            files.push_back(provide);
    }
    return files;
}

// The first conflicts entry of `a` that `b` satisfies.
boost::shared_ptr<Dependency> conflictEntry(const Package* a, const Package* b)
{
    for (uint32_t i = 0; boost::shared_ptr<Dependency> conflict = a->getConflict(i); ++i)
        if (b->satisfies(conflict.get()))
            return conflict;
    return boost::shared_ptr<Dependency>();
}

}  // namespace

void PkgManager::explainClash(const Package* first, const Package* second)
{
    std::string t;
    if (first->getName() == second->getName() && first->getVersion() < second->getVersion()) {
        t += format_message(messages.get("err_pkg_downgrade"), first->getName(), first->getVersion().toString(),
                            second->getVersion().toString()) +
             "\n";
    } else {
        t += format_message(messages.get("err_pkg_clash"), *first, *second) + "\n";
        boost::shared_ptr<Dependency> sharedFile;
        const auto secondFiles = fileProvides(second);
        for (const auto& file : fileProvides(first)) {
            for (const auto& other : secondFiles) {
                if (file->isSameTarget(other)) {
                    sharedFile = file;
                    break;
                }
            }
            if (sharedFile)
                break;
        }
        if (sharedFile) {
            t += format_message(messages.get("err_pkg_fileconfl"), *sharedFile) + "\n";
        } else {
            const Package* declaring = first;
            boost::shared_ptr<Dependency> entry = conflictEntry(first, second);
            if (!entry) {
                declaring = second;
                entry = conflictEntry(second, first);
            }
            if (!entry) {
                t += ".\n";
            } else {
                t += format_message(messages.get("err_pkg_depconfl"), *declaring, *entry) + "\n";
                // Why each side was chosen: the necessary packages that need it and not the other.
                for (const auto& side : {std::make_pair(first, second), std::make_pair(second, first)}) {
                    bool headed = false;
                    for (const auto& relation : repository->getRequirers(side.first)) {
                        const Package* g = relation.second;
                        if (!inNecessary(g))
                            continue;
                        for (uint32_t i = 0; boost::shared_ptr<Dependency> r = g->getRequire(i); ++i) {
                            if (!side.first->satisfies(r.get()) || side.second->satisfies(r.get()))
                                continue;
                            if (!headed) {
                                t += format_message(messages.get("pkg_select_reason"), *side.first) + "\n";
                                headed = true;
                            }
                            t += format_message(messages.get("pkg_select_depend"), *r, *g) + "\n";
                        }
                    }
                }
            }
        }
    }
    Log::stream(Log::LEVEL_INFO, true) << t;
    report.push_back(t);
}

std::string PkgManager::getReport() const
{
    const std::string& head = messages.get("deps_report_head");
    std::string result = "\n\n" + head + "\n";
    Log::stream(Log::LEVEL_INFO, true) << head;
    const bool numbered = report.size() > 1;
    int number = 0;
    for (const std::string& line : report) {
        ++number;
        const std::string prefix = numbered ? std::to_string(number) + ")" : std::string();
        Log::stream(Log::LEVEL_INFO, true) << prefix << line;
        if (number <= 3)
            result += (numbered ? prefix + " " : std::string()) + line + "\n";
    }
    if (report.size() > 3)
        result += format_message(messages.get("deps_long_report"), Log::getFileName()) + "\n";
    return result;
}
