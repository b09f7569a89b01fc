#ifndef KW_COMMON_REPOSITORY_H
#define KW_COMMON_REPOSITORY_H

#include <cstdio>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <boost/iterator/transform_iterator.hpp>
#include <boost/range/iterator_range.hpp>
#include <boost/shared_ptr.hpp>

#include "common/Dependency.h"
#include "common/Package.h"
#include "common/PooledString.h"
#include "common/Regexp.h"

class PackagesProgress;
class Source;
class Version;

// The index of every package known during one run: the installed ones, those of the build files and
// the product repositories, and the dummy packages made for removals. Each package comes through a
// source. Lookups by name and by relation use indexes derived from the package list; every change
// of the list marks them stale and the first query that needs one rebuilds it, so any lookup may
// rebuild (a repository is used by one thread at a time). The repository never deletes a package:
// replaced, removed and purged packages stay valid for whoever holds them.
class Repository {
public:
    typedef std::vector<Package*> packages_t;
    // A package to each package it is in relation with, in the order the relations were found.
    typedef std::multimap<const Package*, Package*> relation_t;
    typedef std::vector<boost::shared_ptr<Dependency>> dependencies_t;

    typedef boost::iterator_range<packages_t::const_iterator> package_range_t;
    typedef boost::iterator_range<relation_t::const_iterator> relation_range_t;
    // The requirement relations are far larger than the others: each package's partners are stored
    // once, in the order in which they were found, and shown as pairs of the package and a partner.
    struct PairWith {
        const Package* first;
        std::pair<const Package*, Package*> operator()(Package* second) const { return {first, second}; }
    };
    typedef boost::transform_iterator<PairWith, packages_t::const_iterator> pair_iterator;
    typedef boost::iterator_range<pair_iterator> pairs_range_t;
    typedef boost::iterator_range<dependencies_t::const_iterator> provides_range_t;

    // How `addFromCache` treats a record equal in name, version and architecture to a listed package.
    typedef int dups_mode_t;
    static const dups_mode_t DUPS_APPEND = 0;               // append every record
    static const dups_mode_t DUPS_KEEP = 1;                 // keep the listed package, drop the record
    static const dups_mode_t DUPS_REPLACE_SAME_SOURCE = 2;  // replace a package of the same source
    static const dups_mode_t DUPS_REPLACE = 3;              // (and any other value) replace any package

    Repository();
    // Member-wise: the same packages and sources, and the sources still belong to the original.
    Repository(const Repository& other);
    Repository& operator=(const Repository&) = delete;

    // Appends `pkg` from `src`; false when its file name matches an ignore pattern or the object is
    // already listed.
    bool addPackage(Package* pkg, const Source* src);
    // Reads cache records from `in` to its end as packages of `type` from `src`. In the replacing
    // modes a listed package keeps its object, which takes the record's dependency lists, while the
    // record's package takes its place in the list.
    void addFromCache(FILE* in, Package::type_t type, dups_mode_t mode, const Source* src);
    // Keeps only the installed packages (TYPE_INSTALLED).
    void removeNonSystemPackages();
    // Moves the dropped packages (TYPE_DROPPED) out of the list. Marks no index stale: a current index
    // still shows them until the next change.
    void purgeDroppedPackages();
    // The dummy package (TYPE_DUMMY) that obsoletes `name`, made once per name and architecture.
    Package* addRemoverFor(const std::string& name, const std::string& arch);
    // A new dummy package that requires `name`, or the newest version of it when `versioned`.
    Package* addRequirerFor(const std::string& component, const std::string& name, bool versioned);

    void getBriefPackagesInfo();
    void getFullPackagesInfo();

    const packages_t& getPackages() const { return packages; }
    const std::set<Source*>& getSources() const { return sources; }

    // The packages of a name, the one added last first.
    package_range_t findByName(const PooledString& name);
    Package* findPackage(const PooledString& name, const Version* version, const std::string& arch);
    // Among equal versions the package added last wins.
    Package* findNewest(const std::string& name);
    Package* findNewestMatching(const std::string& name, const Package::Predicate& accept);
    // The newest package of pkg's name above pkg's version; null when none is newer.
    Package* findNewer(const Package* pkg);
    Package* findNewestProvider(const std::string& name);
    // The installed package of the name; of several, the highest version, the first added among equals.
    Package* getInstalledPackage(const PooledString& name);
    // The version that the installed-package database reports for `name`; "" without such a database.
    std::string getPkgVersionFromSystemDirectly(const std::string& name);

    // Candidates only: the provides with the same target as `dep`, satisfying it or not.
    provides_range_t findProviders(const boost::shared_ptr<Dependency>& dep);
    relation_range_t getObsoletedBy(const Package* pkg);
    relation_range_t getObsoleters(const Package* pkg);
    Package* findObsoleter(const Package* pkg);
    relation_range_t getConflicts(const Package* pkg);
    bool conflicts(const Package* a, const Package* b);
    relation_range_t getBackConflicts(const Package* pkg);
    pairs_range_t getRequired(const Package* pkg);
    pairs_range_t getRequirers(const Package* pkg);
    void resolveRequires();

    // The provides of dep's name whose package satisfies `dep`.
    dependencies_t findSatisfyingProviders(const boost::shared_ptr<Dependency>& dep);
    // The dependencies of `list` whose owner's base name is an installed package that satisfies `dep`.
    dependencies_t filterInstalledSatisfied(const dependencies_t& list, const boost::shared_ptr<Dependency>& dep);

    // Fetches the packages whose source can deliver them, reporting stage 1 of each to `progress`.
    void download(const cpkgs_t& pkgs, PackagesProgress* progress = nullptr);
    // Lists the packages into "/tmp/libkw3_package_names_<tag>.txt" for debugging.
    void dumpStat(const std::string& tag);

    // For each non-system package, the requirement that `resolveRequires` last found no provider for.
    std::map<const Package*, boost::shared_ptr<Dependency>> unresolved;

private:
    friend class Source;  // a source enters and leaves `sources` itself

    struct DependencyTargetHash {
        std::size_t operator()(const boost::shared_ptr<Dependency>& dep) const { return dep->hash(); }
    };
    struct DependencySameTarget {
        bool operator()(const boost::shared_ptr<Dependency>& a, const boost::shared_ptr<Dependency>& b) const
        {
            return a->isSameTarget(b);
        }
    };
    // Provides grouped by target, in list order; the key is the first provide of its group.
    typedef std::unordered_map<boost::shared_ptr<Dependency>, dependencies_t, DependencyTargetHash,
                               DependencySameTarget>
        provides_index_t;

    // Appends without marking anything stale.
    void append(Package* pkg);
    void markAllStale();
    void updateNamesCache();
    void updateProvidesCache();
    void regenObsoletes();
    void addObsoletesOf(Package* pkg);
    void regenConflicts();
    void addConflictsOf(Package* pkg);
    void addFileConflictsOf(Package* pkg);
    static relation_range_t rangeOf(const relation_t& relation, const Package* pkg);
    static bool hasPair(const relation_t& relation, const Package* from, const Package* to);
    // Logs a requirement that nothing satisfies and, for a package not installed, records it. `text` is
    // scratch space for the line.
    void noteUnresolved(Package* pkg, const boost::shared_ptr<Dependency>& require, std::ostringstream& text);
    void placeRequirers(const std::vector<uint32_t>& target_positions, uint32_t positions);
    pairs_range_t requiresRangeOf(const packages_t& partners, const std::vector<uint32_t>& starts,
                                  const Package* pkg) const;

    packages_t packages;
    std::unordered_set<const Package*> listed;  // the packages of the list, for a quick membership test
    std::vector<Regexp> ignore_patterns;
    std::set<Source*> sources;
    std::set<Package*> removed;
    std::map<std::string, Package*> removers;
    // Both relations are grouped by the list position that a package had when they were built: its
    // partners run from starts[position] to starts[position + 1].
    std::unordered_map<const Package*, uint32_t> requires_positions;
    packages_t required;  // the packages that satisfy a requirement of the package
    std::vector<uint32_t> required_starts;
    packages_t requirers;  // the packages with a requirement that the package satisfies, in list order
    std::vector<uint32_t> requirers_starts;
    bool requires_stale;
    relation_t conflicts_index;
    relation_t back_conflicts;
    bool conflicts_stale;
    relation_t obsoletes;
    relation_t obsoleters;
    bool obsoletes_stale;
    // Each name's packages in reverse list order.
    std::unordered_map<PooledString, packages_t> names;
    bool names_stale;
    provides_index_t provides;
    bool provides_stale;
};

// True for a removal marker in a package list: a dummy package (type 'd') whose first obsoletes entry
// names the package to remove, as addRemoverFor makes it.
bool isRemover(const Package* package);
// A remover whose first obsoletes entry names `target.first`, made for the architecture
// `target.second` exactly: an empty architecture matches the removers made without one.
bool isRemoverFor(const std::pair<std::string, std::string>& target, const Package* package);
// Whether the list holds a remover for the target.
bool holdsRemoverFor(const cpkgs_t& list, const std::pair<std::string, std::string>& target);

#endif
