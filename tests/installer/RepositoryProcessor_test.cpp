#include "installer/RepositoryProcessor.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Repository.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "installer/SourceManager.h"
#include "installer/SourceZanth.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/LoadedBuild.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/printed.h"

namespace {

const ForcedSystem DEBIAN{"Linux", "Debian", "12", "x86_64", ""};

// A configurator that counts how often it is asked to rewrite the sources.
class CountingConfigurator : public ListConfigurator {
public:
    CountingConfigurator() : ListConfigurator({}) {}
    void configureSources() override { ++calls; }
    int calls = 0;
};

// A flow's selection over three builds of their own products, each with an apt source.
struct Flow {
    explicit Flow(const TempDir& dir) : fetcher(SourceUrl(dir.path() + "/"), dir.path()), sources(&repository)
    {
        for (const char* product : {"base", "addon", "extra"}) {
            const boost::shared_ptr<Build> build = makeProductBuild(repository, product);
            TempDir fileDir;
            build->setBuildFile(loadedBuild(fileDir, "build_dir=\"d\" apt_source=\"d/ ./\"")->getBuildFile());
            builds.push_back(build);
        }
    }
    boost::shared_ptr<KwComponent> component(size_t build, const std::string& name, KwComponent::install_mode_t mode)
    {
        const boost::shared_ptr<KwComponent> made = componentInMode(repository, builds[build], name, mode);
        manager.roots.push_back(made);
        return made;
    }
    void process(SystemSpecificConfigurator* configurator)
    {
        RepositoryProcessor processor(&repository, &fetcher, &sources, configurator);
        manager.walk(processor);
    }
    // The builds of the active sources, by index, in the sources' order.
    std::vector<size_t> active() const
    {
        std::vector<size_t> found;
        for (const auto& source : sources.getSources())
            if (const SourceZanth* product = dynamic_cast<const SourceZanth*>(source.get()))
                for (size_t i = 0; i < builds.size(); ++i)
                    if (product->getLiveBuild() == builds[i])
                        found.push_back(i);
        return found;
    }

    Repository repository;
    FileFetcher fetcher;
    SourceManager sources;
    std::vector<boost::shared_ptr<Build>> builds;  // base, addon, extra
    ComponentManager manager;
};

void onDebian(const std::function<void()>& checks)
{
    const ChildResult result = runChecksOnSystem(DEBIAN, checks);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace

TEST(RepositoryProcessorTest, SourcesFollowTheSelectionWithOneReconfiguration)
{
    TempDir dir;
    onDebian([&] {
        Flow flow(dir);
        // base: installed, and a component the walk meets first that stays uninstalled. addon: a
        // component newly selected after one that is not. extra: attached, but its only
        // component is requested for removal.
        flow.component(0, "spare", KwComponent::INSTALL);
        flow.component(0, "core", KwComponent::UP2DATE);
        flow.component(1, "unwanted", KwComponent::INSTALL);
        const boost::shared_ptr<KwComponent> wanted = flow.component(1, "wanted", KwComponent::INSTALL);
        wanted->requestInstall();
        flow.component(2, "gone", KwComponent::UPGRADE)->requestRemove();
        flow.sources.addBuildSources(flow.fetcher, flow.builds[0]);
        flow.sources.addBuildSources(flow.fetcher, flow.builds[2]);

        CountingConfigurator configurator;
        {
            LogFile log;
            flow.process(&configurator);
            EXPECT_EQ(flow.active(), (std::vector<size_t>{0, 1}));
            EXPECT_EQ(configurator.calls, 1);
            EXPECT_TRUE(log.has("DEBUG: Determining components that need to be obtained from addons repositories..."));
            EXPECT_TRUE(log.has("DEBUG: activating repositories from " + printed(*flow.builds[1]) + "."));
            EXPECT_TRUE(log.has("DEBUG: deactivating repositories from " + printed(*flow.builds[2]) + "."));
            EXPECT_TRUE(log.has("Info: dynamic components selection was changed, reconfiguring sources."));
            EXPECT_FALSE(log.has("DEBUG: activating repositories from " + printed(*flow.builds[0]) + "."));
        }

        // The same selection again: nothing changes, no reconfiguration.
        LogFile log;
        flow.process(&configurator);
        EXPECT_EQ(flow.active(), (std::vector<size_t>{0, 1}));
        EXPECT_EQ(configurator.calls, 1);
        EXPECT_FALSE(log.has("Info: dynamic components selection was changed, reconfiguring sources."));

        // Without a configurator, the deselected addon loses its sources and nothing else happens.
        wanted->requestLeave();
        flow.process(nullptr);
        EXPECT_EQ(flow.active(), (std::vector<size_t>{0}));
        EXPECT_EQ(configurator.calls, 1);
        EXPECT_TRUE(log.has("DEBUG: deactivating repositories from " + printed(*flow.builds[1]) + "."));
    });
}
