#include "installer/ExtensionPackages.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/ExtCatalogPackage.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "installer/ExtensionTool.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

// Every call of the stub tool, in the child's private /tmp.
const char* const CALLS = "/tmp/extension-calls";

// A stand-in for the extension tool: it records the variable and each argument on a line of its own
// (in brackets, so that blanks show), and fails with code 3 and a standard error of its own when
// its argument holds "fail".
void writeStubTool(const std::string& path)
{
    fileops::create_directory(fileops::dirname(path));
    writeWholeFile(path,
                   "#!/bin/sh\n"
                   "{ printf 'call %s argc=%s\\n' \"${ZANTH_INTERNAL_PHP_EXEC-unset}\" \"$#\"\n"
                   "  for a do printf '[%s]\\n' \"$a\"; done; } >> " +
                       std::string(CALLS) +
                       "\n"
                       "case \"$2\" in *fail*) printf 'working on %s' \"$2\"; printf 'cannot handle %s' \"$2\" >&2; "
                       "exit 3;; esac\n"
                       "printf 'done'\n");
    chmod(path.c_str(), 0755);
}

// The tool through the seam, in the child's private /tmp: the record of the progress status must
// stay private too.
ChildOptions stubOptions()
{
    ChildOptions options = privateProgressOptions();
    options.env = {{"LC_ALL", "C"}, {"LANG", "C"}};
    return options;
}

void useStubTool()
{
    writeStubTool("/tmp/tool/extension");
    ExtensionTool::setPath("/tmp/tool/extension");
}

// The lines that this module logs.
std::string ownLines(const LoggedRun& run)
{
    return linesMatching(run.log, "[Ee]xtension packages?|^stderr: |^(Removing|Installing) the package ");
}

std::string calls()
{
    return readWholeFile(CALLS);
}

ProgressStatus progressRecord()
{
    ProgressStatusGuard guard;
    return guard.data();
}

// A repository with installed packages, as the installed-extension source and the system's package
// database fill it, and the removal markers the selection makes.
struct Installed {
    Installed()
    {
        backup = installedExtension("backup", "Backup");
        nginx = new DebPackage("nginx", "1.22.1-9");
        nginx->setType('s');
        repository.addPackage(nginx, nullptr);
    }

    ExtCatalogPackage* installedExtension(const std::string& code, const std::string& name)
    {
        ExtCatalogPackage* package = new ExtCatalogPackage("ext-" + code);
        package->setCode(code);
        package->setDisplayName(name);
        package->setType('s');
        repository.addPackage(package, nullptr);
        return package;
    }

    Repository repository;
    ExtCatalogPackage* backup;
    Package* nginx;
};

// An extension of the catalogue, as the build-file reader makes it.
std::unique_ptr<ExtCatalogPackage> catalogued(const std::string& code, const std::string& name, std::string url = "")
{
    if (url.empty())
        url = "https://example.invalid/" + code + ".zip";
    std::unique_ptr<ExtCatalogPackage> package(new ExtCatalogPackage("ext-" + code));
    package->setArch("noarch");
    package->setType('e');
    package->setCode(code);
    package->setDisplayName(name);
    package->setDownloadUrl(url);
    return package;
}

}  // namespace

TEST(ExtensionPackagesTest, RemovesOnlyInstalledExtensionsThatMarkersName)
{
    LoggedRun run = runLogged(
        [] {
            useStubTool();
            Installed installed;
            auto offered = catalogued("offered", "Offered");
            // A dummy that requires a package is no removal marker.
            const cpkgs_t list = {installed.repository.addRemoverFor("nginx", ""), offered.get(),
                                  installed.repository.addRequirerFor("web", "ext-backup", false),
                                  installed.repository.addRemoverFor("ext-absent", ""),
                                  installed.repository.addRemoverFor("ext-backup", "")};
            set_env("ZANTH_INTERNAL_PHP_EXEC", "7");
            removeExtensionPackages(&installed.repository, list);

            EXPECT_EQ(calls(), "call 1 argc=2\n[--uninstall]\n[backup]\n");
            EXPECT_FALSE(getenv("ZANTH_INTERNAL_PHP_EXEC"));
            const ProgressStatus record = progressRecord();
            EXPECT_STREQ(record.step_id, "install_remove");
            EXPECT_EQ(std::string(record.step_title), messages.get("install_remove") + "Backup");
        },
        stubOptions());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(ownLines(run),
              "3 DEBUG remove extension packages: dummy_obsoleter_nginx-0.0 dummy_obsoleter_ext-absent-0.0 "
              "dummy_obsoleter_ext-backup-0.0 \n"
              "3 DEBUG uninstalling extension package ext-backup\n"
              "0 " +
                  messages.get("install_remove") + "Backup\n");
}

TEST(ExtensionPackagesTest, InstallsCataloguedExtensionsButInstalledOnesAndRequirers)
{
    LoggedRun run = runLogged(
        [] {
            useStubTool();
            Installed installed;
            auto first = catalogued("first", "First");
            auto second = catalogued("second", "Second");
            auto requirer = catalogued("requirer", "Requirer");
            requirer->setType('d');
            requirer->addRequire("ext-first");
            auto plain = std::make_unique<DebPackage>("zanth-core", "18.0-1");
            plain->setType('b');
            const cpkgs_t list = {first.get(),  installed.backup,
                                  plain.get(),  requirer.get(),
                                  second.get(), installed.repository.addRemoverFor("ext-backup", "")};
            installExtensionPackages(nullptr, list);  // the repository is not needed

            EXPECT_EQ(calls(),
                      "call 1 argc=2\n[--upgrade-url]\n[https://example.invalid/first.zip]\n"
                      "call 1 argc=2\n[--upgrade-url]\n[https://example.invalid/second.zip]\n");
            EXPECT_FALSE(getenv("ZANTH_INTERNAL_PHP_EXEC"));
            EXPECT_STREQ(progressRecord().step_id, "install_install_package");
        },
        stubOptions());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    const std::string step = messages.get("install_install_package");
    EXPECT_EQ(ownLines(run),
              "3 DEBUG install extension packages: ext-first-no_versioning_data.noarch "
              "ext-second-no_versioning_data.noarch \n"
              "3 DEBUG installing extension package ext-first\n"
              "0 " +
                  step +
                  "First\n"
                  "3 DEBUG installing extension package ext-second\n"
                  "0 " +
                  step + "Second\n");
}

TEST(ExtensionPackagesTest, EmptyListsRunNothing)
{
    LoggedRun run = runLogged(
        [] {
            useStubTool();
            Installed installed;
            removeExtensionPackages(&installed.repository, {});
            installExtensionPackages(&installed.repository, {installed.backup, installed.nginx});
            // Without a marker the repository is never asked: a null one is no fault yet.
            removeExtensionPackages(nullptr, {installed.backup});
            EXPECT_EQ(calls(), "");
        },
        stubOptions());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_EQ(ownLines(run),
              "3 DEBUG remove extension packages: (empty)\n"
              "3 DEBUG install extension packages: (empty)\n"
              "3 DEBUG remove extension packages: (empty)\n");
}

TEST(ExtensionPackagesTest, NullRepositoryFailsAtTheFirstMarker)
{
    Repository repository;
    const cpkgs_t list = {repository.addRemoverFor("ext-backup", "")};
    const error e = caught([&] { removeExtensionPackages(nullptr, list); });
    EXPECT_EQ(e.getText().rfind("Try of use NULL pointer: common/checked_pointer.h:", 0), 0u) << e.getText();
    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 0, 3));
}

TEST(ExtensionPackagesTest, FirstFailureStopsAndKeepsTheVariable)
{
    LoggedRun run = runLogged(
        [] {
            useStubTool();
            Installed installed;
            auto first = catalogued("first", "First");
            auto broken = catalogued("broken", "Broken", "https://example.invalid/fail.zip");
            auto third = catalogued("third", "Third");
            const error e = caught([&] {
                installExtensionPackages(nullptr, {first.get(), broken.get(), third.get()});
            });
            EXPECT_EQ(e.getText(), format_message(messages.get("err_ext_package_install"), "Broken", "broken",
                                                  "cannot handle https://example.invalid/fail.zip") +
                                       "\n");
            EXPECT_EQ(codes(e), std::make_tuple(4, 0, 2, 2));
            EXPECT_EQ(calls(),
                      "call 1 argc=2\n[--upgrade-url]\n[https://example.invalid/first.zip]\n"
                      "call 1 argc=2\n[--upgrade-url]\n[https://example.invalid/fail.zip]\n");
            EXPECT_STREQ(getenv("ZANTH_INTERNAL_PHP_EXEC"), "1");

            installed.installedExtension("failing", "Failing");
            const cpkgs_t markers = {installed.repository.addRemoverFor("ext-failing", ""),
                                     installed.repository.addRemoverFor("ext-backup", "")};
            unset_env("ZANTH_INTERNAL_PHP_EXEC");
            const error removal = caught([&] { removeExtensionPackages(&installed.repository, markers); });
            EXPECT_EQ(removal.getText(), format_message(messages.get("err_ext_package_remove"), "Failing", "failing",
                                                        "cannot handle failing") +
                                             "\n");
            EXPECT_EQ(codes(removal), std::make_tuple(4, 0, 2, 2));
            EXPECT_EQ(calls().substr(calls().rfind("call")), "call 1 argc=2\n[--uninstall]\n[failing]\n");
            EXPECT_STREQ(getenv("ZANTH_INTERNAL_PHP_EXEC"), "1");
        },
        stubOptions());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    EXPECT_NE(
        run.log.find("1 Extension package ext-broken installation failed with code 3, stdout: working on "
                     "https://example.invalid/fail.zip\n1 stderr: cannot handle https://example.invalid/fail.zip\n"),
        std::string::npos)
        << run.log;
    EXPECT_NE(run.log.find("1 Extension package ext-failing no_versioning_data uninstallation failed with code 3, "
                           "stdout: working on failing\n1 stderr: cannot handle failing\n"),
              std::string::npos)
        << run.log;
    EXPECT_EQ(run.log.find("installing extension package ext-third"), std::string::npos) << run.log;
}

TEST(ExtensionPackagesTest, CataloguedTextsReachTheToolAsOneUnchangedArgument)
{
    // Texts from a feed on the network, run as root: no command of theirs may run.
    const std::string hostile =
        "a b;touch /tmp/owned1 $(touch /tmp/owned2) `touch /tmp/owned3` 'q' \"dq\" back\\slash &|>";
    LoggedRun run = runLogged(
        [&] {
            useStubTool();
            Installed installed;
            ExtCatalogPackage* odd = installed.installedExtension(hostile, "Odd");
            removeExtensionPackages(&installed.repository,
                                    {installed.repository.addRemoverFor(odd->getName().c_str(), "")});
            auto offered =
                catalogued("offered", "Offered", "https://example.invalid/x?a=1&b=$(touch /tmp/owned4)'\"\\ z");
            installExtensionPackages(nullptr, {offered.get()});
            EXPECT_EQ(
                calls(),
                "call 1 argc=2\n[--uninstall]\n[" + hostile +
                    "]\n"
                    "call 1 argc=2\n[--upgrade-url]\n[https://example.invalid/x?a=1&b=$(touch /tmp/owned4)'\"\\ z]\n");
            for (const char* owned : {"/tmp/owned1", "/tmp/owned2", "/tmp/owned3", "/tmp/owned4"})
                EXPECT_FALSE(fileops::exists(owned)) << owned;
        },
        stubOptions());
    EXPECT_EQ(run.exit_code, 0) << run.out << run.console;
}

TEST(ExtensionPackagesTest, RunsTheToolAtItsFixedPath)
{
    ChildOptions options = stubOptions();
    options.tmpfs.push_back("/usr/local");
    LoggedRun run = runLogged(
        [] {
            writeStubTool(ExtensionTool::PATH);
            ExtensionTool::setPath("/tmp/elsewhere");
            ExtensionTool::setPath("");  // back to the fixed path
            EXPECT_EQ(ExtensionTool::path(), "/usr/local/zorv/bin/extension");
            auto offered = catalogued("offered", "Offered");
            installExtensionPackages(nullptr, {offered.get()});
            EXPECT_EQ(calls(), "call 1 argc=2\n[--upgrade-url]\n[https://example.invalid/offered.zip]\n");
        },
        options);
    EXPECT_EQ(run.exit_code, 0) << run.out << run.console;
}
