#include "installer/SelfUpgrade.h"

#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/FileFetcher.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/ProgramVersion.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "installer/BuildManager.h"
#include "installer/Options.h"
#include "installer/SourceUrl.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LogFile.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

const std::string CACHE = "/var/cache/quillfern_installer/";
// Two builds of one program, versions 3.1.0 and 3.2.0: both newer than the program under test.
const std::string OLD_PROBE = std::string(KW_TEST_TOOLS_DIR) + "/kw_upgrade_probe_old";
const std::string NEW_PROBE = std::string(KW_TEST_TOOLS_DIR) + "/kw_upgrade_probe_new";

// The requirement and the running system are process-wide and the cache path is fixed: every test
// runs in a child over a fresh private /var/cache, where the cache starts absent.
ChildResult inPrivateCache(const std::function<int()>& body)
{
    ChildOptions options;
    options.tmpfs = {"/var/cache"};
    return runInChild(body, options);
}

void checksInChild(const std::function<void()>& body)
{
    ChildOptions options;
    options.tmpfs = {"/var/cache"};
    const ChildResult r = runChecksInChild(body, options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

// The digest as md5sum prints it.
std::string md5sum(const std::string& path)
{
    return shellOutput(shell_command({"md5sum", path})).substr(0, 32);
}

std::string modeOf(const std::string& path)
{
    return shellOutput(shell_command({"stat", "-c", "%a", path}));
}

bool sameFiles(const std::string& a, const std::string& b)
{
    return system(shell_command({"cmp", "-s", a, b}).c_str()) == 0;
}

// A program that reports `version` and otherwise prints "ran", its path and its arguments.
std::string reporting(const std::string& version)
{
    return "#!/bin/sh\n"
           "if [ \"$1\" = --print-version-of-this-binary ]; then echo '" +
           version +
           "'; exit; fi\n"
           "echo ran \"$0\" \"$@\"\n";
}

// Puts a program into the cache as this system's copy of `version`, mode 0500, with a checksum file
// holding `checksum` (md5sum's digest of the copy by default); returns its path.
std::string cacheCopy(const std::string& name_version, const std::string& content, const char* checksum = nullptr)
{
    const std::string path = SelfUpgrade::get_cache_dir() + SelfUpgrade::get_binary_name() + "_" + name_version;
    writeWholeFile(path, content);
    chmod(path.c_str(), 0500);
    writeWholeFile(path + ".md5sum", checksum ? checksum : md5sum(path) + "  " + path + "\n");
    return path;
}

// The binary name of the running system, detected in a child: the detection of this process stays
// open to the forced systems of other tests.
std::string thisSystemsBinaryName()
{
    return runInChild([] {
               std::cout << SelfUpgrade::get_binary_name();
               return 0;
           })
        .out;
}

// The program's start arguments, as the driver saves them.
void startedAs(const std::vector<const char*>& args)
{
    static std::vector<char*> argv;
    argv.clear();
    for (const char* arg : args)
        argv.push_back(const_cast<char*>(arg));
    argv.push_back(nullptr);
    Options::argc = static_cast<int>(args.size());
    Options::argv = argv.data();
}

// A catalogue root with the given child.
struct Root {
    explicit Root(const std::string& child) { document.Parse(("<build>" + child + "</build>").c_str()); }
    const TiXmlElement* element() const { return document.FirstChildElement(); }
    TiXmlDocument document;
};

// The system is detected once per process: each case in a child of its own.
TEST(SelfUpgrade, BinaryNameOfTheRunningSystem)
{
    struct Case {
        const char* vendor;
        const char* version;
        const char* arch;
        const char* name;
    };
    const Case cases[] = {
        {"Debian", "12.5", "x86_64", "quillfern_installer_Debian_12.0_x86_64"},
        {"Debian", "11", "x86_64", "quillfern_installer_Debian_11.0_x86_64"},
        {"Ubuntu", "22.04", "x86_64", "quillfern_installer_Ubuntu_22.04_x86_64"},
        {"Ubuntu", "24.04.1", "i686", "quillfern_installer_Ubuntu_24.04_i386"},
        {"Ubuntu", "24", "i586", "quillfern_installer_Ubuntu_24.0_i386"},
        {"AlmaLinux", "8.9", "i486", "quillfern_installer_AlmaLinux_8_i386"},
        {"CentOS", "7", "x86_64", "quillfern_installer_CentOS_7_x86_64"},
        {"Oracle", "9.3", "aarch64", "quillfern_installer_Oracle_9.3_aarch64"},
    };
    for (const Case& c : cases) {
        const ChildResult r = runChecksOnSystem({"Linux", c.vendor, c.version, c.arch, ""},
                                                [&] { EXPECT_EQ(SelfUpgrade::get_binary_name(), c.name); });
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    }
}

TEST(SelfUpgrade, RequiredVersionIsReadAndCompared)
{
    checksInChild([] {
        const std::string own = ProgramVersion::version;
        SelfUpgrade::check_required_KW_version(Root("<other/>").element());
        SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"" + own +
                                                    "\" binary_directory=\"bin\" binary_name=\"kw\" md5=\"abc\"/>")
                                                   .element());
        EXPECT_EQ(SelfUpgrade::requirement().version, own);
        EXPECT_EQ(SelfUpgrade::requirement().binaryDirectory, "bin");
        EXPECT_EQ(SelfUpgrade::requirement().binaryName, "kw");
        EXPECT_EQ(SelfUpgrade::requirement().md5, "abc");

        // Without a version the requirement goes and nothing else changes.
        SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright binary_name=\"other\"/>").element());
        EXPECT_EQ(SelfUpgrade::requirement().version, "");
        EXPECT_EQ(SelfUpgrade::requirement().binaryName, "kw");

        // Equal as versions, not as texts.
        SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"0" + own + "\"/>").element());
        EXPECT_TRUE(thrown<SelfUpgrade::NeedSelfUpgrade>([] {
            SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"99.0.0\"/>").element());
        }));

        Options::instance().disableSelfUpgrade = true;
        LogFile log(1);
        SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"99.0.0\"/>").element());
        Options::instance().disableSelfUpgrade = false;
        EXPECT_EQ(log.lines(), std::vector<std::string>{"Current kitwright version '" + own +
                                                        "', required = '99.0.0', but won't upgrade self due "
                                                        "--disable-self-upgrade"});
    });
}

TEST(SelfUpgrade, NamesThatLeadOutOfTheCacheAreRefused)
{
    checksInChild([] {
        const std::string own = ProgramVersion::version;
        SelfUpgrade::check_required_KW_version(
            Root("<exact_required_kitwright version=\"" + own + "\" binary_name=\"kw\"/>").element());
        struct Case {
            std::string attributes;
            std::string name;
        };
        const Case cases[] = {
            {"version=\"" + own + "\" binary_name=\"../kw\"", "../kw"},
            {"version=\"" + own + "\" binary_name=\"bin/kw\"", "bin/kw"},
            {"version=\"" + own + "\" binary_name=\"..\"", ".."},
            {"version=\"3.0/../../x\"", "3.0/../../x"},
        };
        for (const Case& c : cases) {
            const error e = caught([&] {
                SelfUpgrade::check_required_KW_version(
                    Root("<exact_required_kitwright " + c.attributes + "/>").element());
            });
            EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3)) << c.name;
            EXPECT_EQ(e.getText(), messages.get("err_self_upgrade_failed") +
                                       "\nThe catalogue names an unsafe file for the program copy: '" + c.name + "'\n");
            // Nothing of the refused element was taken.
            EXPECT_EQ(SelfUpgrade::requirement().version, own) << c.name;
            EXPECT_EQ(SelfUpgrade::requirement().binaryName, "kw") << c.name;
        }
    });
}

TEST(SelfUpgrade, TheCacheIsMadePrivateUnderTheCallersUmask)
{
    checksInChild([] {
        umask(022);
        EXPECT_EQ(SelfUpgrade::get_cache_dir(), CACHE);
        EXPECT_EQ(modeOf(CACHE), "700\n");
        EXPECT_EQ(umask(022), 022);
        EXPECT_EQ(SelfUpgrade::get_cache_dir(), CACHE);  // made once
    });
}

TEST(SelfUpgrade, TheCachedNameIsTheNewestNewerCopy)
{
    checksInChild([] {
        const std::string name = SelfUpgrade::get_binary_name();
        const std::string own = ProgramVersion::version;
        EXPECT_EQ(SelfUpgrade::get_cached_binary_name(), name + "_" + own);
        const std::string dir = SelfUpgrade::get_cache_dir();
        for (const std::string file : {"_3.0.5", "_3.1.0", "_2.9.9", "_3.9", "_4.0.0.1", "_5.0.0.md5sum", "_6.0.0x"})
            writeWholeFile(dir + name + file, "");
        writeWholeFile(dir + "other_9.9.9", "");
        fileops::create_directory(dir + name + "_7.0.0");  // not a regular file
        EXPECT_EQ(SelfUpgrade::get_cached_binary_name(), name + "_3.1.0");
        // The version order, not the text order; an equal version keeps the earlier name.
        writeWholeFile(dir + name + "_3.10.0", "");
        writeWholeFile(dir + name + "_03.10.0", "");
        const std::string newest = SelfUpgrade::get_cached_binary_name();
        EXPECT_TRUE(newest == name + "_3.10.0" || newest == name + "_03.10.0") << newest;

        // A name with metacharacters matches only itself.
        Options::instance().disableSelfUpgrade = true;
        SelfUpgrade::check_required_KW_version(
            Root("<exact_required_kitwright version=\"3.5.0\" binary_name=\"k.w\"/>").element());
        EXPECT_EQ(SelfUpgrade::get_cached_binary_name(), "k.w_3.5.0");
        SelfUpgrade::check_required_KW_version(
            Root("<exact_required_kitwright version=\"\" binary_name=\"k.w\"/>").element());
        writeWholeFile(dir + "kxw_8.0.0", "");
        EXPECT_EQ(SelfUpgrade::get_cached_binary_name(), "k.w_" + own);
        writeWholeFile(dir + "k.w_8.0.0", "");
        EXPECT_EQ(SelfUpgrade::get_cached_binary_name(), "k.w_8.0.0");
    });
}

TEST(SelfUpgrade, TheVersionACopyReports)
{
    checksInChild([] {
        const std::string dir = SelfUpgrade::get_cache_dir() + "it's a \"dir\" $HOME/";
        fileops::create_directory(dir);
        writeWholeFile(dir + "copy", "#!/bin/sh\necho '  3.4.5  '\necho second\n");
        chmod((dir + "copy").c_str(), 0500);
        writeWholeFile(dir + "failing", "#!/bin/sh\nexit 1\n");
        chmod((dir + "failing").c_str(), 0500);
        const LogFile log;
        EXPECT_EQ(SelfUpgrade::get_binary_version(dir + "copy"), "3.4.5");
        EXPECT_EQ(SelfUpgrade::get_binary_version(dir + "failing"), "");
        EXPECT_EQ(SelfUpgrade::get_binary_version(dir + "missing"), "");
        EXPECT_TRUE(log.has("DEBUG: SelfUpgrade: version is 3.4.5"));
        EXPECT_TRUE(log.has("Warning: unable to get version from KW executable " + dir + "failing"));
        EXPECT_EQ(SelfUpgrade::get_binary_version(NEW_PROBE), "3.2.0");
    });
}

// A mirror of program copies on a loopback server: this system's copy is the newer probe.
class SelfUpgradeFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        fileops::create_directory(mirror / "Zanth_Installer");
        serve(NEW_PROBE);
    }

    void serve(const std::string& program)
    {
        fileops::copy_file(program, copy());
        md5 = md5sum(copy());
        runProgram("/bin/sh",
                   {"-c", "cd \"$1\" && md5sum \"$2\" > \"$2.md5sum\"", "sh", mirror / "Zanth_Installer", name});
    }

    std::string copy() const { return mirror / "Zanth_Installer/" + name; }

    size_t requests() const { return loggedRequestValues(log, "target").size(); }

    // The catalogue's requirement of the newer probe, with the digest given or not.
    void require(const std::string& digest) const
    {
        Options::instance().disableSelfUpgrade = true;
        SelfUpgrade::check_required_KW_version(
            Root("<exact_required_kitwright version=\"3.2.0\" md5=\"" + digest + "\"/>").element());
    }

    TempDir mirror;
    TempDir work;
    const std::string log = work / "requests.log";
    const std::string name = thisSystemsBinaryName();
    std::string md5;
};

TEST_F(SelfUpgradeFetch, ACopyIsFetchedVerifiedAndKept)
{
    LoopbackServer server = LoopbackServer::scripted(mirror.path(), log);
    checksInChild([&] {
        require(md5);
        const LogFile log_file;
        SelfUpgrade::get_new_version(SourceUrl(server.url() + "products.inf3"));
        const std::string path = CACHE + name + "_3.2.0";
        EXPECT_EQ(modeOf(path), "500\n");
        EXPECT_TRUE(sameFiles(path, NEW_PROBE));
        EXPECT_EQ(readWholeFile(path + ".md5sum"), md5);
        EXPECT_EQ(requests(), 1u);
        EXPECT_TRUE(log_file.has("Getting new version of Zanth Installer..."));
        EXPECT_TRUE(log_file.has("Getting done, Zanth Installer is ready to restart."));

        // The copy with the right digest is used again without a request.
        SelfUpgrade::get_new_version(SourceUrl(server.url() + "products.inf3"));
        EXPECT_EQ(requests(), 1u);
    });
}

TEST_F(SelfUpgradeFetch, WithoutADigestTheChecksumFileIsFetchedFirst)
{
    LoopbackServer server = LoopbackServer::scripted(mirror.path(), log);
    checksInChild([&] {
        require("");
        SelfUpgrade::get_new_version(SourceUrl(server.url()));
        const std::string path = CACHE + name + "_3.2.0";
        EXPECT_EQ(readWholeFile(path + ".md5sum"), md5);
        EXPECT_TRUE(sameFiles(path, NEW_PROBE));
        EXPECT_EQ(loggedRequestValues(log, "target"),
                  (std::vector<std::string>{"/Zanth_Installer/" + name + ".md5sum", "/Zanth_Installer/" + name}));
    });
}

TEST_F(SelfUpgradeFetch, FailuresOfTheFetch)
{
    LoopbackServer server = LoopbackServer::scripted(mirror.path(), log);
    const std::string path = CACHE + name + "_3.2.0";
    const std::string wrong(32, '0');
    checksInChild([&] {
        require(wrong);
        const error e = caught([&] { SelfUpgrade::get_new_version(SourceUrl(server.url())); });
        EXPECT_EQ(e.getText(), format_message(messages.get("err_mk5check"), path + ".tmp", wrong, md5) + "\n");
    });
    writeWholeFile(copy() + ".md5sum", " \n");
    checksInChild([&] {
        require("");
        const error e = caught([&] { SelfUpgrade::get_new_version(SourceUrl(server.url())); });
        EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
        EXPECT_EQ(e.getText(), messages.get("err_self_upgrade_no_md5sum") + "\n");
    });
    // Another version under the required one's name.
    serve(OLD_PROBE);
    checksInChild([&] {
        require(md5);
        const error e = caught([&] { SelfUpgrade::get_new_version(SourceUrl(server.url())); });
        EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
        EXPECT_EQ(e.getText(), format_message(messages.get("err_selfupg_avail_ver_too_low"), "3.1.0") + "\n");
    });
}

TEST_F(SelfUpgradeFetch, ALocalSourceIsCopiedAndLeftAlone)
{
    checksInChild([&] {
        require("");
        SelfUpgrade::get_new_version(SourceUrl(mirror.path() + "/products.inf3"));
        const std::string path = CACHE + name + "_3.2.0";
        EXPECT_TRUE(fileops::exists(copy()));
        EXPECT_TRUE(sameFiles(path, copy()));
        EXPECT_EQ(modeOf(path), "500\n");
        EXPECT_EQ(readWholeFile(path + ".md5sum"), md5);
    });
    EXPECT_TRUE(sameFiles(copy(), NEW_PROBE));
}

// The start-up check, called as the driver calls it: what it logs and what stays in the cache.
TEST(SelfUpgrade, TheStartUpCheckKeepsRunningOnAnythingButANewerVerifiedCopy)
{
    struct Case {
        const char* what;
        std::function<void()> setup;
        std::string line;  // the log line that tells why the program runs on
        bool kept;         // the cached copy of 3.5.0 is still there afterwards
    };
    const std::string name_of = "3.5.0";
    const std::vector<Case> cases = {
        {"empty cache", [] {}, "DEBUG: SelfUpgrade: not exists, return ", false},
        {"group-writable cache",
         [&] {
             cacheCopy(name_of, reporting("3.5.0"));
             chmod(CACHE.c_str(), 0775);
         },
         "DEBUG: SelfUpgrade: cache directory is unsecure, avoid to using it.", true},
        {"world-writable cache",
         [&] {
             cacheCopy(name_of, reporting("3.5.0"));
             chmod(CACHE.c_str(), 0777);
         },
         "DEBUG: SelfUpgrade: cache directory is unsecure, avoid to using it.", true},
        {"no checksum file", [&] { fileops::remove(cacheCopy(name_of, reporting("3.5.0")) + ".md5sum"); },
         "DEBUG: SelfUpgrade: md5sum file is not exists, return ", true},
        {"another digest", [&] { cacheCopy(name_of, reporting("3.5.0"), "0123456789abcdef0123456789abcdef\n"); },
         "SelfUpgrade: md5 missmatch, do not execute this file.", true},
        {"an empty checksum file", [&] { cacheCopy(name_of, reporting("3.5.0"), " \n"); },
         "SelfUpgrade: md5 missmatch, do not execute this file.", true},
        {"no version reported", [&] { cacheCopy(name_of, "#!/bin/sh\nexit 3\n"); },
         "DEBUG: SelfUpgrade: version KW in cache is ", true},
        {"a version not newer than the program's", [&] { cacheCopy(name_of, reporting(ProgramVersion::version)); },
         "DEBUG: SelfUpgrade: not execute from cache, clean it.", false},
        {"a name with two numbers only", [&] { cacheCopy("3.9", reporting("3.9.0")); },
         "DEBUG: SelfUpgrade: not exists, return ", false},
        {"started from the cache",
         [&] {
             cacheCopy(name_of, reporting("3.5.0"));
             startedAs({"/var/cache/quillfern_installer/kw", "list"});
         },
         "DEBUG: SelfUpgrade: already runing from cache.", true},
    };
    for (const Case& c : cases)
        checksInChild([&] {
            startedAs({"/usr/sbin/kw", "list"});
            c.setup();
            const LogFile log;
            SelfUpgrade::run_cached_if_newer();
            EXPECT_TRUE(log.has(c.line)) << c.what;
            const std::string copy = CACHE + SelfUpgrade::get_binary_name() + "_" + name_of;
            EXPECT_EQ(fileops::exists(copy), c.kept) << c.what;
            if (std::string(c.what) == "a version not newer than the program's") {
                EXPECT_TRUE(fileops::exists(copy + ".md5sum"));
            }
        });
}

TEST(SelfUpgrade, TheStartUpCheckSwitchesToTheHighestNewerCopy)
{
    const ChildResult r = inPrivateCache([] {
        startedAs({"/usr/sbin/kw", "install", "a b"});
        cacheCopy("3.2.0", reporting("3.2.0"));
        cacheCopy("3.3.0", reporting("3.3.0"));
        cacheCopy("3.1.0", reporting("3.1.0"));
        SelfUpgrade::run_cached_if_newer();
        return 64;  // not reached: the copy replaced the process
    });
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "ran " + CACHE + thisSystemsBinaryName() + "_3.3.0 install a b\n");
}

TEST(SelfUpgrade, AnOlderProgramBecomesItsNewerCachedCopy)
{
    const ChildResult r = inPrivateCache([] {
        const std::string path = cacheCopy("3.2.0", readWholeFile(NEW_PROBE));
        std::cout << shellOutput(shell_command({OLD_PROBE, "list", "it's \"all\""})) << path << "\n";
        // The newer copy, now started from the cache, runs on as itself.
        std::cout << shellOutput(shell_command({path, "list"}));
        return 0;
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string path = CACHE + thisSystemsBinaryName() + "_3.2.0";
    EXPECT_EQ(r.out, "3.2.0 '" + path + "' 'list' 'it's \"all\"'\n" + path + "\n3.2.0 '" + path + "' 'list'\n");
}

TEST(SelfUpgrade, ARestartThatCannotRunTheCopyEndsTheProcess)
{
    const ChildResult r = inPrivateCache([]() -> int {
        startedAs({"/usr/sbin/kw", "list"});
        SelfUpgrade::restart(Options::argv);
    });
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    const std::string line = "Can't re-run Kitwright: No such file or directory\n";
    ASSERT_GE(r.err.size(), line.size()) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - line.size()), line) << r.err;
}

}  // namespace

namespace {

std::vector<std::string> texts(char** argv)
{
    std::vector<std::string> result;
    for (; *argv; ++argv)
        result.push_back(*argv);
    return result;
}

TEST(SelfUpgrade, TheRestartArgumentsCarryTheUsersState)
{
    const GeneratedMirror mirror;
    checksInChild([&] {
        startedAs({"/usr/sbin/kw", "--select-product-id", "zanth"});
        FileFetcher fetcher(SourceUrl(mirror.path() + "/"), mirror.path() + "/target");
        checked_autoclean_pointer<BuildManager> catalogue(new BuildManager(fetcher, ""));
        const SourceUrl source("https://mirror.example/kw/");
        const std::vector<std::string> start = {"/usr/sbin/kw", "--select-product-id", "zanth", "--source", source.url,
                                                "--target",     "/root/quillfern"};
        const std::vector<std::string> end = {"--disable-browser", "--set-user-interaction-mode", "textUI"};
        auto joined = [](std::vector<std::string> a, const std::vector<std::string>& b,
                         const std::vector<std::string>& c) {
            a.insert(a.end(), b.begin(), b.end());
            a.insert(a.end(), c.begin(), c.end());
            return a;
        };

        catalogue->selectRelease("zanth", "zanth-10.1");
        EXPECT_EQ(texts(SelfUpgrade::get_arguments_with_state("textUI", source, "/root/quillfern", Downloader::Proxy(),
                                                              catalogue)),
                  joined(start, {"--select-release-id", "zanth-10.1"}, end));

        // A second product gets its own option; the proxy pair(s) come before the releases.
        catalogue->selectRelease("folioforge", "folioforge-2.1");
        Downloader::Proxy proxy;
        proxy.host = "proxy.example";
        proxy.port = 8080;
        EXPECT_EQ(texts(SelfUpgrade::get_arguments_with_state("textUI", source, "/root/quillfern", proxy, catalogue)),
                  joined(start,
                         {"--proxy-host", "proxy.example", "--proxy-port", "8080", "--select-release-id", "zanth-10.1",
                          "--select-product-id", "folioforge", "--select-release-id", "folioforge-2.1"},
                         end));
        proxy.user = "me";
        proxy.password = "it's secret";
        char** with_user = SelfUpgrade::get_arguments_with_state("webUI", source, "/root/quillfern", proxy, catalogue);
        EXPECT_EQ(texts(with_user),
                  joined(start,
                         {"--proxy-host", "proxy.example", "--proxy-port", "8080", "--proxy-user", "me",
                          "--proxy-password", "it's secret", "--select-release-id", "zanth-10.1", "--select-product-id",
                          "folioforge", "--select-release-id", "folioforge-2.1"},
                         {"--disable-browser", "--set-user-interaction-mode", "webUI"}));

        // Without a catalogue: no releases.
        checked_autoclean_pointer<BuildManager> none;
        EXPECT_EQ(texts(SelfUpgrade::get_arguments_with_state("textUI", source, "/root/quillfern", Downloader::Proxy(),
                                                              none)),
                  joined(start, {}, end));
    });
}

}  // namespace
