#include "installer/DebianAPTConfigurator.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Package.h"
#include "common/Repository.h"
#include "common/fileops.h"
#include "installer/Build.h"
#include "installer/BuildInfFile.h"
#include "installer/GpgKeyManager.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "installer/SourceManager.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DpkgDatabase.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/HostApt.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const std::string TEMPORARY_HEADER = "## Temporary repositories used by Zanth Installer during installation or update.";
const std::string PERSISTENT_HEADER = "## Persistent repositories for Zanth Products.";

void run(const std::string& command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// A Zanth 10 build of the product "zanth" from a build file naming the apt lines.
boost::shared_ptr<Build> productBuild(const TempDir& dir, const std::string& attributes)
{
    const auto product =
        boost::make_shared<Product>("zanth", "Zanth", false, Product::keypackages_t(), std::vector<std::string>(),
                                    std::vector<std::string>(), "", "", "", "", std::vector<std::string>());
    const auto release = boost::make_shared<Release>(product, "zanth-10.0", "Zanth 10", "", "10.0", "0");
    const std::string path = dir / "build.inf3";
    writeWholeFile(path,
                   "<build os_name=\"Linux\" os_vendor=\"Debian\" os_version=\"12\" os_arch=\"x86_64\" "
                   "environment=\"\" build_dir=\"repo\" " +
                       attributes +
                       "><product id=\"zanth\"><release id=\"zanth-10.0\" version=\"10.0\"/></product>"
                       "<component name=\"core\" description=\"Core\"><keypackages><keypackage name=\"k\"/>"
                       "</keypackages></component></build>");
    auto build = boost::make_shared<Build>(release, "Linux", "Debian", "12", "x86_64", "bookworm", "", "b.inf3", "");
    build->setBuildFile(boost::make_shared<BuildInfFile>(path, "b.inf3"));
    return build;
}

// The mirror of the package tools' tests, made once. The Debian 12 build repository holds kwt-a
// (depending on kwt-b), kwt-b, kwt-c 1.0-1 and 2.0-1 and the i386 package kwt-i, signed by the
// mirror's key, with the Release version 12.
const GeneratedMirror& mirror()
{
    static const GeneratedMirror generated({"--model", GeneratedMirror::packageToolModel()}, "/var/tmp");
    return generated;
}

// That repository's directory, relative to the mirror.
std::string debianRepository()
{
    return mirror().repository(mirror().firstBuild("deb")).get<std::string>("path");
}

// A build file's attribute naming that repository as an apt line, and the line the configurator
// writes for it.
std::string aptLine(const std::string& attribute)
{
    return attribute + "=\"" + debianRepository() + "/ ./\" ";
}

std::string writtenLine()
{
    return "deb [signed-by=/etc/apt/keyrings/zanth.gpg] file://" + mirror().path() + "/" + debianRepository() + "/ ./";
}

// The fingerprint of the mirror's key, with a line end.
std::string fingerprint()
{
    return mirror().manifest().get<std::string>("key_fingerprint") + "\n";
}

// What a flow holds for the configurator: the installation source (the mirror), a repository and the
// source manager.
struct Flow {
    explicit Flow(const TempDir& dir) : fetcher(SourceUrl(mirror().path() + "/"), dir / "fetched"), manager(&repository)
    {
        Options::instance().source.assign(mirror().path() + "/");
    }
    Repository repository;
    FileFetcher fetcher;
    SourceManager manager;
};

// apt's configuration, indexes and cache, dpkg's database and the logs private to the child.
ChildOptions privateApt(const DpkgDatabase& dpkg)
{
    ChildOptions options;
    options.tmpfs = {"/etc/apt", "/var/lib/apt", "/var/cache/apt", "/var/log"};
    dpkg.useIn(options);
    return options;
}

void makeAptDirectories()
{
    run("mkdir -p /etc/apt/sources.list.d /etc/apt/keyrings /etc/apt/trusted.gpg.d /etc/apt/apt.conf.d "
        "/etc/apt/preferences.d /var/lib/apt/lists/partial /var/cache/apt/archives/partial");
}

// The candidate that apt-cache itself gives, "" for none.
std::string aptCandidate(const std::string& name)
{
    const std::string line =
        shellOutput("LC_ALL=C apt-cache policy " + name + " 2>/dev/null | sed -n 's/^ *Candidate: //p'");
    return line == "(none)\n" || line.empty() ? "" : line.substr(0, line.size() - 1);
}

std::string versionOf(const Package* package)
{
    if (!package)
        return "";
    return package->getVersion().toString();
}

// The fingerprints of the primary keys of a keyring.
std::string fingerprints(const std::string& keyring)
{
    return shellOutput("h=$(mktemp -d) && gpg --homedir $h --show-keys --with-colons " + keyring +
                       " 2>/dev/null | awk -F: '/^pub/{p=1} /^fpr/ && p {print $10; p=0}'; rm -rf $h");
}

}  // namespace

TEST(DebianAPTConfigurator, ConfiguresTheSignedRepositoryAndRollsBack)
{
    TempDir dir;
    const std::string key = readWholeFile(mirror().path() + "/key.asc");
    const DpkgDatabase dpkg;
    const std::string host = hostAptState();
    const ChildResult result = runChecksInChild(
        [&] {
            makeAptDirectories();
            // A product list and a legacy keyring from before the run, and a foreign key in the latter.
            const std::string list = DebianAPTConfigurator::persistentListOf("zanth");
            writeWholeFile(list, "deb http://old.invalid/ ./\n");
            run("gpg --batch --quiet --homedir /tmp --dearmor < " KW_TEST_DATA_DIR
                "/gpg/other.asc > /etc/apt/trusted.gpg");
            const std::string legacy = readWholeFile("/etc/apt/trusted.gpg");

            Flow flow(dir);
            auto build = productBuild(dir, aptLine("apt_source") + aptLine("persistent_apt_source"));
            build->setGpgCheck(true);
            build->setGpgPublicKey(key);
            flow.manager.addBuildSources(flow.fetcher, build);
            DebianAPTConfigurator configurator("", nullptr, &flow.manager, &flow.repository);
            {
                LogFile log;
                configurator.configure();
                // The flat repository names no section: both of Debian's are missing.
                EXPECT_TRUE(log.has("Warning: not connected 'contrib' repository section"));
                EXPECT_TRUE(log.has("Warning: not connected 'non-free' repository section"));
            }
            const std::string line = writtenLine();
            EXPECT_EQ(readWholeFile(DebianAPTConfigurator::TEMPORARY_LIST), TEMPORARY_HEADER + "\n" + line);
            EXPECT_EQ(readWholeFile(list), PERSISTENT_HEADER + "\n" + line);
            for (const char* keyring : {"/etc/apt/keyrings/zanth.gpg", "/etc/apt/trusted.gpg.d/zanth.gpg"}) {
                EXPECT_EQ(fingerprints(keyring), fingerprint()) << keyring;
                EXPECT_EQ(shellOutput(std::string("stat -c %a ") + keyring), "644\n");
            }
            // The foreign key stays in the legacy keyring.
            EXPECT_EQ(readWholeFile("/etc/apt/trusted.gpg"), legacy);
            EXPECT_EQ(shellOutput("dpkg --print-foreign-architectures"), "i386\n");
            // apt trusts the repository: no warning or error about its signature.
            // (Both lists name the one repository, which apt only notes.)
            EXPECT_EQ(shellOutput("LC_ALL=C apt-get update 2>&1 | grep -e '^W:' -e '^E:' | "
                                  "grep -v 'is configured multiple times'"),
                      "");

            // Candidates as apt-cache gives them, in a batch and one by one.
            configurator.prepareAvailablePackagesList({"kwt-a", "kwt-c", "kwt-i:i386", "kwt-none"});
            for (const char* name : {"kwt-a", "kwt-c", "kwt-i:i386", "kwt-i", "kwt-none"}) {
                SCOPED_TRACE(name);
                EXPECT_EQ(versionOf(configurator.getAvailablePackage(name)), aptCandidate(name));
            }
            EXPECT_EQ(versionOf(configurator.getAvailablePackage("kwt-c")), "2.0-1");
            EXPECT_EQ(versionOf(configurator.getAvailablePackage("kwt-b")), aptCandidate("kwt-b"));
            {
                // Names of the batch run no command, also without a candidate; others always do.
                LogFile log;
                configurator.getAvailablePackage("kwt-none");
                configurator.getAvailablePackage("kwt-b");
                configurator.getAvailablePackage("kwt-b");
                size_t commands = 0;
                for (const std::string& logged : log.lines())
                    commands += logged.find("apt-cache policy") != std::string::npos;
                EXPECT_EQ(commands, 2u);  // kwt-b twice
                EXPECT_TRUE(log.has("DEBUG DebianAPTConfigurator package 'kwt-none' is present in cache but NULL"));
                size_t lookups = 0;
                for (const std::string& logged : log.lines())
                    lookups += logged == "Package kwt-b with version '1.0-1' is available from apt";
                EXPECT_EQ(lookups, 2u);
            }

            configurator.removeTemporarySources();
            configurator.rollback();
            EXPECT_FALSE(fileops::exists(DebianAPTConfigurator::TEMPORARY_LIST));
            EXPECT_EQ(readWholeFile(list), "deb http://old.invalid/ ./\n");
            EXPECT_EQ(readWholeFile("/etc/apt/trusted.gpg"), legacy);
            EXPECT_FALSE(fileops::exists("/etc/apt/keyrings/zanth.gpg"));
            EXPECT_FALSE(fileops::exists("/etc/apt/trusted.gpg.d/zanth.gpg"));
            EXPECT_EQ(shellOutput("find /etc/apt -name '*.kw_back'"), "");
        },
        privateApt(dpkg));
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_EQ(hostAptState(), host);
}

TEST(DebianAPTConfigurator, CommitKeepsTheFilesAndSourcesAloneRegisterNoArchitecture)
{
    TempDir dir;
    const DpkgDatabase dpkg;
    const ChildResult result = runChecksInChild(
        [&] {
            makeAptDirectories();
            Flow flow(dir);
            // Two builds of one product: one with the key, one that checks signatures but carries none.
            TempDir other;
            auto keyed = productBuild(dir, aptLine("persistent_apt_source"));
            keyed->setGpgCheck(true);
            keyed->setGpgPublicKey(readWholeFile(mirror().path() + "/key.asc"));
            auto keyless = productBuild(other, aptLine("persistent_apt_source"));
            keyless->setGpgCheck(true);
            flow.manager.addBuildSources(flow.fetcher, keyed);
            flow.manager.addBuildSources(flow.fetcher, keyless);
            DebianAPTConfigurator configurator("", nullptr, &flow.manager, &flow.repository);
            {
                LogFile log;
                configurator.configureSources();
                EXPECT_TRUE(
                    log.has("DEBUG: gpg public key for build " + printed(*keyless) +
                            " is empty but gpgcheck is enabled: assume the key is installed in master product"));
            }
            EXPECT_EQ(shellOutput("dpkg --print-foreign-architectures"), "");
            const std::string line = writtenLine();
            const std::string list = DebianAPTConfigurator::persistentListOf("zanth");
            EXPECT_EQ(readWholeFile(list), PERSISTENT_HEADER + "\n" + line + "\n" + line);
            EXPECT_FALSE(fileops::exists(DebianAPTConfigurator::TEMPORARY_LIST));
            EXPECT_EQ(fingerprints("/etc/apt/keyrings/zanth.gpg"), fingerprint());

            configurator.configure();
            configurator.setCommitChanges();
            configurator.finish();
            EXPECT_EQ(readWholeFile(list), PERSISTENT_HEADER + "\n" + line + "\n" + line);
            EXPECT_TRUE(fileops::exists("/etc/apt/keyrings/zanth.gpg"));
            EXPECT_EQ(shellOutput("find /etc/apt -name '*.kw_back'"), "");
        },
        privateApt(dpkg));
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(DebianAPTConfigurator, ReleaseCheckReadsTheSystemPolicy)
{
    // apt-cache replaced by a script that prints a recorded policy text.
    struct Case {
        const char* name;
        ForcedSystem system;
        std::string policy;
        bool passes;
        std::vector<std::string> warnings;  // the missing sections
        bool cdrom;
    };
    const std::string debianLines =
        " 500 http://deb.debian.org/debian bookworm/main amd64 Packages\n"
        "     release v=12.15,o=Debian,a=oldstable,n=bookworm,l=Debian,c=main,b=amd64\n"
        " 500 http://deb.debian.org/debian bookworm/contrib amd64 Packages\n"
        "     release v=12.15,o=Debian,a=oldstable,n=bookworm,l=Debian,c=contrib,b=amd64\n";
    const std::string cdrom =
        " 500 cdrom://[Debian GNU/Linux 11] bullseye/main amd64 Packages\n"
        "     release v=11.2,o=Debian,a=oldoldstable,n=bullseye,l=Debian,c=main,b=amd64\n";
    const std::string ubuntu =
        " 500 http://archive.ubuntu.com/ubuntu jammy/universe amd64 Packages\n"
        "     release v=22.04,o=Ubuntu,a=jammy,n=jammy,l=Ubuntu,c=universe,b=amd64\n"
        " 500 http://archive.ubuntu.com/ubuntu jammy/main amd64 Packages\n"
        "     release v=22.04,o=Ubuntu,a=jammy,n=jammy,l=Ubuntu,c=main,b=amd64\n";
    const std::vector<Case> cases = {
        {"Debian point release", {"Linux", "Debian", "12.11", "aarch64", ""}, debianLines, true, {"non-free"}, false},
        {"Debian with a cdrom of another release",
         {"Linux", "Debian", "12", "aarch64", ""},
         cdrom + debianLines,
         true,
         {"non-free"},
         true},
        {"only another release", {"Linux", "Debian", "12", "aarch64", ""}, cdrom, false, {}, true},
        {"Ubuntu", {"Linux", "Ubuntu", "22.04", "aarch64", ""}, ubuntu, true, {"multiverse"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string policy =
            "Package files:\n 100 /var/lib/dpkg/status\n     release a=now\n" + c.policy + "Pinned packages:\n";
        writeWholeFile(dir / "policy.txt", policy);
        writeWholeFile(dir / "apt-cache", "#!/bin/sh\ncat " + dir / "policy.txt\n");
        chmod((dir / "apt-cache").c_str(), 0755);
        const DpkgDatabase dpkg;
        ChildOptions options = privateApt(dpkg);
        const std::string path = dir.path() + ":/usr/sbin:/usr/bin:/sbin:/bin";
        options.env = {{"PATH", path.c_str()}};
        const ChildResult result = runChecksOnSystem(
            c.system,
            [&] {
                makeAptDirectories();
                Options::instance().skipGpgCheck = true;
                Repository repository;
                SourceManager sources(&repository);
                DebianAPTConfigurator configurator("", nullptr, &sources, &repository);
                LogFile log(0);
                if (c.passes) {
                    configurator.configure();
                } else {
                    const error e = caught([&] { configurator.configure(); });
                    EXPECT_EQ(e.getText(),
                              "Not found source for system packages (release 12) in APT software sources "
                              "configuration:\n" +
                                  policy + "\n");
                }
                EXPECT_EQ(configurator.isCdromSourceFound(), c.cdrom);
                std::vector<std::string> warnings;
                for (const std::string& line : log.lines())
                    if (line.rfind("Warning: not connected '", 0) == 0)
                        warnings.push_back(line.substr(24, line.find('\'', 24) - 24));
                EXPECT_EQ(warnings, c.warnings);
                // Not x86_64: no architecture registered.
                EXPECT_EQ(shellOutput("dpkg --print-foreign-architectures"), "");
            },
            options);
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }
}
