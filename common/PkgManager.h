#ifndef KW_COMMON_PKGMANAGER_H
#define KW_COMMON_PKGMANAGER_H

#include <functional>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <boost/shared_ptr.hpp>

#include "common/Dependency.h"
#include "common/Package.h"
#include "common/Reason.h"
#include "common/error.h"

class Repository;

// The package model's dependency resolver. From a start list of packages to install it grows the
// necessary list: the packages that satisfy their requirements, chosen among several candidates by
// fixed rules, and dummy removers for installed packages that have to go. A package that cannot be
// part of a consistent result is black-listed with its reason and the search starts again
// (`unhappy`); black-listing a requested package fails with an explanation. Every decision is
// traced in the log at the debug level.
class PkgManager {
public:
    static const int RESOLVE_RPMDEPS = 0;  // the plain dependency closure
    static const int RESOLVE_INSTALL = 1;  // installed packages are fixed

    struct Options {
        int mode;
        bool versionFirst;  // mode 1: versions decide before the package types
        bool forceRemove;   // mode 1: installed packages may be removed
    };

    struct Statistics {
        int newOs = 0;
        int upgradeOs = 0;
        int removers = 0;
        long sizeOs = 0;
        int newBuild = 0;
        int upgradeBuild = 0;
        long sizeBuild = 0;
        int toInstall = 0;
        int toUpgrade = 0;
        int toRemove = 0;
        long totalSize = 0;
    };

    // The black list changed: the search starts again.
    class unhappy {};

    struct Deferred {
        boost::shared_ptr<Dependency> dependency;
        bool indirect;
    };

    typedef std::unordered_set<boost::shared_ptr<Dependency>, Dependency::Hash, Dependency::Equal> dependency_set_t;
    typedef std::unordered_map<boost::shared_ptr<Dependency>, std::string, Dependency::Hash, Dependency::SameTarget>
        gravity_t;
    typedef std::map<const Package*, boost::shared_ptr<Reason>> black_list_t;
    typedef std::set<const Package*> package_set_t;

    // The necessary list belongs to the caller, who fills it with the start packages.
    PkgManager(Repository* repository, cpkgs_t* necessaryList, Options options);
    PkgManager(const PkgManager&) = delete;
    PkgManager& operator=(const PkgManager&) = delete;

    void addRequestedPackages(const cpkgs_t& list);
    // The whole closure of the necessary list, restarting after every black-listing. With lastOnly
    // only the last package is expanded in the first pass, and its black-listing is a failure.
    void findNecessaryPackages(bool lastOnly);
    // Resolves the requirements of one package.
    void findRequiredFor(const Package* p);

    // Takes the best resolvers of the dependency into the necessary list; false when the choice
    // cannot be made on this level. Bit 0 of the flags resolves it again even when it was.
    bool selectBestResolvers(const boost::shared_ptr<Dependency>& dependency, bool indirect, int level, int flags);
    // False when the package (or its twin of the same name, version and architecture) is there.
    bool appendNecessaryPackage(const Package* p, bool indirect);
    void addToNecessary(const Package* p, bool indirect);

    void addDeferred(const boost::shared_ptr<Dependency>& dependency, bool indirect);
    // Resolves one deferred dependency, trying the levels from the loosest.
    void resolveDefferedDependencies();

    bool isRequested(const Package* p) const;
    void getStatistics(Statistics& out) const;

    static void addGravity(const std::string& dependency, const std::string& name);
    bool hasProvider(const std::string& name) const;
    cpkgs_t getIndirectPackages() const;

    // ---- choice rules ----
    // Only for two packages of the same name; > 0 keeps currBest, < 0 rejects it.
    int cmpPriority(const Package* currBest, const Package* currTest) const;
    int cmpDirPriority(const Package* a, const Package* b) const;
    int cmpArchPriority(const Package* a, const Package* b) const;
    std::string getOsArch() const;
    int smartGravity(const boost::shared_ptr<Dependency>& dependency, const Package* currBest, const Package* currTest,
                     int level);
    // Resolves both choices in trials and compares what they would do.
    int branchCompare(const Package* currBest, const Package* currTest);
    bool conflictsWithSystemOrNecessary(const Package* p) const;
    int countUnsatisfiedRequires(const Package* p) const;
    static bool isArchCompatible(const std::string& a, const std::string& b);

    // ---- black list ----
    bool isBlack(const Package* p, bool quiet = false) const;
    const Package* findNewerNonBlackPackage(const Package* p) const;
    void addBlackPackage(const Package* p, const boost::shared_ptr<Reason>& reason);
    // Black-lists the package and whatever it takes along, then throws `unhappy`; returns only when
    // the package was black already.
    void appendBlackPackage(const Package* p, const boost::shared_ptr<Reason>& reason);
    void blackSamePackages(black_list_t& newBlacks, const Package* p, const boost::shared_ptr<Reason>& reason) const;
    [[noreturn]] void blackListMasterAndThrowUnhappy(const boost::shared_ptr<Dependency>& dependency);
    // Of a necessary package a and a new package b that conflict: 0 black-lists a, 1 b, 2 no choice.
    int selectBlackPackage(const Package* a, const Package* b, const boost::shared_ptr<Reason>& reason);
    void blackListUnresolved();

    // ---- indirect rules: what installing p breaks among the other packages, and its repair ----
    // Requirers of an older version of p's name that p no longer satisfies.
    void findIndirectHardwiredDependencies(const Package* p);
    void checkHardwired(const Package* newPkg, const Package* old, const Package* requirer);
    // Requirers of the packages that p obsoletes.
    void findIndirectObsoletesDependency(const Package* p);
    // The packages p conflicts with, and those that conflict with p.
    void findIndirectConflictsDependency(const Package* p);
    void findIndirectBackConflicts(const Package* p);
    // The same version of p for the other architectures in which its name is installed.
    void findIndirectArchDeps(const Package* p);
    // Whether newer requires s and nothing but packages of s's name (in mode 1 of its version and
    // architecture too) resolve its requirements.
    bool dependsOnlyOn(const Package* newer, const Package* s) const;

    // ---- solution modes: each offers the acceptable packages as the resolvers of a dependency of
    // its own; true when it did ----
    bool replaceModeSolution(const boost::shared_ptr<Dependency>& dependency, const Package* old,
                             const Package* newPkg);
    bool archModeSolution(const boost::shared_ptr<Dependency>& dependency, const Package* p);
    bool upgradeModeSolution(const Package* p);
    bool obsoleteModeSolution(const Package* p);
    void removeModeSolution(const Package* p);
    void addRemover(const std::string& name);

    // ---- problem reports ----
    void explainProblem(const Package* p, package_set_t& visited);
    void explainClash(const Package* first, const Package* second);
    std::string getReport() const;

    // Process-wide, shared by every resolver and its trials, never cleared.
    static gravity_t gravity;                        // dependency -> the name that resolves it; "" all
    static std::set<std::string> preferredPackages;  // names preferred at level 3
    // The warnings of the indirect rules already written.
    static std::set<std::string> conflictWarnings;
    static dependency_set_t obsoletesWarnings;
    static dependency_set_t hardwiredWarnings;

    Repository* repository;
    cpkgs_t* necessaryList;
    Options options;
    int level;  // the level of the choices made while expanding packages; the caller may set it
    cpkgs_t startList;
    cpkgs_t requestedList;
    std::string osArch;  // the server architecture; the caller sets it
    std::list<Deferred> deferredList;
    dependency_set_t resolvedDeps;
    black_list_t blackList;  // only grows
    std::list<std::string> report;
    package_set_t indirectPackages;

private:
    // Runs `work` on a trial resolver over a copy of the repository starting from `start`, with this
    // resolver's black list; the class-5 error that ended it, or its statistics.
    std::optional<error> runTrial(const cpkgs_t& start, const std::function<void(PkgManager&)>& work,
                                  Statistics& statistics);
    // The statistics of the necessary list with the candidate added and resolved in a trial, or the
    // class-5 error that ended the trial.
    std::optional<error> runBranch(const Package* candidate, Statistics& statistics);
    bool inNecessary(const Package* p) const;
    // Whether the list holds p or a package of its name, version and architecture.
    bool twinInNecessary(const Package* p) const;
    bool nameInNecessary(const PooledString& name) const;
    bool isObsoletedInNecessary(const Package* p) const;
    bool resolvedToAllForBoth(const Package* a, const Package* b) const;
    // Runs one indirect rule; its failure is logged as the prefix, p and the suffix, and passed on.
    void runIndirectRule(void (PkgManager::*rule)(const Package*), const Package* p, const char* prefix,
                         const char* suffix);
    // The packages of p's name in index order, taken out of the repository before the rules append.
    cpkgs_t packagesNamedAs(const Package* p) const;
    // The step shared by the solution modes: the dependency resolved now, or deferred.
    void resolveIndirectly(const boost::shared_ptr<Dependency>& synthetic);
    // The same for a dependency that has a resolver; false when it has none.
    bool resolveOffered(const boost::shared_ptr<Dependency>& synthetic);
    // Whether newer's requirements can be met along with newPkg (the walk of checkHardwired).
    bool requirementsMetWith(const Package* newer, const Package* newPkg) const;
    // The repair of a conflict with c short of removing it: a newer c, or an obsoleter of c.
    bool upgradeOrObsolete(const Package* p, const Package* c);
    // The last remedy of the rules: the warning, when it is written for the first time, and the
    // removal of the victim, whose failure is explained and passed on.
    void removeAsLastResort(bool firstWarning, const Package* victim, const std::string& warning,
                            const std::string& failure);
    // The two tests that leave a requirement of an obsoleted package's requirer alone.
    bool metByAnotherNecessary(const boost::shared_ptr<Dependency>& d, const Package* s);
    bool obsoleterInNecessary(const Package* l);
    void printList(int level, const cpkgs_t& list) const;
};

#endif
