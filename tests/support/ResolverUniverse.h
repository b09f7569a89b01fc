#ifndef KW_TESTS_SUPPORT_RESOLVERUNIVERSE_H
#define KW_TESTS_SUPPORT_RESOLVERUNIVERSE_H

#include <string>
#include <vector>

#include "common/Package.h"

class Repository;

// One package of a test universe: the fields of its installed-package cache record. Its record
// also lists its own "name = version" provide, as the package database does.
struct UniversePackage {
    std::string name;
    std::string version;
    Package::type_t type = 'u';
    std::string arch = "amd64";
    std::vector<std::string> requires;
    std::vector<std::string> provides;  // besides the self provide
    std::vector<std::string> conflicts;
    std::vector<std::string> obsoletes;
    long size = 1000;
};

// The cache record of a Debian package.
std::string cacheRecord(const UniversePackage& package);
// Reads the packages into the repository with the real cache reader, in order, each with its type.
void loadUniverse(Repository& repository, const std::vector<UniversePackage>& packages);
// A seeded universe of `available` package names ("pk<i>", one or two versions each, mostly of type
// 'u', some 'b' and 't') and `installed` installed packages ("sys<i>", type 's', whose requirements
// are met among themselves). Available packages require other names, versions of them, virtual
// names ("virt<i>", provided with versions by several packages, sometimes by an installed one) and
// installed names; a few conflict with other available names. Without `repairs` installed packages
// share no name with available ones and take part in no conflict or obsoletes entry.
// With `repairs`, installing breaks installed packages too: some installed packages require an
// exact version of another installed name, and among the available packages are newer versions of
// installed names, packages that obsolete installed names ("obs<i>") and requirements of and
// conflicts with installed names.
std::vector<UniversePackage> generateUniverse(unsigned seed, int available, int installed, bool repairs = false);

// The packages as dpkg status records (Depends, Provides, Conflicts in Debian syntax), each once;
// dummy packages are left out.
std::string dpkgStatus(const cpkgs_t& packages);
// What an installation of the result leaves on the system: the installed packages that no package
// of the result obsoletes (a remover or any other) or replaces (one of the same name and
// architecture), and the result.
cpkgs_t leftByInstallation(const cpkgs_t& installed, const cpkgs_t& result);
// The packages as the records of a flat repository's "Packages" index.
std::string aptPackagesIndex(const cpkgs_t& packages);

// apt's own configuration for a private state under `dir`: the status file "<dir>/status", and
// lists, cache and sources of its own, so that the host's apt state is neither read nor changed.
// Returns the options as command words.
std::vector<std::string> aptPrivateOptions(const std::string& dir);

struct AptVerdict {
    int exitCode;
    std::string output;
};
// `apt-get check` of status files holding exactly the given packages, one run per set, the runs
// side by side.
std::vector<AptVerdict> aptCheckAll(const std::vector<cpkgs_t>& sets);

#endif
