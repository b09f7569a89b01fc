#ifndef KW_INSTALLER_PACKAGESREPORTER_H
#define KW_INSTALLER_PACKAGESREPORTER_H

#include <vector>

#include "common/Package.h"
#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class Repository;

// What a package transaction does to the server: the packages it installs, the installed ones it
// upgrades and those it removes.
class PackagesReporter : public Reporter {
public:
    enum Kind { INSTALL = 0, UPGRADE = 1, REMOVE = 2 };

    // One line of the answer.
    struct pkgentry {
        pkgentry(const Package* package, int kind);

        const Package* package;
        int kind;
    };

    // `packages`: the transaction as the installer resolved it, in its order. `xml`: the XML form
    // instead of the text.
    PackagesReporter(const cpkgs_t* packages, Repository* repository, bool xml);

    std::ostream& put(std::ostream& out) const override;

private:
    // The lines sorted by kind, then by name in byte order. Removal markers stand for the
    // installed packages they remove; removals the transaction implies by obsoletes are added.
    std::vector<pkgentry> entries() const;
    std::ostream& putText(std::ostream& out, const std::vector<pkgentry>& list) const;
    std::ostream& putXmlGroups(std::ostream& out, const std::vector<pkgentry>& list) const;

    const cpkgs_t* packages;
    checked_pointer<Repository> repository;
    bool xml;
};

#endif
