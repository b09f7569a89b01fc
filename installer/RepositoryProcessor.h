#ifndef KW_INSTALLER_REPOSITORYPROCESSOR_H
#define KW_INSTALLER_REPOSITORYPROCESSOR_H

#include <map>

#include <boost/shared_ptr.hpp>

#include "installer/ComponentManager.h"

class Build;
class FileFetcher;
class Repository;
class SourceManager;
class SystemSpecificConfigurator;

// Makes the product repositories follow the selection: walked over the forest once the selection is
// made, it attaches the sources of the builds some component of which will be installed, drops those
// of the builds no longer needed, and lets the configurator rewrite the package manager's sources
// once when anything changed.
class RepositoryProcessor : public ComponentManager::Visitor {
public:
    // None is owned; the configurator may be null, and then only the source manager changes. The
    // repository is not read: the sources reach it through their manager.
    RepositoryProcessor(Repository* repository, FileFetcher* fetcher, SourceManager* sources,
                        SystemSpecificConfigurator* configurator);

    void visit(const boost::shared_ptr<KwComponent>& component) override;
    void finish() override;

private:
    FileFetcher* fetcher;
    SourceManager* sources;
    SystemSpecificConfigurator* configurator;
    std::map<boost::shared_ptr<Build>, bool> needed;  // by owner: whether some component will be installed
};

#endif
