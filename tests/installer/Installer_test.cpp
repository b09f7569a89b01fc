#include "installer/Installer.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/ExtCatalogPackage.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/Repository.h"
#include "common/Source.h"
#include "common/SourceSysDeb.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "installer/Bootstrapper.h"
#include "installer/ComponentManager.h"
#include "installer/DebianAPTConfigurator.h"
#include "installer/ExtensionTool.h"
#include "installer/Options.h"
#include "installer/ProductsProgress.h"
#include "installer/SourceManager.h"
#include "installer/SystemSpecificConfigurator.h"
#include "installer/YumConfigurator.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/Signals.h"
#include "tests/support/StageActions.h"
#include "tests/support/TempDir.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

const std::string FLAG = "/var/quillfern/kitwright-installation-failure.flag";
// What the backend, the actions and the extension tool did, in order, in the child's private /tmp.
const char* const JOURNAL = "/tmp/journal";

void note(const std::string& line)
{
    writeWholeFile(JOURNAL, readWholeFile(JOURNAL) + line + "\n");
}

// The journal since the last call.
std::string journal()
{
    const std::string text = readWholeFile(JOURNAL);
    fileops::remove(JOURNAL);
    return text;
}

// The flag as `test -e` sees it.
std::string flagState()
{
    return shellOutput("test -e " + FLAG + " && printf flag || printf 'no flag'");
}

// A backend whose package tool records what it is given and fails when told to.
class RecordingInstaller : public Installer {
public:
    enum Failure { NONE, ERROR, OTHER };

    RecordingInstaller(Repository* repository, ComponentManager* manager,
                       SystemSpecificConfigurator* configurator = nullptr)
        : Installer(repository, manager, configurator)
    {
    }

    Failure failBootstrapper = NONE;
    Failure failList = NONE;

    cpkgs_t& resolve() override { return packages; }
    void installPackages(cpkgs_t& list) override
    {
        std::string names;
        for (const Package* package : list)
            names += std::string(names.empty() ? "" : ",") + package->getName().c_str();
        note("install " + names + " (" + flagState() + ")");
        const Failure failure = &list == &bootstrapperPackages ? failBootstrapper : failList;
        if (failure == ERROR) {
            error e(E_PACKAGES, REP_NONE, SYS_BROKEN, SUPP_NEED);
            e << "the tool failed";
            e.addMessage(E_UNSET, REP_UNSET, SYS_UNSET, SUPP_UNSET) << "while installing";
            throw e;
        }
        if (failure == OTHER)
            throw std::runtime_error("not an error");
    }
    void download() override
    {
        note("download");
        if (signalInDownload)
            Progress().signalReceived(SIGTERM);
    }

    cpkgs_t& bootstrapper() { return bootstrapperPackages; }

    bool signalInDownload = false;
};

// A stand-in extension tool that writes its call into the journal.
void useJournalTool()
{
    fileops::create_directory("/tmp/tool");
    writeWholeFile("/tmp/tool/extension",
                   "#!/bin/sh\nprintf 'tool %s %s\\n' \"$1\" \"$2\" >> " + std::string(JOURNAL) + "\n");
    chmod("/tmp/tool/extension", 0755);
    ExtensionTool::setPath("/tmp/tool/extension");
}

// A private /tmp and status record, and a /var without the flag's directory.
ChildOptions flowOptions()
{
    ChildOptions options = privateProgressOptions();
    options.tmpfs.push_back("/var");
    options.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    return options;
}

// The installed packages and the transaction of one product: two packages, one bootstrapper
// package, an installed extension to remove and a catalogued one to install.
struct Transaction {
    Transaction()
    {
        installedExtension = new ExtCatalogPackage("ext-backup");
        installedExtension->setCode("backup");
        installedExtension->setType('s');
        repository.addPackage(installedExtension, nullptr);

        newExtension.setType('e');
        newExtension.setCode("first");
        newExtension.setDownloadUrl("https://example.invalid/first.zip");
        core.setType('b');
        web.setType('b');
        helper.setType('b');
    }

    // A component to install whose "prep", "post" and "pkgs" rollback actions write their sequence and
    // stage into the journal, and an installed one whose "post" action runs only for every component.
    // The sequences given fail after writing; a stage of stopIn sends the program SIGTERM.
    void addActions(const std::set<std::string>& failing = {}, const std::string& stopIn = "")
    {
        const boost::shared_ptr<Build> build = makeProductBuild(repository);
        const boost::shared_ptr<KwComponent> web = componentInMode(repository, build, "web", KwComponent::INSTALL);
        web->requestInstall();
        const boost::shared_ptr<KwComponent> core = componentInMode(repository, build, "core", KwComponent::UP2DATE);
        std::string xml;
        for (const char* stage : {"prep/execute", "post/execute", "pkgs/rollback"}) {
            const std::string text(stage);
            const std::string sequence = text.substr(0, text.find('/'));
            std::string command = "echo " + text + " >> " + JOURNAL;
            if (failing.count(sequence))
                command += "; exit 1";
            if (sequence == stopIn)
                command += "; kill -TERM $PPID";
            xml += "<action sequence='" + sequence + "' stage='" + text.substr(text.find('/') + 1) + "' exec-cmd='" +
                   command + "'/>";
        }
        web->bootstrapper_actions = actions.load(xml, "web");
        core->bootstrapper_actions = actions.load(
            "<action sequence='post' exec-cmd='echo post/execute for all >> " + std::string(JOURNAL) + "'/>", "core");
        manager.roots = {web, core};
    }

    void fill(RecordingInstaller& installer)
    {
        installer.getPackages() = {&core, &web, repository.addRemoverFor("ext-backup", ""), &newExtension};
        installer.bootstrapper() = {&helper};
    }

    Repository repository;
    StageActions actions;
    ComponentManager manager;
    ExtCatalogPackage* installedExtension;
    ExtCatalogPackage newExtension{"ext-first"};
    DebPackage core{"zanth-core", "18.0-1"};
    DebPackage web{"zanth-web", "18.0-1"};
    DebPackage helper{"zanth-helper", "1.0-1"};
};

// The lines of the flow itself, with their levels.
std::string flowLines(const LoggedRun& run)
{
    return linesMatching(run.log,
                         "^(DEBUG:? [Ii]nstallation failure flag|WARNING: Failure|install(Prep|Post): |"
                         "DEBUG: Bootstrapper|Install command|Installing packages$|Installer::)");
}

const std::string RUN_START =
    "download\n"
    "tool --uninstall backup\n"
    "install zanth-helper (no flag)\n"
    "prep/execute\n";

}  // namespace

TEST(InstallerTest, FailedToolRunsFailureActionsAndTheNextRunRepairs)
{
    LoggedRun run = runLogged(
        [] {
            useJournalTool();
            Transaction t;
            t.addActions();
            {
                RecordingInstaller installer(&t.repository, &t.manager);
                t.fill(installer);
                installer.failList = RecordingInstaller::ERROR;
                const error e = caught([&] { installer.install(); });
                EXPECT_EQ(codes(e), std::make_tuple(6, 1, 3, 3));
                EXPECT_EQ(e.getText(), "while installing\nthe tool failed\n");
                EXPECT_EQ(journal(), RUN_START +
                                         "install zanth-core,zanth-web,dummy_obsoleter_ext-backup,ext-first (flag)\n"
                                         "pkgs/rollback\n");
                EXPECT_EQ(flagState(), "flag");
            }
            // The next installation repairs with the post actions of every component; the one after
            // finds no flag.
            for (const bool repair : {true, false}) {
                RecordingInstaller installer(&t.repository, &t.manager);
                t.fill(installer);
                installer.install();
                const std::string post = repair ? "post/execute\npost/execute for all\n" : "post/execute\n";
                std::string start = RUN_START;
                if (repair)
                    start.replace(start.find("(no flag)"), 9, "(flag)");
                EXPECT_EQ(journal(), start +
                                         "install zanth-core,zanth-web,dummy_obsoleter_ext-backup,ext-first (flag)\n" +
                                         post + "tool --upgrade-url https://example.invalid/first.zip\n");
                EXPECT_EQ(flagState(), "no flag");
            }
        },
        flowOptions());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    const std::string created = "3 DEBUG installation failure flag file does not exist: " + FLAG + "\n";
    const std::string run_start =
        "3 Installer::Installer: create ProductsProgress\n"
        "0 Installing packages\n"
        "3 installPrep: Perform PREP actions\n";
    EXPECT_EQ(flowLines(run), run_start + created + "3 DEBUG: Bootstrapper::performPkgsFailureActions\n" + run_start +
                                  "3 DEBUG installation failure flag file exists: " + FLAG +
                                  "\n"
                                  "1 WARNING: Failure of previous installation was detected! Bootstrapper post-actions "
                                  "will be executed for all components at the end of the current installation.\n"
                                  "3 installPost: Perform POST actions\n"
                                  "1 Install command successfully completed\n" +
                                  run_start + created +
                                  "3 installPost: Perform POST actions\n"
                                  "1 Install command successfully completed\n");
}

TEST(InstallerTest, FailuresThatStopTheFlow)
{
    struct Case {
        const char* name;
        RecordingInstaller::Failure bootstrapper, list;
        std::set<std::string> failingActions;
        std::string key;  // the message of the flow's own error; empty: the backend's failure passes
        std::string journal;
        std::string flag;
    };
    const std::string listed = "install zanth-core,zanth-web,dummy_obsoleter_ext-backup,ext-first (flag)\n";
    const std::vector<Case> cases = {
        {"prep actions",
         RecordingInstaller::NONE,
         RecordingInstaller::NONE,
         {"prep"},
         "err_prep_actions_failed",
         RUN_START,
         "no flag"},
        {"post actions",
         RecordingInstaller::NONE,
         RecordingInstaller::NONE,
         {"post"},
         "err_post_actions_failed",
         RUN_START + listed + "post/execute\n",
         "flag"},
        {"bootstrapper packages",
         RecordingInstaller::ERROR,
         RecordingInstaller::NONE,
         {},
         "",
         "download\ntool --uninstall backup\ninstall zanth-helper (no flag)\n",
         "no flag"},
        {"not an error", RecordingInstaller::NONE, RecordingInstaller::OTHER, {}, "", RUN_START + listed, "flag"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = runChecksInChild(
            [&] {
                useJournalTool();
                Transaction t;
                t.addActions(c.failingActions);
                RecordingInstaller installer(&t.repository, &t.manager);
                t.fill(installer);
                installer.failBootstrapper = c.bootstrapper;
                installer.failList = c.list;
                if (c.list == RecordingInstaller::OTHER) {
                    EXPECT_TRUE(thrown<std::runtime_error>([&] { installer.install(); }));
                } else {
                    const error e = caught([&] { installer.install(); });
                    if (c.key.empty()) {
                        EXPECT_EQ(e.getText(), "while installing\nthe tool failed\n");
                    } else {
                        EXPECT_EQ(codes(e), std::make_tuple(4, 0, 2, 2));
                        EXPECT_EQ(e.getText(), messages.get(c.key) + "\n");
                    }
                }
                // No failure actions but after an error of the package tool with the list.
                EXPECT_EQ(journal(), c.journal);
                EXPECT_EQ(flagState(), c.flag);
            },
            flowOptions());
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }
}

TEST(InstallerTest, DownloadOnlyAndInterruptions)
{
    const ChildResult result = runChecksInChild(
        [] {
            useJournalTool();
            Transaction t;
            Options::instance().downloadOnly = true;
            {
                RecordingInstaller installer(&t.repository, &t.manager);
                t.fill(installer);
                installer.install();
                EXPECT_EQ(journal(), "download\n");
                EXPECT_EQ(shellOutput("ls -A /var"), "");
            }
            Options::instance().downloadOnly = false;

            // A signal stops the flow at the next safe point: before the download, right after it. One
            // that arrives while a "post" action runs stops that action and leaves the flag, so that the
            // next installation repairs.
            installProgressHandler();
            struct Case {
                const char* stopIn;
                std::string journal;
                std::string flag;
            };
            const std::vector<Case> cases = {
                {"", "", "no flag"},
                {"download", "download\n", "no flag"},
                {"post",
                 RUN_START + "install zanth-core,zanth-web,dummy_obsoleter_ext-backup,ext-first (flag)\n"
                             "post/execute\n",
                 "flag"},
            };
            for (const Case& c : cases) {
                SCOPED_TRACE(c.stopIn);
                const std::string stopIn = c.stopIn;
                Transaction stopped;
                stopped.addActions({}, stopIn);
                RecordingInstaller installer(&stopped.repository, &stopped.manager);
                stopped.fill(installer);
                installer.signalInDownload = stopIn == "download";
                if (stopIn.empty())
                    Progress().signalReceived(SIGTERM);
                EXPECT_TRUE(thrown<Progress::Interrupted>([&] { installer.install(); }));
                EXPECT_EQ(journal(), c.journal);
                EXPECT_EQ(flagState(), c.flag);
                fileops::remove(FLAG);
            }
        },
        flowOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(InstallerTest, FailureFlagFile)
{
    LoggedRun run = runLogged(
        [] {
            EXPECT_FALSE(Installer::processInstallationFailureFlag(false));  // nothing to remove
            EXPECT_FALSE(Installer::processInstallationFailureFlag(true));   // the directory is made too
            EXPECT_EQ(shellOutput("stat -c '%F %s' " + FLAG), "regular empty file 0\n");
            EXPECT_TRUE(Installer::processInstallationFailureFlag(true));
            EXPECT_FALSE(Installer::processInstallationFailureFlag(false));
            EXPECT_EQ(flagState(), "no flag");

            // Failures are only logged: a flag that cannot be removed, a directory that cannot be made.
            fileops::create_directory(FLAG + "/busy");
            EXPECT_FALSE(Installer::processInstallationFailureFlag(false));
            EXPECT_EQ(std::system("rm -r /var/quillfern && touch /var/quillfern"), 0);
            EXPECT_FALSE(Installer::processInstallationFailureFlag(true));
        },
        flowOptions());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    const std::string absent = "3 DEBUG installation failure flag file does not exist: " + FLAG;
    const std::string failed =
        "1 Error occured while trying to process installation failure flag file: '" + FLAG + "'. ERROR: ";
    const std::vector<std::string> expected = {
        absent,
        "3 DEBUG installation failure flag file exists: " + FLAG,
        "1 WARNING: Failure of previous installation was detected! Bootstrapper post-actions will be executed for "
        "all components at the end of the current installation.",
        failed + format_message(messages.get("err_rmfile2"), FLAG, ""),
        absent,
        failed + format_message(messages.get("err_mkdir"), "/var/quillfern/", ""),
    };
    std::istringstream lines(linesMatching(run.log, "failure flag|WARNING"));
    std::string line;
    for (const std::string& prefix : expected) {
        ASSERT_TRUE(std::getline(lines, line)) << prefix;
        EXPECT_EQ(line.substr(0, prefix.size()), prefix);
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
}

namespace {

// What dpkg-query reports as the installed version of a package.
std::string installedVersion(const std::string& package)
{
    return shellOutput("dpkg-query -W -f='${Version}' " + package);
}

bool dpkgCompare(const std::string& a, const char* relation, const std::string& b)
{
    return std::system(("dpkg --compare-versions '" + a + "' " + relation + " '" + b + "'").c_str()) == 0;
}

// A configurator of no package system of its own.
class OtherConfigurator : public SystemSpecificConfigurator {
public:
    void configureSources() override {}
    Installer* createInstaller(ComponentManager*) override { return nullptr; }

protected:
    const Package* doGetAvailablePackage(const std::string&) override { return nullptr; }
    void doConfigure() override {}
    void doRemoveTemporarySources() override {}
};

}  // namespace

TEST(InstallerTest, CheckPackageSetAgainstTheDpkgDatabase)
{
    Repository repository;
    SourceSysDeb source(&repository);
    repository.getBriefPackagesInfo();
    const std::string dpkg = installedVersion("dpkg");
    ASSERT_TRUE(dpkgCompare("1.0", "lt", dpkg)) << dpkg;
    ASSERT_TRUE(dpkgCompare("99:1.0", "gt", dpkg)) << dpkg;
    const Package* installed = repository.getInstalledPackage("dpkg");
    ASSERT_NE(installed, nullptr);

    DebPackage older("dpkg", "1.0");
    DebPackage same("dpkg", dpkg);
    DebPackage newer("dpkg", "99:1.0");
    DebPackage absent("kw-never-installed", "0.1");
    for (DebPackage* p : {&older, &same, &newer, &absent})
        p->setType('b');
    const std::string refused = format_message(messages.get("err_downgrade"), "dpkg") + "\n";

    ComponentManager manager;
    OtherConfigurator other;
    for (SystemSpecificConfigurator* configurator :
         {static_cast<SystemSpecificConfigurator*>(nullptr), static_cast<SystemSpecificConfigurator*>(&other)}) {
        SCOPED_TRACE(configurator ? "another configurator" : "no configurator");
        RecordingInstaller installer(&repository, &manager, configurator);
        // The installed package itself, the same and a newer version, a package that is not installed.
        installer.getPackages() = {installed, &same, &newer, &absent};
        {
            LogFile log(1);
            installer.checkPackageSet();
            EXPECT_EQ(log.lines(), std::vector<std::string>{"Check package set before installation"});
        }
        installer.getPackages() = {&absent, &older, &newer};
        LogFile log(1);
        const error e = caught([&] { installer.checkPackageSet(); });
        EXPECT_EQ(codes(e), std::make_tuple(5, 1, 1, 2));
        EXPECT_EQ(e.getText(), refused);
        EXPECT_EQ(log.lines(),
                  (std::vector<std::string>{
                      "Check package set before installation", "Package dpkg-1.0 is within installation list",
                      "but newer package " + printed(*installed) + " is already installed in system."}));
    }
    // Under the apt and yum configurators the system's package tool itself decides about downgrades.
    SourceManager sources(&repository);
    DebianAPTConfigurator apt("", &manager, &sources, &repository);
    YumConfigurator yum("", &sources, &repository);
    for (SystemSpecificConfigurator* configurator :
         {static_cast<SystemSpecificConfigurator*>(&apt), static_cast<SystemSpecificConfigurator*>(&yum)}) {
        RecordingInstaller installer(&repository, &manager, configurator);
        installer.getPackages() = {&absent, &older, &newer};
        installer.checkPackageSet();
    }
}

namespace {

// A source whose packages can be fetched: each fetch is noted.
class FetchingSource : public Source {
public:
    using Source::Source;
    void downloadPackage(Package* package) override { fetched.push_back(package->getName().c_str()); }
    bool isDownloadable() const override { return true; }
    void readSystemPackagesBrief() override {}
    void readPackagesFull() override {}

    std::vector<std::string> fetched;
};

// The backend's own download is the base one.
class BaseDownloadInstaller : public RecordingInstaller {
public:
    using RecordingInstaller::RecordingInstaller;
    void download() override { Installer::download(); }
};

}  // namespace

TEST(InstallerTest, LifeDownloadAndCommit)
{
    const ChildResult result = runChecksInChild(
        [] {
            Repository repository;
            FetchingSource source(&repository);
            DebPackage core("zanth-core", "18.0-1"), local("zanth-local", "1.0");
            core.setType('b');
            core.setSource(&source);
            ComponentManager manager;
            EXPECT_EQ(ProductsProgress::instance(), nullptr);
            {
                LogFile log;
                BaseDownloadInstaller installer(&repository, &manager);
                ASSERT_NE(ProductsProgress::instance(), nullptr);
                installer.getPackages() = {&core, &local};
                EXPECT_EQ(&installer.resolve(), &installer.getPackages());
                installer.download();
                EXPECT_EQ(source.fetched, std::vector<std::string>{"zanth-core"});
                EXPECT_TRUE(log.has("Installer::Installer: create ProductsProgress"));
                EXPECT_TRUE(log.has("ProductsProgress::set_progress: zanth-core stage 1"));

                // With a cache of the system's packages nothing is fetched.
                Options::instance().systemPackagesCache = "/var/cache/packages";
                installer.download();
                EXPECT_EQ(source.fetched.size(), 1u);
                Options::instance().systemPackagesCache.clear();

                // Without a configurator there is nothing to commit.
                EXPECT_EQ(codes(caught([&] { installer.commitChanges(); })), std::make_tuple(3, 1, 0, 3));
            }
            EXPECT_EQ(ProductsProgress::instance(), nullptr);

            // A commit keeps the configurator's changed files when it finishes.
            class Writing : public OtherConfigurator {
            protected:
                void doConfigure() override
                {
                    addPersistentFile("/tmp/zanth.list");
                    writeWholeFile("/tmp/zanth.list", "new\n");
                }
            } configurator;
            writeWholeFile("/tmp/zanth.list", "old\n");
            configurator.configure();
            RecordingInstaller installer(&repository, &manager, &configurator);
            installer.commitChanges();
            configurator.finish();
            EXPECT_EQ(readWholeFile("/tmp/zanth.list"), "new\n");
            EXPECT_FALSE(fileops::exists("/tmp/zanth.list.kw_back"));
        },
        privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}
