#include "tests/support/LoadedForest.h"

#include <gtest/gtest.h>

#include "installer/KwComponent.h"
#include "installer/Release.h"
#include "installer/SourceUrl.h"

LoadedForest::LoadedForest(const std::string& source)
    : fetcher(SourceUrl(source.back() == '/' ? source : source + "/"), target.path()),
      catalogue(new BuildManager(fetcher, ""))
{
}

void LoadedForest::load(const std::vector<std::string>& releases, bool commit, bool skipFolioforge)
{
    catalogue->calculateReleasesState(repository);
    for (const std::string& id : releases)
        catalogue->findRelease(id)->set_selected(true);
    BuildLoader loader(&repository, &manager, &fetcher, &sources, &params, &guards);
    loader.skipFolioforgeComponent = skipFolioforge;
    catalogue->visit(loader);
    if (commit)
        loader.commit();
}

std::vector<boost::shared_ptr<KwComponent>> LoadedForest::components() const
{
    struct Collect : ComponentManager::Visitor {
        void visit(const boost::shared_ptr<KwComponent>& component) override { found.push_back(component); }
        std::vector<boost::shared_ptr<KwComponent>> found;
    } collect;
    manager.walk(collect);
    return collect.found;
}

boost::shared_ptr<KwComponent> LoadedForest::component(const std::string& fullName) const
{
    for (const auto& c : components())
        if (c->getFullName() == fullName)
            return c;
    ADD_FAILURE() << "no component " << fullName;
    return boost::shared_ptr<KwComponent>();
}
