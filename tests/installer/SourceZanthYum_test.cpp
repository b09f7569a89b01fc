#include "installer/SourceZanthYum.h"

#include <algorithm>
#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Repository.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "installer/Options.h"
#include "installer/SourceManager.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LoadedBuild.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

namespace {

const ForcedSystem ALMA{"Linux", "AlmaLinux", "8", "x86_64", ""};

// dnf over the repository files of `dir`, with its cache, logs and state there too.
std::string dnf(const TempDir& dir, const std::string& arguments)
{
    return shellOutput(shell_command({"dnf", "-q", "--releasever=8", "--setopt=reposdir=" + dir / "repos",
                                      "--setopt=cachedir=" + dir / "cache", "--setopt=logdir=" + dir / "log",
                                      "--setopt=persistdir=" + dir / "state"}) +
                       " " + arguments + " 2>&1");
}

}  // namespace

// dnf judges the sections that the source manager makes for a Red Hat build of the mirror: it lists
// each repository by id and name, enabled as the build file says, and reads it, local and served.
TEST(SourceZanthYum, DnfListsAndReadsTheSections)
{
    GeneratedMirror mirror;
    LoopbackServer server = LoopbackServer::files(mirror.path());
    const std::string config = mirror.firstBuild("rpm");
    for (const std::string& base : {mirror.path() + "/", server.url()}) {
        SCOPED_TRACE(base);
        TempDir work;
        const ChildResult result = runChecksOnSystem(ALMA, [&] {
            Options::instance().source.assign(base);
            Repository repository;
            FileFetcher fetcher(SourceUrl(base), work / "fetched");
            SourceManager manager(&repository);
            // The sources hold their build weakly: it lives as long as the flow's catalogue, here the body.
            const auto build = loadedBuildFile(mirror.path() + "/" + config, config, "zanth");
            manager.addBuildSources(fetcher, build);
            ASSERT_EQ(manager.getSources().size(), 3u);
            shellOutput("mkdir " + shell_word(work / "repos"));
            std::vector<std::string> states;
            const char kinds[] = {'b', 't', 'x'};
            for (size_t i = 0; i < 3; ++i) {
                const auto& source = dynamic_cast<const SourceZanthYum&>(*manager.getSources()[i]);
                writeWholeFile(work / "repos/" + source.getRepoId() + ".repo", source.getSourceLine() + "\n");
                // The thirdparty repository is the persistent one.
                states.push_back(source.getRepoId() + (kinds[i] == 't' ? " enabled\n" : " disabled\n"));
            }
            std::sort(states.begin(), states.end());
            std::string expected;
            for (const std::string& state : states)
                expected += state;
            EXPECT_EQ(dnf(work, "repolist --all | awk 'NR > 1 {print $1, $NF}' | sort"), expected);
            EXPECT_NE(dnf(work, "repolist --all | tr -s ' '").find("zanth-10.0.0 Zanth 10.0.0"), std::string::npos);

            for (size_t i = 0; i < 3; ++i) {
                const auto& source = dynamic_cast<const SourceZanthYum&>(*manager.getSources()[i]);
                SCOPED_TRACE(source.getRepoId());
                std::string names;
                for (const auto& package : mirror.repository(config, kinds[i]).get_child("packages"))
                    names += package.second.get<std::string>("name") + "\n";
                const std::string listed = dnf(
                    work, "--disablerepo='*' --enablerepo=" + source.getRepoId() + " repoquery --qf '%{name}' | sort");
                EXPECT_EQ(listed, shellOutput("printf '%s' " + shell_word(names) + " | sort"));
            }
        });
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }
}
