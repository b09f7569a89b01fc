#include "installer/SourceZanthApt.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Repository.h"
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

const ForcedSystem DEBIAN{"Linux", "Debian", "12", "x86_64", ""};

// apt's sources, keyrings, indexes and cache private to the child.
ChildOptions privateApt()
{
    ChildOptions options;
    options.tmpfs = {"/etc/apt/sources.list.d", "/etc/apt/keyrings", "/var/lib/apt/lists", "/var/cache/apt"};
    return options;
}

}  // namespace

// apt judges the lines that the source manager makes for a Debian build of the mirror: it reads the
// signed repository without a word about signatures, and the mirror's version becomes the candidate.
TEST(SourceZanthApt, AptReadsTheSignedRepositoryThroughTheLine)
{
    GeneratedMirror mirror;
    LoopbackServer server = LoopbackServer::files(mirror.path());
    const std::string config = mirror.firstBuild("deb");  // zanth/builds/VERSION/SLUG.inf3
    const std::string inTree =
        config.substr(config.find("builds/") + 7, config.size() - 5 - config.find("builds/") - 7);
    const std::string served = server.url() + "zanth/builds/" + inTree + "/ ./";
    struct Case {
        const char* name;
        std::string source;
        std::string repository;  // where the line must lead
    } cases[] = {
        {"local", mirror.path() + "/", "file://" + mirror.path() + "/zanth/builds/" + inTree + "/ ./"},
        {"served", server.url(), served},
        {"a source naming a file", server.url() + "products.inf3", served},
        // The base is cut before the apt line's path after its first directory.
        {"a source naming a file inside the repository tree", server.url() + inTree + "/zanth.inf3", served},
    };
    TempDir empty;
    writeWholeFile(empty / "sources.list", "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir target;
        const ChildResult result = runChecksOnSystem(
            DEBIAN,
            [&] {
                Options::instance().source.assign(c.source);
                Repository repository;
                FileFetcher fetcher(SourceUrl(c.source), target.path());
                SourceManager manager(&repository);
                // The sources hold their build weakly: it lives as long as the flow's catalogue, here the body.
                const auto build = loadedBuildFile(mirror.path() + "/" + config, config, "zanth");
                manager.addBuildSources(fetcher, build);
                ASSERT_EQ(manager.getSources().size(), 2u);  // the temporary and the persistent line, here alike
                std::vector<std::string> lines;
                for (const auto& source : manager.getSources())
                    lines.push_back(dynamic_cast<const SourceZanthApt&>(*source).getSourceLine());
                EXPECT_EQ(lines[0], lines[1]);
                EXPECT_EQ(lines[0], "deb [signed-by=/etc/apt/keyrings/zanth.gpg] " + c.repository);

                shellOutput("cp " + shell_word(mirror.path() + "/keyring.gpg") + " /etc/apt/keyrings/zanth.gpg");
                writeWholeFile("/etc/apt/sources.list.d/50mk_kitwright.list", lines[0] + "\n");
                shellOutput("mkdir -p /var/lib/apt/lists/partial /var/cache/apt/archives/partial");
                EXPECT_EQ(shellOutput("LC_ALL=C apt-get -o Dir::Etc::SourceList=" + shell_word(empty / "sources.list") +
                                      " update 2>&1 | grep -e '^W:' -e '^E:'"),
                          "");
                EXPECT_EQ(shellOutput("LC_ALL=C apt-cache policy zanth-core | sed -n 's/^ *Candidate: //p'"),
                          "10.0.0-1\n");
            },
            privateApt());
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }
}
