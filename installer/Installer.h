#ifndef KW_INSTALLER_INSTALLER_H
#define KW_INSTALLER_INSTALLER_H

#include <string>
#include <utility>

#include "common/Package.h"

// True for a removal marker in a package list: a dummy package (type 'd') whose first obsoletes entry
// names the package to remove.
bool isRemover(const Package* package);
// A remover whose first obsoletes entry names `target.first`, made for the architecture
// `target.second` exactly: an empty architecture matches the removers made without one.
bool isRemoverFor(const std::pair<std::string, std::string>& target, const Package* package);

#endif
