#include "common/Repository.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <sstream>

#include "common/DependencyFile.h"
#include "common/DependencyLogical.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/PackagesProgress.h"
#include "common/Progress.h"
#include "common/Source.h"
#include "common/SourceSysDeb.h"
#include "common/SourceSysRPM.h"
#include "common/child_setup.h"
#include "common/error.h"
#include "common/fileops.h"

namespace {

const Messages messages;

const Repository::packages_t no_packages;

const Repository::dependencies_t no_dependencies;

}  // namespace

Repository::Repository()
    : requires_stale(true), conflicts_stale(true), obsoletes_stale(true), names_stale(true), provides_stale(true)
{
}

Repository::Repository(const Repository& other) = default;

void Repository::append(Package* pkg)
{
    packages.push_back(pkg);
    listed.insert(pkg);
}

void Repository::markAllStale()
{
    requires_stale = true;
    conflicts_stale = true;
    obsoletes_stale = true;
    names_stale = true;
    provides_stale = true;
}

bool Repository::addPackage(Package* pkg, const Source* src)
{
    const std::string& file = pkg->getFileName();
    if (match_any(ignore_patterns, file)) {
        Log::stream(Log::LEVEL_INFO, true)
            << "Repository::addPackage: " << file << " is match with ignore pattern, skip.";
        return false;
    }
    if (!listed.insert(pkg).second)
        return false;
    packages.push_back(pkg);
    pkg->setSource(src);
    markAllStale();
    return true;
}

void Repository::addFromCache(FILE* in, Package::type_t type, dups_mode_t mode, const Source* src)
{
    // In the replacing modes the list position of every package the name index knows.
    std::unordered_map<const Package*, std::size_t> positions;
    if (mode != DUPS_APPEND) {
        updateNamesCache();
        for (std::size_t i = 0; i < packages.size(); ++i)
            positions[packages[i]] = i;
    }
    // Whatever was appended before a failure must show in the next lookups too.
    struct StaleOnExit {
        Repository* repository;
        ~StaleOnExit() { repository->markAllStale(); }
    } stale_on_exit{this};

    int line_counter = 0;
    for (;;) {
        int c;
        do {
            c = fgetc(in);
            if (c == EOF)
                return;
            Progress().checkInterrupted();
        } while (isspace(c));
        ungetc(c, in);

        std::unique_ptr<Package> record(Package::createFromCache(in, &line_counter));
        record->setType(type);
        record->setSource(src);
        if (mode == DUPS_APPEND) {
            append(record.release());
            continue;
        }

        bool settled = false;
        for (Package* candidate : findByName(record->getName())) {
            if (!(candidate->getVersion() == record->getVersion()) || candidate->getArch() != record->getArch())
                continue;
            if (mode == DUPS_KEEP) {
                settled = true;  // the record is dropped
                break;
            }
            if (mode == DUPS_REPLACE_SAME_SOURCE && candidate->getSource() != src)
                continue;
            // The listed object stays valid for its holders and carries the record's lists from now
            // on. When an earlier record of this reading already took its place, this one replaces
            // that record's package in turn.
            candidate->copyDependencies(record.get());
            Package*& place = packages[positions[candidate]];
            listed.erase(place);
            place = record.release();
            listed.insert(place);
            settled = true;
            break;
        }
        if (!settled)
            append(record.release());
    }
}

void Repository::removeNonSystemPackages()
{
    std::set<const Package*> gone;
    packages_t kept;
    for (Package* pkg : packages) {
        if (pkg->getType() == Package::TYPE_INSTALLED) {
            kept.push_back(pkg);
        } else {
            gone.insert(pkg);
            listed.erase(pkg);
        }
    }
    packages.swap(kept);
    // A remover that left the list would otherwise be handed out again without its obsoletes links,
    // which the next rebuild of the index takes from the list.
    for (auto it = removers.begin(); it != removers.end();) {
        if (gone.count(it->second))
            it = removers.erase(it);
        else
            ++it;
    }
    markAllStale();
}

void Repository::purgeDroppedPackages()
{
    packages_t kept;
    for (Package* pkg : packages) {
        if (pkg->getType() == Package::TYPE_DROPPED) {
            removed.insert(pkg);
            listed.erase(pkg);
        } else {
            kept.push_back(pkg);
        }
    }
    packages.swap(kept);
}

Package* Repository::addRemoverFor(const std::string& name, const std::string& arch)
{
    const std::string key = arch.empty() ? name : name + "_" + arch;
    auto found = removers.find(key);
    if (found != removers.end())
        return found->second;

    Package* remover = new Package("dummy_obsoleter_" + key, "0.0");
    remover->setType(Package::TYPE_DUMMY);
    remover->setFileName("dummy_remover_for_" + key);
    if (!arch.empty())
        remover->setArch(arch);
    remover->addObsolete(name.c_str());
    append(remover);
    addObsoletesOf(remover);

    Log::stream log(Log::LEVEL_DEBUG, true);
    log << "addRemoverFor: add package for obsolete " << name;
    if (!arch.empty())
        log << ":" << arch;
    removers[key] = remover;
    return remover;
}

bool isRemover(const Package* package)
{
    return package->getType() == 'd' && package->getObsolete(0);
}

bool isRemoverFor(const std::pair<std::string, std::string>& target, const Package* package)
{
    return isRemover(package) && package->getObsolete(0)->getName() == target.first &&
           target.second == package->getArch().c_str();
}

bool holdsRemoverFor(const cpkgs_t& list, const std::pair<std::string, std::string>& target)
{
    for (const Package* item : list)
        if (isRemoverFor(target, item))
            return true;
    return false;
}

Package* Repository::addRequirerFor(const std::string& component, const std::string& name, bool versioned)
{
    Package* requirer = new Package("dummy_requirer_" + name, "1.2.3");
    requirer->setType(Package::TYPE_DUMMY);
    requirer->setFileName("dummy_package_of_comp_" + component + "_for_require_" + name);
    const Package* newest = versioned ? findNewest(name) : nullptr;
    if (newest) {
        const std::string text = name + " = " + newest->getVersion().toString();
        Log::stream(Log::LEVEL_DEBUG, true) << "addRequirerFor: add versioned require: " << text;
        requirer->addRequire(text.c_str());
    } else {
        Log::stream(Log::LEVEL_DEBUG, true) << "addRequirerFor: add package for require " << name;
        requirer->addRequire(name.c_str());
    }
    append(requirer);
    provides_stale = true;
    return requirer;
}

void Repository::getBriefPackagesInfo()
{
    Log::stream(Log::LEVEL_INFO, true) << "repository: Get brief packages info for all sources";
    for (Source* source : sources)
        source->loadBrief();
}

void Repository::getFullPackagesInfo()
{
    Log::stream(Log::LEVEL_INFO, true) << "repository: Get full packages info for all sources";
    for (Source* source : sources)
        source->loadFull();
}

void Repository::updateNamesCache()
{
    Log::stream(Log::LEVEL_VERBOSE, true) << " (update package names cache) ";
    names.clear();
    for (auto it = packages.rbegin(); it != packages.rend(); ++it)
        names[(*it)->getName()].push_back(*it);
    names_stale = false;
}

Repository::package_range_t Repository::findByName(const PooledString& name)
{
    if (names_stale)
        updateNamesCache();
    auto found = names.find(name);
    const packages_t& list = found == names.end() ? no_packages : found->second;
    return package_range_t(list.begin(), list.end());
}

Package* Repository::findPackage(const PooledString& name, const Version* version, const std::string& arch)
{
    for (Package* pkg : findByName(name))
        if (pkg->getName() == name && pkg->getVersion() == *version && arch == pkg->getArch().c_str())
            return pkg;
    return nullptr;
}

Package* Repository::findNewest(const std::string& name)
{
    Package* newest = nullptr;
    for (Package* pkg : findByName(name))
        if (!newest || pkg->getVersion() > newest->getVersion())
            newest = pkg;
    return newest;
}

Package* Repository::findNewestMatching(const std::string& name, const Package::Predicate& accept)
{
    Package* newest = nullptr;
    for (Package* pkg : findByName(name))
        if (accept(pkg) && (!newest || pkg->getVersion() > newest->getVersion()))
            newest = pkg;
    return newest;
}

Package* Repository::findNewer(const Package* pkg)
{
    Package* newer = nullptr;
    const Package* newest = pkg;
    for (Package* candidate : findByName(pkg->getName())) {
        if (candidate->getVersion() > newest->getVersion()) {
            newer = candidate;
            newest = candidate;
        }
    }
    return newer;
}

Package* Repository::findNewestProvider(const std::string& name)
{
    boost::shared_ptr<Dependency> wanted(new DependencyLogical(name, nullptr));
    Package* newest = nullptr;
    // The group of the name holds only named provides of exactly that name.
    for (const boost::shared_ptr<Dependency>& provide : findProviders(wanted)) {
        // Packages are only ever held as mutable objects; the dependency keeps a const view.
        Package* owner = const_cast<Package*>(provide->getOwner());
        if (!newest || owner->getVersion() > newest->getVersion())
            newest = owner;
    }
    return newest;
}

Package* Repository::getInstalledPackage(const PooledString& name)
{
    // The highest version; scanning in index order and letting a later equal one win picks, among
    // equals, the package added first. The version orders are no strict weak orders, so no sort.
    Package* installed = nullptr;
    for (Package* pkg : findByName(name)) {
        if (pkg->getType() != Package::TYPE_INSTALLED)
            continue;
        if (!installed || !(pkg->getVersion() < installed->getVersion()))
            installed = pkg;
    }
    return installed;
}

std::string Repository::getPkgVersionFromSystemDirectly(const std::string& name)
{
    for (Source* source : sources) {
        if (SourceSysRPM* rpm = dynamic_cast<SourceSysRPM*>(source))
            return rpm->getPkgVersionFromSystemDirectly(name);
        if (SourceSysDeb* deb = dynamic_cast<SourceSysDeb*>(source))
            return deb->getPkgVersionFromSystemDirectly(name);
    }
    return "";
}

void Repository::updateProvidesCache()
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Regenerate packages provides cache.";
    provides.clear();
    for (const Package* pkg : packages) {
        Progress().checkInterrupted();
        for (uint32_t i = 0; boost::shared_ptr<Dependency> provide = pkg->getProvide(i); ++i)
            provides[provide].push_back(provide);
    }
    provides_stale = false;
}

Repository::provides_range_t Repository::findProviders(const boost::shared_ptr<Dependency>& dep)
{
    if (provides_stale)
        updateProvidesCache();
    auto found = provides.find(dep);
    const dependencies_t& list = found == provides.end() ? no_dependencies : found->second;
    return provides_range_t(list.begin(), list.end());
}

Repository::relation_range_t Repository::rangeOf(const relation_t& relation, const Package* pkg)
{
    auto range = relation.equal_range(pkg);
    return relation_range_t(range.first, range.second);
}

bool Repository::hasPair(const relation_t& relation, const Package* from, const Package* to)
{
    for (const auto& pair : rangeOf(relation, from))
        if (pair.second == to)
            return true;
    return false;
}

void Repository::regenObsoletes()
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "(regen obsoletes cache) ";
    obsoletes.clear();
    obsoleters.clear();
    obsoletes_stale = false;
    for (Package* pkg : packages)
        addObsoletesOf(pkg);
}

void Repository::addObsoletesOf(Package* pkg)
{
    for (uint32_t i = 0; boost::shared_ptr<Dependency> obsolete = pkg->getObsolete(i); ++i) {
        for (const boost::shared_ptr<Dependency>& provide : findProviders(obsolete)) {
            if (!obsolete->isSatisfiedBy(provide))
                continue;
            Package* target = const_cast<Package*>(provide->getOwner());
            if (target->getName() == pkg->getName() || hasPair(obsoletes, pkg, target))
                continue;
            obsoletes.insert(std::make_pair(pkg, target));
            obsoleters.insert(std::make_pair(target, pkg));
        }
    }
}

Repository::relation_range_t Repository::getObsoletedBy(const Package* pkg)
{
    if (obsoletes_stale)
        regenObsoletes();
    return rangeOf(obsoletes, pkg);
}

Repository::relation_range_t Repository::getObsoleters(const Package* pkg)
{
    if (obsoletes_stale)
        regenObsoletes();
    return rangeOf(obsoleters, pkg);
}

Package* Repository::findObsoleter(const Package* pkg)
{
    relation_range_t range = getObsoleters(pkg);
    return range.empty() ? nullptr : range.begin()->second;
}

void Repository::regenConflicts()
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "(regen conflicts cache) ";
    conflicts_index.clear();
    back_conflicts.clear();
    conflicts_stale = false;
    for (std::size_t i = 0; i < packages.size(); ++i) {
        addConflictsOf(packages[i]);
        addFileConflictsOf(packages[i]);
    }
}

void Repository::addConflictsOf(Package* pkg)
{
    for (uint32_t i = 0; boost::shared_ptr<Dependency> conflict = pkg->getConflict(i); ++i) {
        for (const boost::shared_ptr<Dependency>& provide : findProviders(conflict)) {
            if (!conflict->isSatisfiedBy(provide))
                continue;
            Package* target = const_cast<Package*>(provide->getOwner());
            if (hasPair(conflicts_index, pkg, target))
                continue;
            conflicts_index.insert(std::make_pair(pkg, target));
            back_conflicts.insert(std::make_pair(target, pkg));
        }
    }
}

void Repository::addFileConflictsOf(Package* pkg)
{
    for (uint32_t i = 0; boost::shared_ptr<Dependency> provide = pkg->getProvide(i); ++i) {
        const DependencyFile* file = dynamic_cast<const DependencyFile*>(provide.get());
        if (!file || file->isDirectory())
            continue;
        for (const boost::shared_ptr<Dependency>& entry : findProviders(provide)) {
            const DependencyFile* other = dynamic_cast<const DependencyFile*>(entry.get());
            if (!other)
                throw KW_INTERNAL_ERROR();
            Package* target = const_cast<Package*>(entry->getOwner());
            if (target->getName() == pkg->getName() &&
                (target->getArch() == pkg->getArch() || pkg->getVersion() == target->getVersion()))
                continue;
            if (hasPair(conflicts_index, pkg, target))
                continue;
            if (file->getMd5String() == other->getMd5String())
                continue;
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Warning: packages conflict by files detected: package " << *pkg << "\n  conflict with package "
                << *target << "\n  both have file " << *file << " with different md5 sum.";
            conflicts_index.insert(std::make_pair(pkg, target));
            back_conflicts.insert(std::make_pair(target, pkg));
        }
    }
}

Repository::relation_range_t Repository::getConflicts(const Package* pkg)
{
    if (conflicts_stale)
        regenConflicts();
    return rangeOf(conflicts_index, pkg);
}

bool Repository::conflicts(const Package* a, const Package* b)
{
    if (conflicts_stale)
        regenConflicts();
    return hasPair(conflicts_index, a, b);
}

Repository::relation_range_t Repository::getBackConflicts(const Package* pkg)
{
    if (conflicts_stale)
        regenConflicts();
    return rangeOf(back_conflicts, pkg);
}

Repository::pairs_range_t Repository::requiresRangeOf(const packages_t& partners, const std::vector<uint32_t>& starts,
                                                      const Package* pkg) const
{
    auto found = requires_positions.find(pkg);
    if (found == requires_positions.end() || found->second + 1 >= starts.size())
        return pairs_range_t(pair_iterator(partners.end(), PairWith{pkg}),
                             pair_iterator(partners.end(), PairWith{pkg}));
    return pairs_range_t(pair_iterator(partners.begin() + starts[found->second], PairWith{pkg}),
                         pair_iterator(partners.begin() + starts[found->second + 1], PairWith{pkg}));
}

Repository::pairs_range_t Repository::getRequired(const Package* pkg)
{
    if (requires_stale)
        resolveRequires();
    return requiresRangeOf(required, required_starts, pkg);
}

Repository::pairs_range_t Repository::getRequirers(const Package* pkg)
{
    if (requires_stale)
        resolveRequires();
    return requiresRangeOf(requirers, requirers_starts, pkg);
}

// Fresh memory is what a rebuild over a large list costs most: the relations keep one pointer per
// pair, and the requirers are counted before they are placed.
void Repository::resolveRequires()
{
    Log::stream(Log::LEVEL_DEBUG, true) << "Resolve requires dependencies in repository.";
    requires_positions.clear();
    requires_positions.reserve(packages.size());
    for (std::size_t p = 0; p < packages.size(); ++p)
        requires_positions.emplace(packages[p], p);
    // The list position of each pair's target, beside `required`. A target that left the list after the
    // provides index was built (a purge marks nothing stale) gets a position after the list's.
    std::vector<uint32_t> target_positions;
    target_positions.reserve(required.size());
    uint32_t positions = packages.size();
    required.clear();
    required_starts.clear();
    required_starts.reserve(packages.size() + 1);
    required_starts.push_back(0);
    requires_stale = false;
    // The satisfying provides of one requirement; they stay in the provides index meanwhile.
    std::vector<const boost::shared_ptr<Dependency>*> candidates;
    std::ostringstream text;
    for (std::size_t p = 0; p < packages.size(); ++p) {
        Package* pkg = packages[p];
        Progress().checkInterrupted();
        uint32_t j = 0;
        while (boost::shared_ptr<Dependency> require = pkg->getRequire(j)) {
            // Resolvers are weak references: take no new one while walking the providers.
            require->clearResolvers();
            candidates.clear();
            // The group of a named requirement holds only named provides: no cast per provide.
            const DependencyLogical* named = dynamic_cast<const DependencyLogical*>(require.get());
            bool self_satisfied = false;
            for (const boost::shared_ptr<Dependency>& provide : findProviders(require)) {
                if (named ? !named->isSatisfiedByNamed(*static_cast<const DependencyLogical*>(provide.get()))
                          : !require->isSatisfiedBy(provide.get()))
                    continue;
                const Package* owner = provide->getOwner();
                if (owner == pkg) {
                    self_satisfied = true;
                    break;
                }
                if (owner->getName() != pkg->getName())
                    candidates.push_back(&provide);
            }
            if (self_satisfied) {
                pkg->removeRequire(j);
                continue;
            }
            if (candidates.empty())
                noteUnresolved(pkg, require, text);
            require->reserveResolvers(candidates.size());
            for (const boost::shared_ptr<Dependency>* provide : candidates) {
                require->addResolver(*provide);
                Package* target = const_cast<Package*>((*provide)->getOwner());
                required.push_back(target);
                // Most targets are listed already: no node is made for them.
                auto position = requires_positions.try_emplace(target, positions);
                if (position.second)
                    ++positions;
                target_positions.push_back(position.first->second);
            }
            ++j;
        }
        required_starts.push_back(required.size());
    }
    placeRequirers(target_positions, positions);
}

// A list where most requirements go unresolved makes this the bulk of the work: the line is printed
// into the caller's stream, which is set up once for all of them, and handed to the log whole (each
// piece written to the log is flushed on its own).
void Repository::noteUnresolved(Package* pkg, const boost::shared_ptr<Dependency>& require, std::ostringstream& text)
{
    text.str("");
    text << *require;
    const std::string required_text = text.str();
    if (Dependency::isArtificial(required_text))
        return;
    text.str("");
    text << "Warning: unresolved requires '" << required_text << "' from " << *pkg;
    Log::stream(Log::LEVEL_INFO, true).write(text.str());
    if (pkg->getType() != Package::TYPE_INSTALLED)
        unresolved[pkg] = require;
}

// A target's requirers come in list order, each once. The pairs of one requirer come together, so a
// pair repeats a target exactly when that target's last requirer is the package at hand.
void Repository::placeRequirers(const std::vector<uint32_t>& target_positions, uint32_t positions)
{
    const uint32_t none = packages.size();
    std::vector<uint32_t> last(positions, none);
    requirers_starts.assign(positions + 1, 0);
    for (uint32_t p = 0; p < packages.size(); ++p)
        for (uint32_t i = required_starts[p]; i < required_starts[p + 1]; ++i) {
            const uint32_t target = target_positions[i];
            if (last[target] != p) {
                last[target] = p;
                ++requirers_starts[target + 1];
            }
        }
    for (uint32_t position = 1; position <= positions; ++position)
        requirers_starts[position] += requirers_starts[position - 1];
    requirers.assign(requirers_starts.back(), nullptr);
    std::vector<uint32_t> next(requirers_starts.begin(), requirers_starts.end() - 1);
    last.assign(positions, none);
    for (uint32_t p = 0; p < packages.size(); ++p)
        for (uint32_t i = required_starts[p]; i < required_starts[p + 1]; ++i) {
            const uint32_t target = target_positions[i];
            if (last[target] != p) {
                last[target] = p;
                requirers[next[target]++] = packages[p];
            }
        }
}

Repository::dependencies_t Repository::findSatisfyingProviders(const boost::shared_ptr<Dependency>& dep)
{
    // The group of dep's target holds only provides of dep's name.
    dependencies_t result;
    for (const boost::shared_ptr<Dependency>& provide : findProviders(dep))
        if (provide->getOwner()->satisfies(dep.get()))
            result.push_back(provide);
    return result;
}

Repository::dependencies_t Repository::filterInstalledSatisfied(const dependencies_t& list,
                                                                const boost::shared_ptr<Dependency>& dep)
{
    dependencies_t result;
    for (const boost::shared_ptr<Dependency>& entry : list) {
        std::string name = entry->getOwner()->getName().c_str();
        const std::string::size_type slash = name.rfind('/');
        if (slash != std::string::npos)
            name = name.substr(slash + 1);
        const Package* installed = getInstalledPackage(name);
        if (installed && installed->satisfies(dep.get()))
            result.push_back(entry);
    }
    return result;
}

void Repository::download(const cpkgs_t& pkgs, PackagesProgress* progress)
{
    std::size_t downloadable = 0;
    for (const Package* pkg : pkgs)
        if (pkg->getSource() && pkg->getSource()->isDownloadable())
            ++downloadable;
    Progress().stage(3, downloadable);
    for (const Package* pkg : pkgs) {
        Progress().checkInterrupted();
        const Source* source = pkg->getSource();
        if (!source || !source->isDownloadable())
            continue;
        Progress().step("download", messages.get("download_file") + pkg->getName().c_str());
        // The download records the local file name in the package; packages are never made const,
        // lists only hand them out as such.
        const_cast<Source*>(source)->downloadPackage(const_cast<Package*>(pkg));
        if (progress)
            progress->set_progress(1, pkg->getName().c_str());
    }
}

void Repository::dumpStat(const std::string& tag)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "debug: Repository::dumpStat " << tag;
    const std::string path = "/tmp/libkw3_package_names_" + tag + ".txt";
    std::ostringstream text;
    for (const Package* pkg : packages) {
        text << static_cast<const void*>(pkg) << " " << *pkg << " ~" << pkg->getType() << "\n";
    }
    int fd;
    try {
        fd = fileops::create_private_file(path);
    } catch (const error&) {
        return;  // a debugging aid: nothing to report
    }
    const std::string data = text.str();
    child_setup::writeAll(fd, data.data(), data.size());
    close(fd);
}
