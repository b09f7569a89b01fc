#include "installer/SourceManager.h"

#include <sstream>

#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Repository.h"
#include "common/SourceSysRPM.h"
#include "installer/ComponentManager.h"
#include "installer/Options.h"
#include "installer/SourceConfig.h"
#include "installer/SourceSysZanthExt.h"
#include "installer/SourceZanthApt.h"
#include "installer/SourceZanthYum.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/LoadedBuild.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/thrown.h"

namespace {

const ForcedSystem ALMA{"Linux", "AlmaLinux", "8", "x86_64", ""};
const ForcedSystem DEBIAN{"Linux", "Debian", "12", "x86_64", ""};
const ForcedSystem ORACLE{"Linux", "Oracle", "8", "i686", ""};

// Each source as kind, persistence and its line's first line ("ext" for the extension source).
std::string listed(const SourceManager& manager)
{
    std::string text;
    for (const auto& source : manager.getSources()) {
        if (const SourceZanth* product = dynamic_cast<const SourceZanth*>(source.get())) {
            std::ostringstream name;
            product->print(name);
            const std::string line = product->getSourceLine();
            text += name.str() + (product->isPersistent() ? " persistent " : " temporary ") +
                    line.substr(0, line.find('\n')) + "\n";
        } else if (dynamic_cast<const SourceSysZanthExt*>(source.get())) {
            text += "ext\n";
        }
    }
    return text;
}

struct Builds {
    explicit Builds(const TempDir& dir)
    {
        TempDir other;
        full =
            loadedBuild(dir, "build_dir=\"d\" yum_repo_id=\"z\" apt_source=\"d/ ./\" persistent_apt_source=\"p/ ./\"",
                        "<thirdparty thirdparty_dir=\"d/t\"/><extras extras_dir=\"d/x\"/>");
        bare = loadedBuild(other, "build_dir=\"b\" yum_repo_id=\"bare\" persistent_apt_source=\"b/ ./\"");
    }
    boost::shared_ptr<Build> full;
    boost::shared_ptr<Build> bare;
};

// What a flow holds: a repository, the installation source's fetcher, two builds and the manager.
struct Flow {
    Flow(const TempDir& dir, const TempDir& target)
        : fetcher(SourceUrl(dir.path() + "/"), target.path()), builds(dir), manager(&repository)
    {
    }
    Repository repository;
    FileFetcher fetcher;
    Builds builds;
    SourceManager manager;
};

}  // namespace

TEST(SourceManagerTest, TheRedHatFamilyGetsYumRepositoriesForEveryDirectory)
{
    TempDir dir, target;
    ChildResult r = runChecksOnSystem(ALMA, [&] {
        Flow flow(dir, target);
        flow.manager.addBuildSources(flow.fetcher, flow.builds.full);
        flow.manager.addBuildSources(flow.fetcher, flow.builds.bare);
        ComponentManager components;
        flow.manager.addExtensionsSource(&components);
        EXPECT_EQ(listed(flow.manager),
                  "ZanthSource_b_zanth-10.0 temporary [z]\n"
                  "ZanthSource_t_zanth-10.0 temporary [z-thirdparty]\n"
                  "ZanthSource_x_zanth-10.0 temporary [z-extras]\n"
                  "ZanthSource_b_zanth-10.0 temporary [bare]\n"
                  "ext\n");
        EXPECT_EQ(flow.repository.getSources().size(), 5u);

        // Dropping a build's sources keeps the others in their order; a build without sources
        // changes nothing.
        flow.manager.dropSources(flow.builds.full);
        EXPECT_EQ(listed(flow.manager), "ZanthSource_b_zanth-10.0 temporary [bare]\next\n");
        flow.manager.dropSources(flow.builds.full);
        EXPECT_EQ(flow.manager.getSources().size(), 2u);
        EXPECT_EQ(flow.repository.getSources().size(), 2u);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(SourceManagerTest, DebianGetsTheTemporaryThenThePersistentAptLine)
{
    TempDir dir, target;
    ChildResult r = runChecksOnSystem(DEBIAN, [&] {
        Options::instance().source.assign(dir.path() + "/");
        Flow flow(dir, target);
        flow.manager.addBuildSources(flow.fetcher, flow.builds.full);
        flow.manager.addBuildSources(flow.fetcher, flow.builds.bare);
        const std::string deb = "deb [signed-by=/etc/apt/keyrings/zanth.gpg] file://" + dir.path() + "/zanth/";
        EXPECT_EQ(listed(flow.manager), "ZanthSource_b_zanth-10.0 temporary " + deb + "d/ ./\n" +
                                            "ZanthSource_b_zanth-10.0 persistent " + deb + "p/ ./\n" +
                                            "ZanthSource_b_zanth-10.0 persistent " + deb + "b/ ./\n");

        // Builds that are gone count as the same: their sources go together.
        flow.builds.full.reset();
        flow.manager.dropSources(boost::weak_ptr<Build>());
        EXPECT_EQ(flow.manager.getSources().size(), 1u);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(SourceManagerTest, AnotherSystemIsAnInternalErrorAndKeepsTheSourcesMadeBefore)
{
    TempDir dir, target;
    ChildResult r = runChecksOnSystem(ORACLE, [&] {
        Flow flow(dir, target);
        const error e = caught([&] { flow.manager.addBuildSources(flow.fetcher, flow.builds.full); });
        EXPECT_TRUE(boost::regex_search(e.getText(), boost::regex(", installer/SourceManager\\.cpp, line 63\\.\n$")))
            << e.getText();
        EXPECT_TRUE(flow.manager.getSources().empty());
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;

    // A failing source leaves the sources made before it.
    r = runChecksOnSystem(ALMA, [&] {
        Repository repository;
        FileFetcher fetcher(SourceUrl(dir.path() + "/"), target.path());
        TempDir other;
        auto broken = loadedBuild(other, "build_dir=\"d\"", "<thirdparty thirdparty_dir=\"../outside\"/>");
        SourceManager manager(&repository);
        EXPECT_TRUE(thrown<error>([&] { manager.addBuildSources(fetcher, broken); }));
        EXPECT_EQ(manager.getSources().size(), 1u);
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(SourceManagerTest, BuildFilesAgreeOnTheTemplateNameAndListEachForcedRemovalOnce)
{
    LoggedRun run = runLogged([] {
        ORACLE.apply();
        Repository repository;
        SourceManager manager(&repository);
        EXPECT_EQ(manager.getOsTemplateName(), "oracle-8-x86");

        manager.addForceRemovePackage("zanth-broken");
        manager.addForceRemovePackage("zanth-old");
        manager.addForceRemovePackage("zanth-broken");
        EXPECT_EQ(manager.getForceRemovePackages(), (std::vector<std::string>{"zanth-broken", "zanth-old"}));

        manager.setOsTemplateName("-debian-12-x86_64");
        manager.setOsTemplateName("-debian-12-x86_64");
        const error clash = caught([&manager] { manager.setOsTemplateName("-almalinux-8-x86_64"); });
        EXPECT_EQ(clash.getText(),
                  "OS template name is already defined as -debian-12-x86_64 (try set name "
                  "-almalinux-8-x86_64)\n");
        EXPECT_EQ(codes(clash), std::make_tuple(1, 1, 1, 2));
        EXPECT_EQ(manager.getOsTemplateName(), "-debian-12-x86_64");
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(linesMatching(run.log, "template name"),
              "1 Warning: the OS template name was not set by the build files; generated oracle-8-x86, which may not "
              "match the real template\n");
}

TEST(SourceManagerTest, ReloadingSystemPackagesReadsTheRpmDatabaseAgain)
{
    Repository repository;
    SourceManager manager(&repository);
    manager.reloadSystemPackages();  // no rpm source: nothing happens
    SourceConfig declared(&repository);
    Package* pkg = new DebPackage("zanth-core", "1.0-1");
    pkg->setType('b');
    declared.addPackage(pkg);
    manager.reloadSystemPackages();
    EXPECT_EQ(repository.getPackages().size(), 1u);
}
