#ifndef KW_INSTALLER_INSTALLER_H
#define KW_INSTALLER_INSTALLER_H

#include "common/Package.h"

// True for a removal marker in a package list: a dummy package (type 'd') whose first obsoletes entry
// names the package to remove.
bool isRemover(const Package* package);

#endif
