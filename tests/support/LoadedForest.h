#ifndef KW_TESTS_SUPPORT_LOADEDFOREST_H
#define KW_TESTS_SUPPORT_LOADEDFOREST_H

#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/FileFetcher.h"
#include "common/Repository.h"
#include "installer/BuildLoader.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "installer/ParamManager.h"
#include "installer/SourceManager.h"
#include "tests/support/TempDir.h"

class KwComponent;

// One flow's build loading over a catalogue source (a directory or a URL), with nothing installed
// unless the test puts it into the repository first. Make it in a child: the running system is
// detected once per process.
struct LoadedForest {
    explicit LoadedForest(const std::string& source);

    // Computes the release states against the repository, selects the releases and walks the
    // catalogue with a loader; commits unless told not to. The loader's failure passes.
    void load(const std::vector<std::string>& releases, bool commit = true, bool skipFolioforge = false);

    // The components of the forest, those of sub-groups and radio groups included, in walk order.
    std::vector<boost::shared_ptr<KwComponent>> components() const;
    // The component of that full name ("product/name"); a test failure and null without one.
    boost::shared_ptr<KwComponent> component(const std::string& fullName) const;

    TempDir target;
    Repository repository;
    FileFetcher fetcher;
    std::unique_ptr<BuildManager> catalogue;
    ComponentManager manager;
    SourceManager sources{&repository};
    ParamManager params;
    BuildLoader::guards_t guards;
};

#endif
