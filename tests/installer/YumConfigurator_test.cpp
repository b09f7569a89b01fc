#include "installer/YumConfigurator.h"

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Package.h"
#include "common/fileops.h"
#include "installer/HelperScripts.h"
#include "installer/InstallYum.h"
#include "installer/Options.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/YumProduct.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

const std::string TEMPORARY_HEADER = "## Temporary repositories used by Zanth Installer during installation or update.";
const std::string PERSISTENT_HEADER = "## Persistent repositories for Zanth Products.";
const std::string PERSISTENT_FILE = "/etc/yum.repos.d/zanth.repo";
const std::string TEMPORARY_FILE = "/etc/yum.repos.d/kitwright-sources.repo";
const std::string HELPER = "/opt/zorv/bin/dnf_install";

// The section that the configurator writes for one product repository.
std::string section(const std::string& id, const std::string& name, char kind, bool enabled, bool gpgcheck = false)
{
    return "[" + id + "]\nname=" + name + "\nbaseurl=file://" + YumProduct::mirror() + "/" +
           YumProduct::repositoryPath(kind) + "/\nenabled=" + (enabled ? "1" : "0") +
           "\ngpgcheck=" + (gpgcheck ? "1" : "0");
}

// The version that dnf's own query gives for the name over the enabled repositories and the extra
// arguments, without an epoch of 0; "" when it finds none.
std::string dnfVersion(const std::string& name, const std::string& arguments = "")
{
    std::string line = shellOutput("dnf-3 -q " + arguments + " repoquery --latest-limit=1 --qf " +
                                   "'%{epoch}:%{version}-%{release}' " + name + " 2>/dev/null | tail -n 1");
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line.rfind("0:", 0) == 0 ? line.substr(2) : line;
}

std::string versionOf(const Package* package)
{
    return package ? package->getVersion().toString() : "";
}

size_t count(const std::vector<std::string>& lines, const std::string& text)
{
    size_t n = 0;
    for (const std::string& line : lines)
        n += line == text;
    return n;
}

}  // namespace

TEST(YumConfigurator, DnfIsChosenWhenItIsThere)
{
    ASSERT_TRUE(fileops::exists("/usr/bin/dnf-3"));
    const ChildResult result = runChecksInChild([] {
        LogFile log;
        YumConfigurator::detectPackageTool();
        EXPECT_EQ(YumConfigurator::activeTool, &YumConfigurator::DNF);
        EXPECT_STREQ(YumConfigurator::getHelperPath(), "/opt/zorv/bin/dnf_install");
        EXPECT_TRUE(log.has("Notice: seems dnf is ready to use."));
        EXPECT_EQ(YumConfigurator::YUM.scriptLength, helper_scripts::yum_install_size);
        EXPECT_STREQ(YumConfigurator::YUM.helperPath, "/opt/zorv/bin/yum_install");

        const Package* made = YumConfigurator::package_from_yum_info("p", "2.4", "5.el8", "1");
        EXPECT_EQ(made->getVersion().toString(), "1:2.4-5.el8");
        EXPECT_EQ(made->getType(), Package::TYPE_SYSTEM);
        EXPECT_EQ(made->getFileName(), "package_from_yum_info");
        EXPECT_EQ(YumConfigurator::package_from_yum_info("p", "2.4", "", "")->getVersion().toString(), "2.4");
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;

    // Without either tool (a PATH does not matter: the paths are fixed).
    ChildOptions hidden;
    hidden.tmpfs = {"/usr/bin"};
    const ChildResult none = runInChild(
        [] {
            try {
                YumConfigurator::detectPackageTool();
            } catch (const error& e) {
                return codes(e) == std::make_tuple(4, 1, 1, 2) &&
                               e.getText() == "The Yum utility is not installed in your system.\n"
                           ? 0
                           : 1;
            }
            return 2;
        },
        hidden);
    EXPECT_EQ(none.exit_code, 0) << none.err;
}

TEST(YumConfigurator, WritesRepositoriesAndHelperAnswersCandidatesAndRollsBack)
{
    TempDir dir("/var/tmp");
    runChecksOnDnfSystem([&] {
        Options::instance().skipGpgCheck = true;
        writeWholeFile(PERSISTENT_FILE, "[old]\nname=old\nbaseurl=file:///nowhere\nenabled=0\n");
        YumProduct product(dir.path());
        YumConfigurator configurator("", &product.sources, &product.repository);
        configurator.configure();

        EXPECT_EQ(readWholeFile(TEMPORARY_FILE),
                  TEMPORARY_HEADER + "\n\n" + section("zanth-10", "Zanth 10", 'b', false));
        EXPECT_EQ(readWholeFile(PERSISTENT_FILE),
                  PERSISTENT_HEADER + "\n\n" + section("zanth-10-thirdparty", "Zanth 10 thirdparty", 't', true));
        EXPECT_EQ(configurator.getRepositoryIds(), (std::set<std::string>{"zanth-10", "zanth-10-thirdparty"}));
        EXPECT_EQ(shellOutput("dnf-3 -q repolist --enabled 2>/dev/null | awk 'NR>1 {print $1}' | sort"),
                  "kwt-system\nzanth-10-thirdparty\n");
        // The helper: the embedded bytes, for root only.
        EXPECT_EQ(shellOutput("stat -c %a " + HELPER), "700\n");
        EXPECT_EQ(readWholeFile(HELPER), std::string(helper_scripts::dnf_install, helper_scripts::dnf_install_size));
        // Debian's dnf has no plugins for the helper to disable, and says so.
        const std::string notice = "No matches found for the following disable plugin patterns: *\n";
        const std::string check = configurator.checkConfiguration();
        EXPECT_TRUE(check == "" || check == notice) << check;

        std::unique_ptr<Installer> installer(configurator.createInstaller(nullptr));
        EXPECT_NE(dynamic_cast<InstallYum*>(installer.get()), nullptr);

        // The batch enables the temporary repository; the single lookup does not.
        const std::string temporary = "--enablerepo=zanth-10";
        {
            LogFile log;
            configurator.prepareAvailablePackagesList({"kwt-a", "kwt-c", "kwt-e", "kwt-p", "kwt-none"});
            EXPECT_TRUE(
                log.has("DEBUG: prepareAvailablePackagesList cmd = env LANG=C LC_ALL=C /usr/bin/dnf-3 info "
                        "--enablerepo=zanth-10 --enablerepo=zanth-10-thirdparty kwt-a kwt-c kwt-e kwt-p "
                        "kwt-none 2>/dev/null"));
        }
        for (const char* name : {"kwt-a", "kwt-c", "kwt-e", "kwt-p", "kwt-none"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(versionOf(configurator.getAvailablePackage(name)), dnfVersion(name, temporary));
        }
        EXPECT_EQ(versionOf(configurator.getAvailablePackage("kwt-c")), "2.0-1");
        EXPECT_EQ(versionOf(configurator.getAvailablePackage("kwt-e")), "1:3.0-1");
        EXPECT_EQ(configurator.getAvailablePackage("kwt-none"), nullptr);
        {
            LogFile log;
            EXPECT_EQ(versionOf(configurator.getAvailablePackage("kwt-b")), dnfVersion("kwt-b"));
            EXPECT_EQ(versionOf(configurator.getAvailablePackage("kwt-b")), "1.0-1");
            // Only in the temporary repository: not found, and asked again next time.
            EXPECT_EQ(configurator.getAvailablePackage("kwt-x"), nullptr);
            EXPECT_EQ(configurator.getAvailablePackage("kwt-x"), nullptr);
            const std::vector<std::string> lines = log.lines();
            EXPECT_EQ(count(lines, "DEBUG doGetAvailablePackage package not found in cache : kwt-b"), 1u);
            EXPECT_EQ(count(lines, "DEBUG doGetAvailablePackage package not found in cache : kwt-x"), 2u);
            // dnf fails when nothing matches.
            size_t misses = 0;
            for (const std::string& line : lines)
                misses += line.rfind(
                              "Most probably new version of package 'kwt-x' is not available from enabled "
                              "repos: Error in execution of '",
                              0) == 0;
            EXPECT_EQ(misses, 2u);
            EXPECT_EQ(count(lines, "DEBUG doGetAvailablePackage package not found in cache : kwt-none"), 0u);
        }

        configurator.removeTemporarySources();
        configurator.rollback();
        EXPECT_FALSE(fileops::exists(TEMPORARY_FILE));
        EXPECT_EQ(readWholeFile(PERSISTENT_FILE), "[old]\nname=old\nbaseurl=file:///nowhere\nenabled=0\n");
        EXPECT_EQ(shellOutput("find /etc/yum.repos.d -name '*.kw_back'"), "");
        // The helper stays.
        EXPECT_TRUE(fileops::exists(HELPER));
    });
}

TEST(YumConfigurator, KeysOfEveryBuildAreImportedAndOldProductKeysGo)
{
    TempDir dir("/var/tmp");
    TempDir other("/var/tmp");
    const std::string keys = std::string(KW_TEST_DATA_DIR) + "/gpg/";
    runChecksOnDnfSystem([&] {
        Options::instance().skipGpgCheck = false;
        // An old product key and a foreign one from before.
        ASSERT_EQ(shellOutput("rpm --import " + keys + "product-security.asc " + keys + "other.asc && echo ok"),
                  "ok\n");
        // A second key of the product's packaging identity, made here.
        const std::string home = other / "gnupg";
        mkdir(home.c_str(), 0700);
        const std::string gpg = "gpg --batch --quiet --homedir " + home;
        ASSERT_EQ(
            shellOutput(gpg + " --passphrase '' --quick-gen-key 'Zanth Packaging Team <packages@zanth.example>' " +
                        "ed25519 sign never && " + gpg + " --armor --export > " + other / "key.asc" +
                        " && gpgconf --homedir " + home + " --kill gpg-agent && echo ok"),
            "ok\n");

        YumProduct first(dir.path(), "gpgcheck=\"true\"");
        first.build->setGpgCheck(true);
        first.build->setGpgPublicKey(readWholeFile(keys + "product.asc"));
        YumProduct second(other.path(), "gpgcheck=\"true\"");
        second.build->setGpgCheck(true);
        second.build->setGpgPublicKey(readWholeFile(other / "key.asc"));
        first.sources.addBuildSources(second.fetcher, second.build);
        YumConfigurator configurator("", &first.sources, &first.repository);
        configurator.configureSources();
        EXPECT_EQ(shellOutput("rpm -qa 'gpg-pubkey*' --queryformat '%{Summary}\\n' | sort"),
                  "Other Vendor <keys@other.example> public key\n"
                  "Zanth Packaging Team <packages@zanth.example> public key\n"
                  "Zanth Packaging Team <packages@zanth.example> public key\n");
        // Checked sections in the files.
        EXPECT_NE(readWholeFile(TEMPORARY_FILE).find("\ngpgcheck=1"), std::string::npos);
    });
}

TEST(YumConfigurator, CheckTextsFollowTheHelpersEnd)
{
    struct Case {
        const char* name;
        std::string script;  // the helper's body
        std::string text;    // the check's result
    };
    const std::string pre = "Failed to check system configuration - Yum utility ";
    const std::vector<Case> cases = {
        {"silent success", "exit 0", ""},
        {"success with error output", "echo 'a notice' >&2; exit 0", "a notice\n"},
        {"failure", "echo broken >&2; exit 1", pre + "finished with errors. Installation may fail.\nbroken\n"},
        {"no repositories", "echo 'no repos' >&2; exit 2", messages.get("err_yum_no_repos")},
        {"signal", "echo killed >&2; kill -9 $PPID", pre + "was terminated by signal 9.\nkilled\n"},
    };
    TempDir dir("/var/tmp");
    runChecksOnDnfSystem([&] {
        Options::instance().skipGpgCheck = true;
        YumProduct product(dir.path());
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            YumConfigurator configurator("", &product.sources, &product.repository);
            configurator.configure();
            writeWholeFile(HELPER, "#!/bin/sh\necho \"$@\" > /var/tmp/kw-check-args\n" + c.script + "\n");
            chmod(HELPER.c_str(), 0700);
            LogFile log;
            EXPECT_EQ(configurator.checkConfiguration(), c.text);
            EXPECT_EQ(readWholeFile("/var/tmp/kw-check-args"), "-l " + Log::getFileName() + " --exit-on-lock\n");
        }
    });
}

TEST(YumConfigurator, FailedSetUpLeavesNothingBehind)
{
    TempDir dir("/var/tmp");
    runChecksOnDnfSystem([&] {
        Options::instance().skipGpgCheck = true;
        const std::string before = "[old]\nname=old\nbaseurl=file:///nowhere\nenabled=0\n";
        {
            // A repository file that cannot be written.
            writeWholeFile(PERSISTENT_FILE, before);
            mkdir(TEMPORARY_FILE.c_str(), 0755);
            YumProduct product(dir.path());
            YumConfigurator configurator("", &product.sources, &product.repository);
            const error e = caught([&] { configurator.configure(); });
            EXPECT_EQ(codes(e), std::make_tuple(4, 1, 1, 2));
            EXPECT_EQ(e.getText(), "Failed to write to the file " + TEMPORARY_FILE + ": Is a directory.\n");
            configurator.removeTemporarySources();
            configurator.finish();
            EXPECT_FALSE(fileops::exists(TEMPORARY_FILE));
            EXPECT_EQ(readWholeFile(PERSISTENT_FILE), before);
            EXPECT_EQ(shellOutput("find /etc/yum.repos.d -name '*.kw_back'"), "");
        }
        {
            // A helper that cannot be written: a directory with something in it stands at its path.
            fileops::create_directory(HELPER + "/inside");
            YumProduct product(dir.path());
            YumConfigurator configurator("", &product.sources, &product.repository);
            LogFile log;
            const error e = caught([&] { configurator.configure(); });
            EXPECT_EQ(codes(e), std::make_tuple(4, 1, 1, 2));
            EXPECT_EQ(e.getText(), "Failed to write to the file " + HELPER + ": Is a directory.\n");
            bool logged = false;
            for (const std::string& line : log.lines())
                logged = logged || line.rfind("Cannot remove " + HELPER + ": ", 0) == 0;
            EXPECT_TRUE(logged);
            EXPECT_NE(readWholeFile(PERSISTENT_FILE), before);
            configurator.removeTemporarySources();
            configurator.finish();
            EXPECT_FALSE(fileops::exists(TEMPORARY_FILE));
            EXPECT_EQ(readWholeFile(PERSISTENT_FILE), before);
            EXPECT_EQ(shellOutput("find /etc/yum.repos.d -name '*.kw_back'"), "");
        }
    });
}
