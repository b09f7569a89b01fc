#ifndef KW_TESTS_SUPPORT_RESOLVERFIXTURE_H
#define KW_TESTS_SUPPORT_RESOLVERFIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include "common/PkgManager.h"
#include "common/Repository.h"
#include "tests/support/ResolverUniverse.h"

// A package of a test universe.
UniversePackage pkg(const std::string& name, const std::string& version = "1.0", Package::type_t type = 'u',
                    const std::vector<std::string>& requires = {}, const std::vector<std::string>& provides = {},
                    const std::vector<std::string>& conflicts = {}, const std::string& arch = "amd64");

// A repository read from cache records and a resolver on it, as the installer uses it: mode 1,
// the server architecture "amd64", the start packages requested.
class ResolverWorld {
public:
    explicit ResolverWorld(const std::vector<UniversePackage>& packages);

    // The listed package (of the architecture, when one is given); a test failure (and an
    // exception) when there is none.
    const Package* get(const std::string& name, const std::string& version = "1.0", Package::type_t type = 'u',
                       const std::string& arch = "");
    // A resolver whose necessary list starts with `start`, all of them requested.
    PkgManager& resolver(const cpkgs_t& start, PkgManager::Options options = PkgManager::Options{1, false, false});
    // The names and versions of the necessary list, "name-version" joined by blanks.
    std::string result() const;

    Repository repository;
    cpkgs_t necessary;
    std::unique_ptr<PkgManager> manager;
};

// The installer's use of the resolver for one package of its install list: mode 1, level 5, the
// server architecture, the install list requested, and up to 100 tries of findRequiredFor, each on
// an empty result, starting again after every restart; then the error of "err_prep_group".
// Returns the tries made.
int resolveLikeInstaller(Repository& repository, const cpkgs_t& installList, const Package* package, cpkgs_t& result);

#endif
