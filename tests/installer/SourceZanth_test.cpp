#include "installer/SourceZanth.h"

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Messages.h"
#include "common/RPMPackage.h"
#include "common/Repository.h"
#include "common/fileops.h"
#include "common/textutils.h"
#include "installer/Build.h"
#include "installer/Options.h"
#include "installer/SourceZanthApt.h"
#include "installer/SourceZanthYum.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoadedBuild.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

std::string internalErrorAt(const std::string& file, int line)
{
    return "An internal error occured in Zanth Installer .*, " + escape_regex(file) + ", line " + std::to_string(line) +
           "\\.\n";
}

bool matches(const std::string& text, const std::string& pattern)
{
    return boost::regex_match(text, boost::regex(pattern));
}

std::string printed(const Source& source)
{
    std::ostringstream out;
    source.print(out);
    return out.str();
}

std::vector<std::string> names(const Repository& repository)
{
    std::vector<std::string> list;
    for (const Package* pkg : repository.getPackages())
        list.push_back(pkg->getName().c_str());
    return list;
}

class SourceZanthTest : public ::testing::Test {
protected:
    TempDir dir;
    TempDir mirror;
    TempDir target;
    Repository repository;
    FileFetcher fetcher{SourceUrl(mirror.path() + "/"), target.path()};
};

}  // namespace

TEST_F(SourceZanthTest, ARepositoryLiesBelowItsBuildFileAndIsNamedAfterItsRelease)
{
    auto build = loadedBuild(dir, "build_dir=\"deb12\" headers_file=\"h.gz\" persistent_repo=\"yes\"",
                             "<thirdparty thirdparty_dir=\"deb12/tp\"/><extras extras_dir=\"deb12/x\"/>");
    SourceZanthYum b(&repository, fetcher, build, 'b');
    SourceZanthYum t(&repository, fetcher, build, 't');
    EXPECT_EQ(printed(b), "ZanthSource_b_zanth-10.0");
    EXPECT_EQ(printed(t), "ZanthSource_t_zanth-10.0");
    EXPECT_TRUE(b.isPersistent());  // from the record
    EXPECT_FALSE(t.isPersistent());
    EXPECT_TRUE(b.isDownloadable());
    EXPECT_NE(b.getSourceLine().find("\nbaseurl=file://" + mirror.path() + "/zanth/builds/10.0/deb12/\n"),
              std::string::npos);
    EXPECT_NE(t.getSourceLine().find("\nbaseurl=file://" + mirror.path() + "/zanth/builds/10.0/deb12/tp/\n"),
              std::string::npos);

    // An apt source's persistence is the caller's.
    SourceZanthApt apt(&repository, fetcher, build, 'x', "deb12/x/ ./", false);
    EXPECT_FALSE(apt.isPersistent());
    EXPECT_EQ(printed(apt), "ZanthSource_x_zanth-10.0");

    // A build file at the top of the source: the repository is the record's directory there.
    auto top = loadedBuild(dir, "build_dir=\"deb12\"", "", "deb12.inf3", "");
    SourceZanthYum at_top(&repository, fetcher, top, 'b');
    EXPECT_NE(at_top.getSourceLine().find("\nbaseurl=file://" + mirror.path() + "/deb12/\n"), std::string::npos);

    // Without its build a source has no release to name and no line to write.
    build.reset();
    top.reset();
    EXPECT_EQ(printed(b), "ZanthSource_b_");
    const error gone = caught([&b] { b.getSourceLine(); });
    EXPECT_NE(gone.getText().find(", installer/SourceZanthYum.cpp, line "), std::string::npos) << gone.getText();
    EXPECT_EQ(gone.e_class, 3);
}

TEST_F(SourceZanthTest, ConstructionRefusesUnknownKindsEmptyDirectoriesAndEmptyAptLines)
{
    auto build = loadedBuild(dir, "build_dir=\"deb12\"");
    struct Case {
        std::function<void()> make;
        std::string file;
        int line;
    } cases[] = {
        {[&] { SourceZanthYum(&repository, fetcher, build, 'q'); }, "installer/SourceZanth.cpp", 58},
        {[&] { SourceZanthYum(&repository, fetcher, build, 't'); }, "installer/SourceZanth.cpp", 62},
        {[&] { SourceZanthApt(&repository, fetcher, build, 'x', "x/ ./", false); }, "installer/SourceZanth.cpp", 62},
        {[&] { SourceZanthApt(&repository, fetcher, build, 'b', "", true); }, "installer/SourceZanthApt.cpp", 16},
    };
    for (const Case& c : cases) {
        const error e = caught(c.make);
        EXPECT_TRUE(matches(e.getText(), internalErrorAt(c.file, c.line))) << e.getText();
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    }
    EXPECT_TRUE(repository.getSources().empty());
}

TEST_F(SourceZanthTest, TheAptLineJoinsTheSourceTheBuildsDirectoryAndTheBuildFilesText)
{
    const std::string deb = "deb [signed-by=/etc/apt/keyrings/zanth.gpg] ";
    struct Case {
        std::string source;
        std::string build_source;
        std::string apt_line;
        std::string line;
    } cases[] = {
        {"/srv/mirror/", "zanth", "builds/10.0/deb12/ ./", deb + "file:///srv/mirror/zanth/builds/10.0/deb12/ ./"},
        {"http://127.0.0.1:8/mirror/", "zanth", "builds/10.0/deb12/ ./",
         deb + "http://127.0.0.1:8/mirror/zanth/builds/10.0/deb12/ ./"},
        {"http://127.0.0.1:8/mirror/", "", "builds/10.0/deb12/ ./",
         deb + "http://127.0.0.1:8/mirror/builds/10.0/deb12/ ./"},
        // A source that names a file: the base is cut before the apt line's path after its first
        // directory, when that occurs in it.
        {"http://127.0.0.1:8/mirror/products.inf3", "zanth", "builds/10.0/deb12/ ./",
         deb + "http://127.0.0.1:8/mirror/zanth/builds/10.0/deb12/ ./"},
        {"http://127.0.0.1:8/mirror/10.0/deb12/zanth.inf3", "zanth", "builds/10.0/deb12/ ./",
         deb + "http://127.0.0.1:8/mirror/zanth/builds/10.0/deb12/ ./"},
        {"/srv/mirror/10.0/deb12/zanth.inf3", "", "debian/10.0/deb12 bookworm main",
         deb + "file:///srv/mirror/debian/10.0/deb12 bookworm main"},
        {"http://127.0.0.1:8/mirror/products.inf3", "zanth", "builds/ ./", deb + "zanth/builds/ ./"},  // empty stop
        // No "/" before the first blank: the first word is looked for.
        {"http://127.0.0.1:8/deb12/products.inf3", "zanth", "deb12 ./", deb + "http://127.0.0.1:8/zanth/deb12 ./"},
    };
    LoggedRun run = runLogged([&] {
        for (const Case& c : cases) {
            Options::instance().source.assign(c.source);
            auto build = loadedBuild(dir, "build_dir=\"deb12\"", "", "zanth/builds/10.0/deb12.inf3", c.build_source);
            SourceZanthApt apt(&repository, fetcher, build, 'b', c.apt_line, false);
            EXPECT_EQ(apt.getSourceLine(), c.line) << c.source << " " << c.apt_line;
        }
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(linesMatching(run.log, "apt source line"),
              "2 Warning: no '/' before the first blank of the apt source line 'deb12 ./': its first word is taken as "
              "the directory to look for in the installation source\n");
    EXPECT_NE(run.log.find("3 DEBUG: getSourceLine: variable stop_before=10.0/deb12/\n"), std::string::npos);
}

TEST_F(SourceZanthTest, TheYumSectionNamesItsRepositoryAndSaysWhetherItIsEnabledAndChecked)
{
    auto named =
        loadedBuild(dir, "build_dir=\"d\" yum_repo_id=\"zanth-10\" yum_repo_name=\"Zanth 10\" gpgcheck=\"true\"",
                    "<thirdparty thirdparty_dir=\"d/tp\" persistent_repo=\"yes\"/>"
                    "<extras extras_dir=\"d/x\" yum_repo_id=\"own\" yum_repo_name=\"Own\"/>");
    named->setGpgCheck(true);
    Options::instance().skipGpgCheck = false;
    SourceZanthYum b(&repository, fetcher, named, 'b');
    SourceZanthYum t(&repository, fetcher, named, 't');
    SourceZanthYum x(&repository, fetcher, named, 'x');
    const std::string base = "baseurl=file://" + mirror.path() + "/zanth/builds/10.0/d";
    EXPECT_EQ(b.getSourceLine(), "[zanth-10]\nname=Zanth 10\n" + base + "/\nenabled=0\ngpgcheck=1");
    EXPECT_EQ(t.getSourceLine(),
              "[zanth-10-thirdparty]\nname=Zanth 10 thirdparty\n" + base + "/tp/\nenabled=1\ngpgcheck=1");
    EXPECT_EQ(x.getSourceLine(), "[own]\nname=Own\n" + base + "/x/\nenabled=0\ngpgcheck=1");

    // Skipping signature checks clears every gpgcheck; a build without names lends the release's.
    Options::instance().skipGpgCheck = true;
    EXPECT_EQ(b.getSourceLine(), "[zanth-10]\nname=Zanth 10\n" + base + "/\nenabled=0\ngpgcheck=0");
    Options::instance().skipGpgCheck = false;
    auto plain = loadedBuild(dir, "build_dir=\"d\"", "<thirdparty thirdparty_dir=\"d/tp\"/>");
    plain->setGpgCheck(false);
    EXPECT_EQ(SourceZanthYum(&repository, fetcher, plain, 'b').getRepoId(), "zanth-10.0-dist");
    SourceZanthYum tp(&repository, fetcher, plain, 't');
    EXPECT_EQ(tp.getSourceLine(),
              "[zanth-10.0-thirdparty]\nname=zanth-10.0 thirdparty\n" + base + "/tp/\nenabled=0\ngpgcheck=0");

    // A served source is written as it is.
    FileFetcher served(SourceUrl("http://127.0.0.1:8/mirror/"), target.path());
    EXPECT_NE(SourceZanthYum(&repository, served, plain, 'b')
                  .getSourceLine()
                  .find("\nbaseurl=http://127.0.0.1:8/mirror/zanth/builds/10.0/d/\n"),
              std::string::npos);
}

namespace {

const char* const RECORDS =
    "F:zanth-core-10.0-1.x86_64.rpm\nN:zanth-core\nV:10.0\nL:1\nA:x86_64\nR:zanth-base\nX:\n"
    "\n  \nF:zanth-base-10.0-1.x86_64.rpm\nN:zanth-base\nV:10.0\nL:1\nA:x86_64\nX:\n"
    "F:zanth-web_10.0-1_amd64.deb\nN:zanth-web\nV:10.0-1\nA:amd64\nP:zanth-httpd\nX:\n";

// Writes the records gzipped as the build's header file `name` and returns its path.
std::string writeHeaders(const TempDir& mirror, const std::string& name, const std::string& records)
{
    const std::string dir = mirror / "zanth/builds/10.0/d";
    const std::string path = dir + "/" + name;
    shellOutput("mkdir -p " + shell_quote(dir));
    writeWholeFile(path + ".plain", records);
    shellOutput("gzip -n -c " + shell_quote(path + ".plain") + " > " + shell_quote(path));
    return path;
}

}  // namespace

TEST_F(SourceZanthTest, TheHeaderFileAddsItsPackagesAsTheRepositorysKind)
{
    const std::string headers = writeHeaders(mirror, "headers.gz", RECORDS);
    auto build = loadedBuild(dir, "build_dir=\"d\" headers_file=\"headers.gz\"",
                             "<extras extras_dir=\"d\" headers_file=\"headers.gz\"/>");
    SourceZanthYum b(&repository, fetcher, build, 'b');
    b.loadFull();
    const std::string counted = shellOutput("gunzip -c " + shell_quote(headers) + " | grep -c '^X:'");
    ASSERT_EQ(repository.getPackages().size(), std::stoul(counted));
    EXPECT_EQ(names(repository), (std::vector<std::string>{"zanth-core", "zanth-base", "zanth-web"}));
    for (const Package* pkg : repository.getPackages()) {
        EXPECT_EQ(pkg->getType(), 'b');
        EXPECT_EQ(pkg->getSource(), &b);
    }
    {
        SourceZanthYum x(&repository, fetcher, build, 'x');
        x.loadFull();
        EXPECT_EQ(repository.getPackages().size(), 6u);
        EXPECT_EQ(repository.getPackages().back()->getType(), 'x');
    }
    EXPECT_EQ(repository.getPackages().size(), 3u);  // a source takes its packages along

    // Without a header file there is nothing to read.
    auto bare = loadedBuild(dir, "build_dir=\"d\"");
    SourceZanthYum without(&repository, fetcher, bare, 'b');
    without.loadFull();
    EXPECT_EQ(repository.getPackages().size(), 3u);
}

TEST_F(SourceZanthTest, ABrokenHeaderFileFailsAfterTheRecordsBeforeTheFault)
{
    writeHeaders(mirror, "broken.gz", std::string(RECORDS) + "F:zanth-x-1-1.x86_64.rpm\nN:zanth-x\nA:x86_64\nX:\n");
    const std::string truncated = writeHeaders(mirror, "truncated.gz", RECORDS);
    // Without the end of its trailer: every record arrives, and then gunzip fails.
    shellOutput("truncate -s -4 " + shell_quote(truncated));
    LoggedRun run = runLogged([this] {
        auto build = loadedBuild(dir, "build_dir=\"d\" headers_file=\"broken.gz\"",
                                 "<extras extras_dir=\"d\" headers_file=\"truncated.gz\"/>");
        SourceZanthYum b(&repository, fetcher, build, 'b');
        const error broken = caught([&b] { b.loadFull(); });
        EXPECT_EQ(broken.getText(), messages.get("err_prodpkg_read") + "\n");
        EXPECT_EQ(codes(broken), std::make_tuple(1, 1, 1, 3));
        EXPECT_EQ(repository.getPackages().size(), 3u);

        SourceZanthYum x(&repository, fetcher, build, 'x');
        const error cut = caught([&x] { x.loadFull(); });
        EXPECT_EQ(codes(cut), std::make_tuple(4, 2, 2, 2)) << cut.getText();
        EXPECT_EQ(repository.getPackages().size(), 6u);
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(linesMatching(run.log, "^Error: Unable to process"), "0 Error: Unable to process " +
                                                                       (mirror / "zanth/builds/10.0/d/broken.gz") +
                                                                       ": " + messages.get("err_cache_pkgvers") + "\n");
}

TEST_F(SourceZanthTest, TheHeaderFilesNameReachesTheShellAsOneWord)
{
    const std::string name = "h';touch pwned;'.gz";
    writeHeaders(mirror, name, RECORDS);
    ChildResult r = runChecksInChild([&] {
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        auto build =
            loadedBuild(dir, "build_dir=\"d\" headers_file=\"" + std::string("h&apos;;touch pwned;&apos;.gz") + "\"");
        SourceZanthYum b(&repository, fetcher, build, 'b');
        b.loadFull();
        EXPECT_EQ(repository.getPackages().size(), 3u);
        EXPECT_FALSE(fileops::exists(dir / "pwned"));
    });
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST_F(SourceZanthTest, OnlyRpmPackagesWithASizeAreDownloaded)
{
    const std::string log = dir / "requests.log";
    const std::string file = mirror / "zanth/builds/10.0/d/zanth-core-10.0-1.x86_64.rpm";
    shellOutput("mkdir -p " + shell_quote(mirror / "zanth/builds/10.0/d"));
    writeWholeFile(file, std::string(5000, 'r'));
    LoopbackServer server = LoopbackServer::scripted(mirror.path(), log);
    FileFetcher served(SourceUrl(server.url()), target.path());
    auto build = loadedBuild(dir, "build_dir=\"d\"");
    SourceZanthYum b(&repository, served, build, 'b');

    RPMPackage core("zanth-core", "10.0-1");
    core.setFileName("zanth-core-10.0-1.x86_64.rpm");
    core.setSize("5000");
    core.setMd5(shellOutput("md5sum " + shell_quote(file)).substr(0, 32));
    b.downloadPackage(&core);
    EXPECT_EQ(core.getFileName(), target / "zanth/builds/10.0/d/zanth-core-10.0-1.x86_64.rpm");
    EXPECT_EQ(system(("cmp -s " + shell_quote(file) + " " + shell_quote(core.getFileName())).c_str()), 0);

    RPMPackage empty("zanth-empty", "10.0-1");
    empty.setFileName("zanth-empty-10.0-1.x86_64.rpm");
    DebPackage web("zanth-web", "10.0-1");
    web.setFileName("zanth-web_10.0-1_amd64.deb");
    web.setSize("5000");
    b.downloadPackage(&empty);
    b.downloadPackage(&web);
    b.downloadPackage(nullptr);
    EXPECT_EQ(empty.getFileName(), "zanth-empty-10.0-1.x86_64.rpm");
    EXPECT_EQ(web.getFileName(), "zanth-web_10.0-1_amd64.deb");
    EXPECT_EQ(loggedRequestValues(log, "target"),
              std::vector<std::string>{"/zanth/builds/10.0/d/zanth-core-10.0-1.x86_64.rpm"});
}
