#ifndef KW_INSTALLER_RELEASESCOMPATIBILITYCHECKER_H
#define KW_INSTALLER_RELEASESCOMPATIBILITYCHECKER_H

#include <sstream>
#include <string>
#include <vector>

#include "installer/BuildManager.h"

class Repository;

// Vets the selected releases against each other before their components are loaded: products that
// cannot be installed together are errors; a release that works better with another version of an
// other selected product is a warning, with a notice for the web interface.
class ReleasesCompatibilityChecker : public BuildManager::Visitor {
public:
    struct bestwith_t {
        std::string id;           // the other selected release's product
        std::string description;  // its display name
        std::string version;      // the better-fitting version of it
        std::string instead_of;   // the selected version of it
    };

    struct bestwith_info_t {
        std::string id;  // the product of the release with the finding
        std::string description;
        std::string version;
        std::vector<bestwith_t> list;
    };

    ReleasesCompatibilityChecker(const BuildManager* build_manager, Repository* repository);

    void visitRelease(boost::shared_ptr<Release> h) override;
    void visitAddon(const Addon*) override {}
    void visitBuild(const Build*) override {}

    bool isWarning() const { return !warnings.str().empty(); }
    bool isError() const { return !errors.str().empty(); }
    // Whether some release of a's product in the main list names b's product as best with.
    bool isBestWith(const Release& a, const Release& b) const;
    // Records a warning and a notice when another version of o's product fits h better.
    void reportBest(const Release& h, const Release& o);

    std::ostringstream warnings;  // each warning preceded by a line break
    std::vector<bestwith_info_t> notices;
    std::ostringstream errors;  // one incompatibility per line

private:
    void reportIncompatible(const Release& h, const Release& o);
    bestwith_info_t* findBestWithInfo(const std::string& product_id);

    const BuildManager* build_manager;
    Repository* repository;
};

#endif
