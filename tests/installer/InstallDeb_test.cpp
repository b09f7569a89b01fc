#include "installer/InstallDeb.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/ExtCatalogPackage.h"
#include "common/FileFetcher.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/fileops.h"
#include "installer/Build.h"
#include "installer/BuildInfFile.h"
#include "installer/ComponentManager.h"
#include "installer/DebianAPTConfigurator.h"
#include "installer/KwComponent.h"
#include "installer/Options.h"
#include "installer/SourceManager.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/HostApt.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

void run(const std::string& command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// A selection whose base component installs the given packages of the repository, under an apt
// configurator of the repository's sources.
struct Selection {
    Selection() : sources(&repository), configurator("", nullptr, &sources, &repository)
    {
        build = makeProductBuild(repository);
        base = componentInMode(repository, build, "base", KwComponent::INSTALL);
        manager.roots.push_back(base);
    }
    // A product package of the repository that the base component installs.
    const Package* select(const std::string& name, const std::string& version, const std::string& arch = "all")
    {
        Package* package = offerPackage(repository, name, version);
        if (arch != "all")
            package->setArch(arch);
        base->packages.push_back(package);
        base->requestInstall();
        return package;
    }
    std::unique_ptr<Installer> installer()
    {
        return std::unique_ptr<Installer>(configurator.createInstaller(&manager));
    }

    Repository repository;
    SourceManager sources;
    DebianAPTConfigurator configurator;
    boost::shared_ptr<Build> build;
    boost::shared_ptr<KwComponent> base;
    ComponentManager manager;
};

std::vector<std::string> printedAll(const cpkgs_t& packages)
{
    std::vector<std::string> texts;
    for (const Package* package : packages) {
        std::ostringstream text;
        text << package->getType() << " " << *package;
        texts.push_back(text.str());
    }
    return texts;
}

// A script in dir that stands in for a tool on PATH.
void writeScript(const std::string& path, const std::string& body)
{
    writeWholeFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

// The names of the packages a bare apt-get simulation of the request installs, sorted.
std::string simulatedInstalls(const std::string& request)
{
    return shellOutput("LC_ALL=C apt-get -s install " + request + " 2>/dev/null | awk '/^Inst /{print $2}' | sort");
}

std::string sortedNames(const cpkgs_t& packages)
{
    std::string lines;
    for (const Package* package : packages)
        lines += std::string(package->getName().c_str()) + "\n";
    return shellOutput("printf '%s' '" + lines + "' | sort");
}

// The installed version of a package, "" when dpkg has none installed.
std::string installedVersion(const std::string& name)
{
    return shellOutput("dpkg-query -W -f '${db:Status-Abbrev}${Version}' " + name +
                       " 2>/dev/null | sed -n 's/^ii *//p'");
}

// The mirror of the package tools' tests, made once, under /var/tmp where the overlays see it. Its
// Debian 12 build repository holds kwt-a (depending on kwt-b), kwt-b, kwt-c 1.0-1 and 2.0-1 and the
// i386 package kwt-i, signed by the mirror's key.
const GeneratedMirror& mirror()
{
    static const GeneratedMirror generated({"--model", GeneratedMirror::packageToolModel()}, "/var/tmp");
    return generated;
}

}  // namespace

TEST(InstallDeb, WantsTheAptConfiguratorAndAptGet)
{
    Repository repository;
    ComponentManager manager;
    const error none = caught([&] { InstallDeb installer(&repository, &manager, nullptr); });
    EXPECT_EQ(codes(none), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(none.getText(), "Internal error: incompatible system configurator type.\n");
    ListConfigurator other({});
    const error foreign = caught([&] { InstallDeb installer(&repository, &manager, &other); });
    EXPECT_EQ(foreign.getText(), none.getText());

    const ChildResult result = runChecksInChild(
        [] {
            Selection selection;
            EXPECT_NE(dynamic_cast<InstallDeb*>(selection.installer().get()), nullptr);
            run("rm /usr/bin/apt-get");
            const error missing = caught([&] { selection.installer(); });
            EXPECT_EQ(codes(missing), std::make_tuple(4, 1, 1, 2));
            EXPECT_EQ(missing.getText(), "The 'apt' utility was not found in the system.\n");
        },
        overlayRootOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(InstallDeb, CommandPrefixAndPackageArguments)
{
    const ChildResult result = runChecksInChild([] {
        Selection selection;
        InstallDeb installer(&selection.repository, &selection.manager, &selection.configurator);
        const std::string options =
            "DEBIAN_FRONTEND=noninteractive LANG=C apt-get --assume-yes --show-upgraded --purge --no-reinstall "
            "-o APT::Get::List-Cleanup=true -o Dpkg::options::=--force-confdef -o Dpkg::options::=--force-confold ";
        EXPECT_EQ(installer.commandPrefix(),
                  options + " -o APT::Get::AllowUnauthenticated=false -o Acquire::Retries=3  -t '*' ");
        Options::instance().skipGpgCheck = true;
        Options::instance().downloadRetries = 7;
        selection.build->setOsReleaseName("bookworm");
        EXPECT_EQ(installer.commandPrefix(),
                  options + " -o APT::Get::AllowUnauthenticated=true -o Acquire::Retries=7  -t 'bookworm*' ");
        // A quote of the catalogue's name stays inside the pattern: the shell hands apt-get one word.
        selection.build->setOsReleaseName("it's $(touch x)");
        const std::string prefix = installer.commandPrefix();
        EXPECT_EQ(shellOutput("set -- " + prefix.substr(prefix.find("-t ")) + "; printf '%s|' \"$@\""),
                  "-t|it's $(touch x)*|");

        // The argument table.
        Repository& repository = selection.repository;
        auto make = [](const std::string& name, const std::string& version, Package::type_t type,
                       const std::string& arch) {
            Package* package = new DebPackage(name, version);
            package->setType(type);
            if (!arch.empty())
                package->setArch(arch);
            return package;
        };
        ExtCatalogPackage extension("ext-tool");
        ExtCatalogPackage* installedExtension = new ExtCatalogPackage("ext-old");
        installedExtension->setType(Package::TYPE_INSTALLED);
        repository.addPackage(installedExtension, nullptr);
        Package* requirer = repository.addRequirerFor("core", "kwt-needed", false);
        Package* plainDummy = make("dummy", "1.0", Package::TYPE_DUMMY, "");
        const std::vector<std::pair<const Package*, std::string>> table = {
            {&extension, ""},
            {requirer, " kwt-needed"},
            {repository.addRemoverFor("ext-old", ""), ""},
            {repository.addRemoverFor("kwt-bar", ""), " kwt-bar-"},
            {repository.addRemoverFor("kwt-bar", "i386"), " kwt-bar:i386-"},
            {plainDummy, ""},
            {make("kwt-c", "1:2.0-1", Package::TYPE_BUILD, "amd64"), " kwt-c:amd64=1:2.0-1"},
            {make("kwt-c", "2.0", Package::TYPE_BUILD, ""), " kwt-c=2.0"},
            {make("kwt-u", "3.0-1", Package::TYPE_SYSTEM, "i386"), " kwt-u:i386"},
            {make("kwt-s", "3.0-1", Package::TYPE_INSTALLED, ""), " kwt-s"},
            {make("kwt odd'name", "1.0", Package::TYPE_SYSTEM, ""), " 'kwt odd'\\''name'"},
        };
        std::string all;
        cpkgs_t list;
        for (const auto& row : table) {
            EXPECT_EQ(InstallDeb::packageArguments({row.first}, repository), row.second) << *row.first;
            all += row.second;
            list.push_back(row.first);
        }
        EXPECT_EQ(InstallDeb::packageArguments(list, repository), all);

        Package* unversioned = new Package("kwt-n", new Version());
        unversioned->setType(Package::TYPE_BUILD);
        const error e = caught([&] { InstallDeb::packageArguments({unversioned}, repository); });
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_NE(e.getText().find("InstallDeb.cpp, line 189."), std::string::npos) << e.getText();
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(InstallDeb, ResolveReadsAptGetsPlan)
{
    // apt-get replaced by a script that records its arguments and prints a recorded plan.
    TempDir dir("/var/tmp");
    writeWholeFile(dir / "plan.txt",
                   "NOTE: This is only a simulation!\n"
                   "Reading package lists...\n"
                   "Inst kwt-a (1.0-1 Kitwright:12/now [all])\n"
                   "Inst kwt-b [0.9-1] (1.0-1 Kitwright:12/now [all])\n"
                   "Inst kwt-lib:i386 (2:1.5-3 Debian:12.11/stable [i386])\n"
                   "Inst kwt-lib (2:1.5-3 Debian:12.11/stable [amd64])\n"
                   "Remv kwt-old [0.1-1]\n"
                   "Purg kwt-old [0.1-1]\n"
                   "Purg kwt-gone:i386 [3.0]\n"
                   "Conf kwt-a (1.0-1 Kitwright:12/now [all])\n"
                   "Conf kwt-lib:i386 (2:1.5-3 Debian:12.11/stable [i386])\n"
                   "Inst  kwt-malformed (1.0)\n");
    writeScript(dir / "apt-get", "printf '%s\\n' \"$@\" > " + dir / "args.txt\ncat " + dir / "plan.txt\n");
    const std::string path = dir.path() + ":/usr/sbin:/usr/bin:/sbin:/bin";
    ChildOptions options = privateProgressOptions();
    options.env = {{"PATH", path.c_str()}};
    const ChildResult result = runChecksInChild(
        [&] {
            {
                // Nothing selected: apt-get does not run.
                Selection selection;
                EXPECT_TRUE(selection.installer()->resolve().empty());
                EXPECT_FALSE(fileops::exists(dir / "args.txt"));
            }
            Selection selection;
            const Package* a = selection.select("kwt-a", "1.0-1");
            std::unique_ptr<Installer> installer = selection.installer();
            LogFile log;
            const cpkgs_t& packages = installer->resolve();
            EXPECT_EQ(readWholeFile(dir / "args.txt"),
                      "--assume-yes\n--show-upgraded\n--purge\n--no-reinstall\n-o\nAPT::Get::List-Cleanup=true\n-o\n"
                      "Dpkg::options::=--force-confdef\n-o\nDpkg::options::=--force-confold\n-o\n"
                      "APT::Get::AllowUnauthenticated=false\n-o\nAcquire::Retries=3\n-t\n*\n--just-print\n"
                      "install\nkwt-a:all=1.0-1\n");
            EXPECT_EQ(printedAll(packages), (std::vector<std::string>{
                                                "b kwt-a-1.0-1.all",
                                                "u kwt-b-1.0-1",
                                                "u kwt-lib-2:1.5-3.i386",
                                                "d dummy_obsoleter_kwt-old-0.0",
                                                "d dummy_obsoleter_kwt-gone_i386-0.0.i386",
                                            }));
            EXPECT_EQ(packages[0], a);  // the repository's own package
            EXPECT_TRUE(isRemoverFor({"kwt-old", ""}, packages[3]));
            EXPECT_TRUE(isRemoverFor({"kwt-gone", "i386"}, packages[4]));
            EXPECT_TRUE(log.has("DEBUG: output: Purg kwt-gone:i386 [3.0]"));
            EXPECT_TRUE(log.has("  add to install list kwt-lib-2:1.5-3.i386"));
            EXPECT_TRUE(log.has("  add to remove list dummy_obsoleter_kwt-old-0.0"));
            EXPECT_TRUE(log.has("Checking whether the package dependencies are resolved."));

            const error twice = caught([&] { installer->resolve(); });
            EXPECT_NE(twice.getText().find("InstallDeb.cpp, line 68."), std::string::npos) << twice.getText();
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(InstallDeb, FailedSimulationStopsWithAptsOutput)
{
    const ChildResult result = runChecksInChild(
        [] {
            removeHostAptSources();
            Selection selection;
            selection.select("kwt-nowhere", "1.0-1");
            std::unique_ptr<Installer> installer = selection.installer();
            LogFile log(0);
            const error e = caught([&] { installer->resolve(); });
            EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 3));
            EXPECT_EQ(e.getText(), "The 'apt' utility failed to install the required packages.\n");
            const std::vector<std::string> lines = log.lines();
            std::string logged;
            for (const std::string& line : lines)
                logged += line + "\n";
            EXPECT_NE(logged.find("E: Unable to locate package kwt-nowhere:all"), std::string::npos) << logged;
            EXPECT_TRUE(log.has("Installation will not continue"));
        },
        overlayRootOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(InstallDeb, InstallsPinsUpgradesAndRemovesRealPackages)
{
    const GeneratedMirror& generated = mirror();
    const std::string config = generated.firstBuild("deb");
    TempDir dir("/var/tmp");
    const std::string host = hostAptState();
    const ChildResult result = runChecksInChild(
        [&] {
            removeHostAptSources();
            Options::instance().source.assign(generated.path() + "/");
            // The product's signed repository, configured as a run does it.
            Selection selection;
            FileFetcher fetcher(SourceUrl(generated.path() + "/"), dir / "fetched");
            selection.build->setBuildFile(boost::make_shared<BuildInfFile>(generated.path() + "/" + config, config));
            selection.build->setSource("zanth");
            selection.build->setGpgCheck(true);
            selection.build->setGpgPublicKey(readWholeFile(generated.path() + "/key.asc"));
            selection.sources.addBuildSources(fetcher, selection.build);
            selection.configurator.configure();
            {
                // A request for kwt-a brings kwt-b, as the bare simulation does.
                selection.select("kwt-a", "1.0-1");
                std::unique_ptr<Installer> installer = selection.installer();
                const cpkgs_t& packages = installer->resolve();
                EXPECT_EQ(sortedNames(packages), simulatedInstalls("kwt-a"));
                EXPECT_EQ(sortedNames(packages), "kwt-a\nkwt-b\n");
                installer->install();
                EXPECT_EQ(installedVersion("kwt-a"), "1.0-1");
                EXPECT_EQ(installedVersion("kwt-b"), "1.0-1");
            }
            {
                // A build package stays at its version while apt's candidate is newer; an i386 package
                // keeps its architecture.
                selection.base->packages.clear();
                selection.select("kwt-c", "1.0-1");
                selection.select("kwt-i", "1.0-1", "i386");
                std::unique_ptr<Installer> installer = selection.installer();
                installer->resolve();
                installer->install();
                EXPECT_EQ(installedVersion("kwt-c"), "1.0-1");
                EXPECT_EQ(shellOutput("LC_ALL=C apt-cache policy kwt-c | sed -n 's/^ *Candidate: //p'"), "2.0-1\n");
                EXPECT_EQ(installedVersion("kwt-i:i386"), "1.0-1");
            }
            {
                // A later pin upgrades; removing a component purges its package and what needs it.
                selection.base->packages.clear();
                selection.select("kwt-c", "2.0-1");
                const auto old = componentInMode(selection.repository, selection.build, "old", KwComponent::UP2DATE);
                old->packages = {offerPackage(selection.repository, "kwt-b", "1.0-1")};
                old->requestRemove();
                selection.manager.roots.push_back(old);
                std::unique_ptr<Installer> installer = selection.installer();
                const cpkgs_t& packages = installer->resolve();
                EXPECT_TRUE(holdsRemoverFor(packages, {"kwt-a", ""})) << printedAll(packages).size();
                installer->install();
                EXPECT_EQ(installedVersion("kwt-c"), "2.0-1");
                EXPECT_EQ(installedVersion("kwt-b"), "");
                EXPECT_EQ(installedVersion("kwt-a"), "");
                EXPECT_EQ(shellOutput("dpkg-query -W -f '${Status}' kwt-b 2>&1"),
                          "dpkg-query: no packages found matching kwt-b\n");
            }
        },
        overlayRootOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_EQ(hostAptState(), host);
}

namespace {

// Another process holding dpkg's front-end lock, as a running package tool does.
class LockHolder {
public:
    explicit LockHolder(const std::string& pidFile)
    {
        run("python3 -c 'import fcntl, os, sys, time\n"
            "lock = open(\"/var/lib/dpkg/lock-frontend\", \"w\")\n"
            "fcntl.lockf(lock, fcntl.LOCK_EX)\n"
            "open(sys.argv[1] + \".new\", \"w\").write(str(os.getpid()))\n"
            "os.rename(sys.argv[1] + \".new\", sys.argv[1])\n"
            "time.sleep(600)' " +
            pidFile + " </dev/null >/dev/null 2>&1 &");
        while (!fileops::exists(pidFile))
            usleep(10000);
        pid = std::stoi(readWholeFile(pidFile));
    }
    ~LockHolder() { release(); }
    // Ends the holder and waits until it is gone; the lock goes with it.
    void release()
    {
        if (pid == 0)
            return;
        kill(pid, SIGKILL);
        const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
        for (std::string text = readWholeFile(stat); !text.empty() && text.find(") Z ") == std::string::npos;
             text = readWholeFile(stat))
            usleep(10000);
        pid = 0;
    }

private:
    pid_t pid = 0;
};

int countLines(const LogFile& log, const std::string& part)
{
    int count = 0;
    for (const std::string& line : log.lines())
        count += line.find(part) != std::string::npos;
    return count;
}

}  // namespace

TEST(InstallDeb, WaitsOutAnotherProcesssDpkgLock)
{
    const GeneratedMirror& generated = mirror();
    const std::string repository = generated.repository(generated.firstBuild("deb")).get<std::string>("path");
    TempDir dir("/var/tmp");
    const ChildResult result = runChecksInChild(
        [&] {
            removeHostAptSources();
            writeWholeFile("/etc/apt/sources.list.d/kwt.list",
                           "deb [trusted=yes] file://" + generated.path() + "/" + repository + " ./\n");
            run("apt-get -qq update >/dev/null 2>&1");
            Selection selection;
            InstallDeb installer(&selection.repository, &selection.manager, &selection.configurator);
            std::vector<int> waits;
            {
                // Released after the first notice: one wait, then the install goes through.
                LockHolder holder(dir / "holder1.pid");
                InstallDeb::setSleeper([&](int seconds) {
                    waits.push_back(seconds);
                    holder.release();
                });
                LogFile log;
                cpkgs_t list = {new DebPackage("kwt-b", "1.0-1")};
                installer.installPackages(list);
                EXPECT_EQ(waits, std::vector<int>{60});
                EXPECT_EQ(countLines(log, "E: Could not get lock /var/lib/dpkg/lock-frontend"), 1);
                EXPECT_TRUE(
                    log.has("Failed to execute a package installation command.. Will retry in 60 second(s)..."));
                EXPECT_TRUE(log.has("Installing packages (retry 1 of 30)"));
                EXPECT_EQ(installedVersion("kwt-b"), "1.0-1");
            }
            {
                // Held throughout: 30 waits, 31 runs, then the installation fails.
                waits.clear();
                LockHolder holder(dir / "holder2.pid");
                InstallDeb::setSleeper([&](int seconds) { waits.push_back(seconds); });
                LogFile log;
                cpkgs_t list = {new DebPackage("kwt-c", "1.0-1")};
                const error e = caught([&] { installer.installPackages(list); });
                EXPECT_EQ(codes(e), std::make_tuple(6, 1, 3, 3));
                EXPECT_EQ(e.getText(), "An error occurred on attempt to install packages.\n");
                EXPECT_EQ(waits, std::vector<int>(30, 60));
                EXPECT_EQ(countLines(log, "E: Could not get lock /var/lib/dpkg/lock-frontend"), 31);
                EXPECT_TRUE(log.has("Installing packages (retry 30 of 30)"));
                EXPECT_EQ(installedVersion("kwt-c"), "");
            }
            InstallDeb::setSleeper(nullptr);
        },
        overlayRootOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}
