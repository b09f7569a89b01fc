#include "installer/GpgKeyManager.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/fileops.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const std::string DATA = KW_TEST_DATA_DIR "/gpg/";

std::string key(const std::string& name)
{
    return readWholeFile(DATA + name + ".asc");
}

// The fingerprints of the primary keys of a key file or keyring, sorted, as gpg itself shows them.
std::string primaryFingerprints(const std::string& file)
{
    return shellOutput("h=$(mktemp -d) && gpg --homedir $h --show-keys --with-colons " + file +
                       " 2>/dev/null | awk -F: '/^pub/{p=1} /^fpr/ && p {print $10; p=0}' | sort; rm -rf $h");
}

std::string sorted(const std::unordered_set<std::string>& set)
{
    std::vector<std::string> items(set.begin(), set.end());
    std::sort(items.begin(), items.end());
    std::string text;
    for (const std::string& item : items)
        text += item + "\n";
    return text;
}

// The temporary homes and key files left in /tmp.
std::string leftovers()
{
    return shellOutput("ls /tmp | grep -e '^zanth.kitwright.gpg.home.' -e '^gpg.public.key.'");
}

// A private /tmp and /etc/apt.
ChildOptions privateApt()
{
    ChildOptions options;
    options.tmpfs = {"/tmp", "/etc/apt"};
    return options;
}

// The log lines of the child processes started, without their process ids.
std::vector<std::string> commands(const LogFile& log)
{
    std::vector<std::string> result;
    for (const std::string& line : log.lines())
        if (line.rfind("POpen (child pid=", 0) == 0)
            result.push_back(line.substr(line.find("): ") + 3));
    return result;
}

}  // namespace

TEST(GpgKeyManagerTest, AptKeyringsJudgedByGpg)
{
    const ChildResult result = runChecksInChild(
        [] {
            const std::string keyring = "/tmp/out/keyrings/zanth.gpg";
            fileops::create_directory("/tmp/out/keyrings");
            chmod("/tmp/out/keyrings", 0700);
            {
                AptGpgKeyManager manager;
                manager.importKey(key("product"));
                manager.importKey(key("product-security"));
                manager.exportKeyring(keyring);
                EXPECT_EQ(primaryFingerprints(keyring), primaryFingerprints(DATA + "product.asc") +
                                                            primaryFingerprints(DATA + "product-security.asc"));
                // Only primary keys count: the subkey of the product key does not.
                EXPECT_EQ(sorted(manager.getFingerprints(keyring)), primaryFingerprints(keyring));
                EXPECT_TRUE(manager.getFingerprints("/tmp/out/absent.gpg").empty());
                EXPECT_EQ(shellOutput("stat -c %a /tmp/out/keyrings " + keyring), "755\n644\n");

                // A keyring of another home holds none of these keys.
                EXPECT_EQ(std::system(
                              ("gpg --batch --homedir /tmp/out --dearmor < " + DATA + "other.asc > /tmp/out/other.gpg")
                                  .c_str()),
                          0);
                EXPECT_EQ(sorted(manager.getFingerprints("/tmp/out/other.gpg")),
                          primaryFingerprints(DATA + "other.asc"));

                const error e = caught([&] { manager.importKey("no key at all"); });
                EXPECT_EQ(e.getText().rfind("Unable to import GPG key.\n", 0), 0u) << e.getText();
            }
            // Without any key gpg writes nothing: the keyring is made empty all the same.
            {
                AptGpgKeyManager manager;
                manager.exportKeyring(keyring);
                EXPECT_EQ(shellOutput("stat -c '%a %s' " + keyring), "644 0\n");
            }
            EXPECT_EQ(leftovers(), "");
        },
        privateApt());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(GpgKeyManagerTest, GnuPGProgramFromThePath)
{
    const ChildResult result = runChecksInChild(
        [] {
            fileops::create_directory("/tmp/bin");
            ASSERT_EQ(symlink("/usr/bin/gpg", "/tmp/bin/gpg2"), 0);
            setenv("PATH", "/tmp/bin", 1);
            {
                LogFile log;
                AptGpgKeyManager manager;
                manager.importKey(key("other"));
                const std::vector<std::string> run = commands(log);
                ASSERT_EQ(run.size(), 3u);  // gpg and gpg2 looked for, the import
                EXPECT_EQ(run[0], "command -v gpg");
                EXPECT_EQ(run[1], "command -v gpg2");
                EXPECT_EQ(run[2].rfind("gpg2 --no-options --homedir /tmp/zanth.kitwright.gpg.home.", 0), 0u) << run[2];
                EXPECT_NE(run[2].find(" --batch --import /tmp/gpg.public.key."), std::string::npos) << run[2];
            }
            setenv("PATH", "/tmp/empty", 1);
            const error e = caught([] { AptGpgKeyManager manager; });
            EXPECT_EQ(codes(e), std::make_tuple(4, 1, 1, 2));
            EXPECT_EQ(e.getText(),
                      "gnupg, gnupg2 and gnupg1 do not seem to be installed - unable to import GPG key.\n");
            EXPECT_EQ(leftovers(), "");
        },
        privateApt());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(GpgKeyManagerTest, DuplicatesLeaveTheLegacyKeyring)
{
    struct Case {
        const char* name;
        std::vector<std::string> legacy;  // the keys of apt's legacy keyring, none: no keyring
        bool changed;                     // apt-key deletes the product's keys from it
    };
    const std::vector<Case> cases = {
        {"no legacy keyring", {}, false},
        {"product and other keys", {"other", "product"}, true},
        {"none of the product's keys", {"other"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = runChecksInChild(
            [&] {
                const std::string legacy = AptGpgKeyManager::getLegacyKeyringPath();
                for (const std::string& name : c.legacy)
                    ASSERT_EQ(
                        std::system(
                            ("gpg --batch --homedir /tmp --dearmor < " + DATA + name + ".asc >> " + legacy).c_str()),
                        0);
                const std::string before = readWholeFile(legacy);
                AptGpgKeyManager manager;
                manager.importKey(key("product"));
                manager.importKey(key("product-security"));
                manager.exportKeyring(AptGpgKeyManager::getTrustedPartKeyringPath());
                manager.removeDuplicateTrustedKeys();
                if (c.legacy.empty())
                    EXPECT_FALSE(fileops::exists(legacy));
                else if (c.changed)
                    EXPECT_EQ(primaryFingerprints(legacy), primaryFingerprints(DATA + "other.asc"));
                else
                    EXPECT_EQ(readWholeFile(legacy), before);
                // The product's keyring keeps its keys.
                EXPECT_EQ(manager.getFingerprints(AptGpgKeyManager::getTrustedPartKeyringPath()).size(), 2u);
            },
            privateApt());
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }
}

TEST(GpgKeyManagerTest, ManagerByOperatingSystemFamily)
{
    struct Case {
        const char* vendor;
        const char* kind;  // "apt", "yum" or "none"
    };
    for (const Case& c :
         {Case{"Debian", "apt"}, Case{"Ubuntu", "apt"}, Case{"AlmaLinux", "yum"}, Case{"Gentoo", "none"}}) {
        SCOPED_TRACE(c.vendor);
        const ChildResult result = runChecksOnSystem(
            {"Linux", c.vendor, "", "", ""},
            [&] {
                const std::string kind = c.kind;
                if (kind == "none") {
                    const error e = caught([] { GpgKeyManager::create(); });
                    EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
                    EXPECT_EQ(e.getText(), "GpgKeyManager is not implemented for current OS\n");
                    return;
                }
                const std::unique_ptr<GpgKeyManager> manager = GpgKeyManager::create();
                EXPECT_EQ(dynamic_cast<AptGpgKeyManager*>(manager.get()) != nullptr, kind == "apt");
                EXPECT_EQ(dynamic_cast<YumGpgKeyManager*>(manager.get()) != nullptr, kind == "yum");
            },
            privateApt());
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }
}

namespace {

// rpm over a database in the child's private home.
ChildOptions privateRpm()
{
    ChildOptions options;
    options.tmpfs = {"/tmp"};
    options.env = {{"HOME", "/tmp"}};
    return options;
}

// The summaries of the keys in rpm's database, sorted.
std::string rpmKeys()
{
    return shellOutput("rpm -qa 'gpg-pubkey*' --queryformat '%{Summary}\\n' | sort");
}

}  // namespace

TEST(GpgKeyManagerTest, RpmKeysOfTheProductAreReplaced)
{
    const ChildResult result = runChecksInChild(
        [] {
            YumGpgKeyManager manager;
            LogFile log;
            manager.removeInstalledZanthKeys();  // an empty database: nothing to remove
            for (const std::string& line : commands(log))
                EXPECT_EQ(line.find("rpm -e"), std::string::npos) << line;

            manager.importKey(key("product"));
            manager.importKey(key("other"));
            manager.importKey(key("product-security"));
            EXPECT_EQ(rpmKeys(),
                      "Other Vendor <keys@other.example> public key\n"
                      "Zanth Packaging Team <packages@zanth.example> public key\n"
                      "Zanth Packaging Team <security@zanth.example> public key\n");
            manager.removeInstalledZanthKeys();
            EXPECT_EQ(rpmKeys(), "Other Vendor <keys@other.example> public key\n");

            const error e = caught([&] { manager.importKey("no key at all"); });
            EXPECT_EQ(codes(e), std::make_tuple(4, 1, 1, 2));
            EXPECT_EQ(e.getText(), "Unable to import GPG key.\n");
            EXPECT_EQ(shellOutput("ls /tmp | grep '^gpg.public.key.'"), "");
        },
        privateRpm());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

// The query's lines as older rpm versions write them, read through an rpm that only prints them and
// records what it is asked to remove.
TEST(GpgKeyManagerTest, RpmQueryLinesAndFailures)
{
    const ChildResult result = runChecksInChild(
        [] {
            fileops::create_directory("/tmp/bin");
            writeWholeFile("/tmp/bin/rpm",
                           "#!/bin/sh\n"
                           "case \"$1\" in\n"
                           "-qa) [ -e /tmp/fail ] && { echo 'rpmdb: broken' >&2; exit 1; }\n"
                           "  printf '%s\\n' 'gpg-pubkey-1-1 gpg(Zanth Packaging Team <packages@zanth.example>)' "
                           "'nodelimiter' 'gpg-pubkey-2-2 gpg(Other Vendor <keys@other.example>)' "
                           "\"gpg-pubkey-3-3'x gpg(Zanth Packaging Team <security@zanth.example>)\";;\n"
                           "-e) shift; printf '[%s]' \"$@\" > /tmp/removed; echo 'removed' ; exit 5;;\n"
                           "esac\n");
            chmod("/tmp/bin/rpm", 0755);
            setenv("PATH", ("/tmp/bin:" + std::string(getenv("PATH"))).c_str(), 1);
            YumGpgKeyManager manager;
            {
                LogFile log;
                manager.removeInstalledZanthKeys();  // the status of the removal is ignored
                EXPECT_EQ(readWholeFile("/tmp/removed"), "[--allmatches][gpg-pubkey-1-1][gpg-pubkey-3-3'x]");
                EXPECT_TRUE(log.has("Unable to find whitespace delimeter in line: nodelimiter"));
            }
            fileops::remove("/tmp/removed");
            writeWholeFile("/tmp/fail", "");
            LogFile log(2);
            manager.removeInstalledZanthKeys();
            EXPECT_FALSE(fileops::exists("/tmp/removed"));
            const std::vector<std::string> lines = log.lines();
            const auto found = std::find(
                lines.begin(), lines.end(),
                "removeInstalledZanthKeys: rpm -qa 'gpg-pubkey*' --queryformat '%{Name}-%{Version}-%{Release} "
                "%{Summary}\\n'");
            ASSERT_NE(found, lines.end());
            ASSERT_NE(found + 1, lines.end());
            EXPECT_EQ(found[1], "rpmdb: broken");
        },
        privateRpm());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}
