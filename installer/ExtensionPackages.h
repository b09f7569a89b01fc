#ifndef KW_INSTALLER_EXTENSIONPACKAGES_H
#define KW_INSTALLER_EXTENSIONPACKAGES_H

#include "common/Package.h"
#include "common/Repository.h"
#include "common/checked_pointer.h"

// Extensions are installed and removed by the product's extension tool, not by the system's package
// tool. A transaction's package list holds them as extension-catalogue packages to install or
// upgrade, and as removal markers naming installed extensions. Both operations stop at the first
// extension that fails, leaving the extensions after it untouched.

// Uninstalls every installed extension that a removal marker of the list names.
void removeExtensionPackages(checked_pointer<Repository> repository, const cpkgs_t& packages);

// Installs or upgrades every extension-catalogue package of the list that is not installed yet. The
// repository is not consulted: both operations are bound to it alike.
void installExtensionPackages(checked_pointer<Repository> repository, const cpkgs_t& packages);

#endif
