#ifndef KW_COMMON_REMOVER_H
#define KW_COMMON_REMOVER_H

#include <string>
#include <utility>

class Package;

// A remover is the dummy package (type 'd') that obsoletes an installed package so that the
// package tool removes it (Repository::addRemoverFor makes them).
bool isRemover(const Package* package);
// A remover whose first obsoletes entry names `target.first`, made for the architecture
// `target.second` exactly: an empty architecture matches the removers made without one.
bool isRemoverFor(const std::pair<std::string, std::string>& target, const Package* package);

#endif
