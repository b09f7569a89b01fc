#ifndef KW_INSTALLER_ADDON_H
#define KW_INSTALLER_ADDON_H

#include <string>
#include <vector>

#include "common/Version.h"
#include "installer/Build.h"

class Release;

// A separately published extension of a product: builds of its own but no releases, and records of
// the product versions it is meant for. The build loader attaches its build to the first selected
// release it applies to.
class Addon {
public:
    // The addon fits releases of prod_id from `from` to `to`, both included.
    struct compat_t {
        std::string prod_id;
        Version from;
        Version to;
    };

    // `lazy`: the addon's packages are looked up in a source of their own.
    Addon(const std::string& id, const std::string& name, const std::string& version, bool lazy);

    void addCompatible(const std::string& prod_id, const std::string& from, const std::string& to);
    bool hasCompatible() const { return !compatibility.empty(); }
    // The first record of the release's product that the release's version fits decides.
    bool applicableTo(const Release& release) const;

    const std::string& getId() const { return id; }
    const std::string& getName() const { return name; }
    const std::string& getVersion() const { return version; }
    bool isLazy() const { return lazy; }
    const BuildList& getBuilds() const { return builds; }
    BuildList& getBuilds() { return builds; }

private:
    std::string id;
    std::string name;
    std::string version;  // the catalogue keeps addons sorted by it
    bool lazy;
    BuildList builds;  // without a parent release until one is attached
    std::vector<compat_t> compatibility;
};

#endif
