#include "installer/RepositoryProcessor.h"

#include <set>
#include <string>

#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/checked_pointer.h"
#include "installer/Build.h"
#include "installer/KwComponent.h"
#include "installer/SourceManager.h"
#include "installer/SourceZanth.h"
#include "installer/SystemSpecificConfigurator.h"

RepositoryProcessor::RepositoryProcessor(Repository*, FileFetcher* fetcher_, SourceManager* sources_,
                                         SystemSpecificConfigurator* configurator_)
    : fetcher(fetcher_), sources(sources_), configurator(configurator_)
{
    Log::stream(Log::LEVEL_DEBUG, true)
        << "DEBUG: Determining components that need to be obtained from addons repositories...";
}

void RepositoryProcessor::visit(const boost::shared_ptr<KwComponent>& component)
{
    const boost::shared_ptr<Build>& build = component->getBuild();
    if (!build)
        throw KW_NULL_POINTER_ERROR();
    bool& wanted = needed.emplace(build, false).first->second;
    if (component->willBeInstalled())
        wanted = true;
}

void RepositoryProcessor::finish()
{
    const checked_pointer<SourceManager> manager(sources);
    std::set<boost::shared_ptr<Build>> active;
    for (const auto& source : manager->getSources()) {
        const SourceZanth* product = dynamic_cast<const SourceZanth*>(source.get());
        if (product && product->getKind() == 'b')
            active.insert(product->getLiveBuild());
    }

    bool changed = false;
    for (const auto& entry : needed) {
        const bool attached = active.count(entry.first) != 0;
        if (entry.second && !attached) {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: activating repositories from " << *entry.first << ".";
            manager->addBuildSources(*checked_pointer<FileFetcher>(fetcher), entry.first);
            changed = true;
        } else if (!entry.second && attached) {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: deactivating repositories from " << *entry.first << ".";
            manager->dropSources(entry.first);
            changed = true;
        }
    }
    if (changed && configurator) {
        Log::stream(Log::LEVEL_VERBOSE, true)
            << "Info: dynamic components selection was changed, reconfiguring sources.";
        configurator->configureSources();
    }
}
