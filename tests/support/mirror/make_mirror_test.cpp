#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/sysutils.h"
#include "common/textutils.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> filesUnder(const std::string& root)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string xpath(const std::string& file, const std::string& expression)
{
    std::string out = runProgram("xmllint", {"--xpath", expression, file}).out;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

}  // namespace

TEST(MakeMirror, WritesWellFormedCatalogueListedInItsManifest)
{
    GeneratedMirror mirror;
    std::vector<std::string> xml = mirror.list("xml_files");
    ASSERT_FALSE(xml.empty());
    std::vector<std::string> args{"--noout"};
    for (const auto& file : xml)
        args.push_back(mirror.path() + "/" + file);
    const ChildResult lint = runProgram("xmllint", args);
    EXPECT_EQ(lint.exit_code, 0) << lint.err;

    // The manifest names every file written, and every build file it names exists.
    std::vector<std::string> listed = xml;
    for (const char* more : {"repository_files", "script_files"}) {
        const std::vector<std::string> files = mirror.list(more);
        listed.insert(listed.end(), files.begin(), files.end());
    }
    listed.push_back("mirror.json");
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(filesUnder(mirror.path()), listed);
    for (const auto& product : mirror.manifest().get_child("products"))
        for (const auto& release : product.second.get_child("releases"))
            for (const auto& build : release.second.get_child("builds"))
                EXPECT_TRUE(fs::exists(mirror.path() + "/" + build.second.get<std::string>("config")));
}

TEST(MakeMirror, IndexFilesDifferAndCarryTheCatalogueFeatures)
{
    GeneratedMirror mirror;
    const std::string products = mirror.path() + "/products.inf3";
    const std::string versions = mirror.path() + "/versions.inf3";
    EXPECT_EQ(xpath(products, "count(//products/product)"), "2");
    EXPECT_EQ(xpath(versions, "count(//products/product)"), "1");
    EXPECT_EQ(xpath(products, "string(//product[@id='folioforge']/incompatible_with/@prod_id)"), "zud");
    EXPECT_EQ(xpath(products, "count(//addon) + count(//lazy_addon)"), "2");

    const std::string zanth = mirror.path() + "/zanth/products.inf3";
    EXPECT_EQ(xpath(zanth, "count(//release[@promoted_tags])"), "1");
    EXPECT_EQ(xpath(zanth, "count(//release[@hide_tags])"), "2");
    EXPECT_EQ(xpath(zanth, "count(//release/caution)"), "1");
    EXPECT_EQ(xpath(zanth, "count(//best_with/version)"), "3");
    EXPECT_EQ(xpath(zanth, "count(//release[1]/build)"), "2");
    EXPECT_EQ(xpath(zanth, "string(//release[1]/build[2]/@os_vendor)"), "AlmaLinux");

    const auto& firstRelease = mirror.manifest().get_child("products").front().second.get_child("releases");
    const std::string build =
        mirror.path() + "/" + firstRelease.front().second.get_child("builds").front().second.get<std::string>("config");
    for (const char* expression :
         {"count(//component/keypackages/keyprovide)", "count(//component/keypackages/nokeypackage)",
          "count(//component[@environment='qz'])", "count(//component[@hidden='true'])",
          "count(//group[@type='radio']/switch_rules/allow)", "count(//group/group)",
          "count(/build/thirdparty/package)", "count(/build/extras)", "count(/build/bootstrapper)",
          "count(/build/examine)", "count(//package/settings)", "count(/build/installation_types/type)"})
        EXPECT_NE(xpath(build, expression), "0") << expression;
}

TEST(MakeMirror, IsDeterministicAndTakesAModelOverride)
{
    GeneratedMirror first;
    GeneratedMirror second;
    for (const auto& file : first.list("xml_files"))
        EXPECT_EQ(readWholeFile(first.path() + "/" + file), readWholeFile(second.path() + "/" + file)) << file;
    EXPECT_EQ(readWholeFile(first.path() + "/mirror.json").size(),
              readWholeFile(second.path() + "/mirror.json").size());

    TempDir dir;
    writeWholeFile(dir / "model.json", R"({"addons": [], "builds_per_release": 1})");
    GeneratedMirror small({"--model", dir / "model.json", "--phase", "products", "--phase", "index"});
    EXPECT_TRUE(small.list("addons", "id").empty());
    EXPECT_EQ(xpath(small.path() + "/zanth/products.inf3", "count(//release[1]/build)"), "1");
    EXPECT_FALSE(fs::exists(small.path() + "/zanth/builds"));
    EXPECT_TRUE(fs::exists(small.path() + "/products.inf3"));
}

namespace {

// A shell command run as root over an overlay of the system (overlayRootOptions), with the host's
// network for the served repositories: its installs stay in the overlay. It sees what lies under
// /var/tmp, not the host's /tmp.
ChildResult inOverlay(const std::string& command)
{
    // apt's own user writes its temporary files into the private /tmp.
    return runProgram("sh", {"-c", "chmod 1777 /tmp && " + command}, overlayRootOptions());
}

// apt-get with only the given source list, so that the host's sources are neither read nor fetched.
std::string aptGet(const TempDir& config, const std::string& arguments)
{
    return shell_command({"apt-get", "-o", "Dir::Etc::SourceList=" + config / "sources.list", "-o",
                          "Dir::Etc::SourceParts=" + config.path()}) +
           " " + arguments;
}

std::string repositoryUrl(const GeneratedMirror& mirror, const std::string& base, const std::string& config,
                          char kind = 'b')
{
    return base + mirror.repository(config, kind).get<std::string>("path") + "/";
}

}  // namespace

TEST(MakeMirror, RepositoriesListTheBuildsPackagesWithTheirHeaders)
{
    GeneratedMirror mirror;
    const std::string deb = mirror.firstBuild("deb");
    const std::string rpm = mirror.firstBuild("rpm");
    for (const std::string& config : {deb, rpm}) {
        SCOPED_TRACE(config);
        for (char kind : {'b', 't', 'x'}) {
            const auto& repository = mirror.repository(config, kind);
            const std::string dir = mirror.path() + "/" + repository.get<std::string>("path");
            std::vector<std::string> files;
            for (const auto& package : repository.get_child("packages")) {
                files.push_back(package.second.get<std::string>("file"));
                EXPECT_TRUE(fs::exists(dir + "/" + files.back())) << files.back();
            }
            // The header file has one record per package, with the file's real digest.
            const std::string headers = repository.get<std::string>("headers_file");
            if (kind == 't') {
                EXPECT_EQ(headers, "");
                continue;
            }
            const std::string records = runProgram("sh", {"-c", "gunzip -c " + shell_word(dir + "/" + headers)}).out;
            size_t ends = 0;
            for (size_t at = records.find("\nX:\n"); at != std::string::npos; at = records.find("\nX:\n", at + 1))
                ++ends;
            EXPECT_EQ(ends, files.size());
            const std::string first = dir + "/" + files.front();
            const std::string md5 = runProgram("md5sum", {first}).out.substr(0, 32);
            EXPECT_NE(records.find("F:" + files.front() + "\n"), std::string::npos);
            EXPECT_NE(records.find("M:" + md5 + "\n"), std::string::npos);
        }
    }
    // The build file names the repositories relative to itself, the apt line relative to the product, and
    // carries the key whose fingerprint the manifest names.
    const std::string build = mirror.path() + "/" + deb;
    const std::string slug = fs::path(deb).stem().string();
    EXPECT_EQ(xpath(build, "string(/build/@build_dir)"), slug);
    EXPECT_EQ(xpath(build, "string(/build/thirdparty/@thirdparty_dir)"), slug + "-thirdparty");
    EXPECT_EQ(xpath(build, "string(/build/extras/@extras_dir)"), slug + "-extras");
    EXPECT_EQ(mirror.path() + "/zanth/" + xpath(build, "substring-before(/build/@apt_source, ' ')"),
              mirror.path() + "/" + mirror.repository(deb).get<std::string>("path") + "/");
    const std::string key = mirror.path() + "/key.asc";
    EXPECT_EQ(xpath(build, "string(/build/gpg_public_key)") + "\n", readWholeFile(key));
    const std::string shown =
        runProgram("sh", {"-c", "h=$(mktemp -d) && gpg --homedir $h --show-keys --with-colons " + shell_word(key) +
                                    " | awk -F: '/^fpr/{print $10; exit}';"
                                    " rm -rf $h"})
            .out;
    EXPECT_EQ(shown, mirror.manifest().get<std::string>("key_fingerprint") + "\n");
}

TEST(MakeMirror, AptAndDnfTrustTheSignedRepositoriesAndInstallFromThem)
{
    GeneratedMirror mirror({}, "/var/tmp");
    LoopbackServer server = LoopbackServer::files(mirror.path());
    const std::string deb = mirror.firstBuild("deb");
    const std::string rpm = mirror.firstBuild("rpm");
    TempDir config("/var/tmp");
    chmod(config.path().c_str(), 0755);
    // One apt source read locally, its thirdparty repository served; dnf the same.
    writeWholeFile(config / "sources.list", "deb [signed-by=" + mirror.path() + "/keyring.gpg] " +
                                                repositoryUrl(mirror, "file://" + mirror.path() + "/", deb) + " ./\n" +
                                                "deb [signed-by=" + mirror.path() + "/keyring.gpg] " +
                                                repositoryUrl(mirror, server.url(), deb, 't') + " ./\n");
    fs::create_directory(config / "repos");
    writeWholeFile(config / "repos/mirror.repo",
                   "[dist]\nname=dist\nbaseurl=" + repositoryUrl(mirror, "file://" + mirror.path() + "/", rpm) +
                       "\ngpgcheck=1\ngpgkey=file://" + mirror.path() + "/key.asc\n" +
                       "[thirdparty]\nname=thirdparty\nbaseurl=" + repositoryUrl(mirror, server.url(), rpm, 't') +
                       "\ngpgcheck=1\ngpgkey=file://" + mirror.path() + "/key.asc\n");
    const std::string dnf =
        shell_command({"dnf", "-y", "-q", "--releasever=8", "--setopt=reposdir=" + config / "repos"}) + " ";
    const ChildResult run = inOverlay(
        aptGet(config, "update") + " 2>&1 | grep -e '^[WE]:' ; " +
        aptGet(config, "install -y -q zanth-core zanth-thirdparty-lib") +
        " >/dev/null 2>&1; dpkg-query -W zanth-core zanth-base zanth-thirdparty-lib; cat "
        "/usr/share/kitwright-mirror/zanth-core.amd64; " +
        dnf +
        "install zanth-core zanth-thirdparty-lib >/dev/null 2>&1; rpm -q zanth-core zanth-base zanth-thirdparty-lib; "
        "cat /usr/share/kitwright-mirror/zanth-core.x86_64");
    EXPECT_EQ(run.out,
              "zanth-base\t10.0.0-1\nzanth-core\t10.0.0-1\nzanth-thirdparty-lib\t1.0-1\nzanth-core 10.0.0\n"
              "zanth-core-10.0.0-1.x86_64\nzanth-base-10.0.0-1.x86_64\nzanth-thirdparty-lib-1.0-1.x86_64\n"
              "zanth-core 10.0.0\n")
        << run.err;

    // Signed by another key: apt refuses the repository, rpm the packages.
    const std::string other = config / "other.gpg";
    runProgram("sh", {"-c", "h=$(mktemp -d) && gpg --homedir $h --dearmor < " KW_TEST_DATA_DIR "/gpg/other.asc > " +
                                shell_word(other) + "; rm -rf $h"});
    writeWholeFile(config / "sources.list", "deb [signed-by=" + other + "] " +
                                                repositoryUrl(mirror, "file://" + mirror.path() + "/", deb) + " ./\n");
    const ChildResult refused =
        inOverlay(aptGet(config, "update") + " 2>&1 | grep -c 'is not signed'; rpm -K " +
                  shell_word(mirror.path() + "/" + mirror.repository(rpm).get<std::string>("path")) +
                  "/zanth-core-10.0.0-1.x86_64.rpm");
    EXPECT_EQ(refused.out.substr(0, 2), "1\n") << refused.out << refused.err;
    EXPECT_NE(refused.out.find("SIGNATURES NOT OK"), std::string::npos) << refused.out;
}

// What whole installations need: packages that depend on another component's, a package versioned per
// release, a failing configuration, failing checks and a "prep" action that waits for its test. apt,
// dpkg and sh judge them in an overlay.
TEST(MakeMirror, CarriesTheComponentsThatWholeInstallationsNeed)
{
    const GeneratedMirror& mirror = GeneratedMirror::shared();
    const std::string deb = mirror.firstBuild("deb");
    const std::string build = mirror.path() + "/" + deb;
    const std::string tools = mirror.component("zanth", "tools").get_child("packages").front().second.data();
    EXPECT_EQ(mirror.debVersion("zanth", 0, tools), "1.0-1");
    EXPECT_EQ(mirror.debVersion("zanth", 1, tools), "2.0-1");
    EXPECT_EQ(xpath(build, "string(//component[@name='tools']/package/@version)"), "1.0");

    // The components that fail or wait on purpose stay out of every installation type.
    for (const auto& owner : mirror.manifest().get_child("products"))
        for (const auto& item : owner.second.get_child("components"))
            if (!item.second.get<bool>("in_types"))
                EXPECT_EQ(xpath(build, "count(//installation_types//component[.='" +
                                           item.second.get<std::string>("name") + "'])"),
                          "0");

    // Each check script lies where the build file's examine element names it and exits with its code.
    for (const char* name : {"precheck-fail", "postcheck-fail"}) {
        const auto& check = mirror.component("zanth", name).get_child("checks").front().second;
        const std::string scope = check.get<std::string>("scope");
        const std::string script = fs::path(build).parent_path().string() + "/" + check.get<std::string>("script");
        EXPECT_EQ(xpath(build, "string(//component[@name='" + std::string(name) + "']/examine/@script)"),
                  check.get<std::string>("script"));
        EXPECT_EQ(xpath(build, "string(//component[@name='" + std::string(name) + "']/examine/@scope)"), scope);
        EXPECT_EQ(runProgram(script, {}).exit_code, check.get<int>("exit")) << script;
    }

    // In an overlay: the prep action marks its start and ends once released; apt installs the dependent
    // package with the one it needs; the failing package is left unconfigured.
    const auto& wait = mirror.component("zanth", "prep-wait").get_child("prep_wait");
    const std::string prep = xpath(build, "string(//component[@name='prep-wait']/bootstrapper/action/@exec-cmd)");
    EXPECT_EQ(xpath(build, "string(//component[@name='prep-wait']/bootstrapper/action/@sequence)"), "prep");
    // Outside /tmp, which the overlay covers with a tmpfs of its own.
    TempDir config("/var/tmp");
    chmod(config.path().c_str(), 0755);
    writeWholeFile(config / "sources.list", "deb [signed-by=" + mirror.path() + "/keyring.gpg] " +
                                                repositoryUrl(mirror, "file://" + mirror.path() + "/", deb) + " ./\n");
    const std::string failing =
        mirror.component("zanth", "failing").get_child("failing_postinst").front().second.data();
    const ChildResult run = inOverlay(
        "touch " + shell_word(wait.get<std::string>("release")) + " && sh -c " + shell_word(prep) + " && test -e " +
        shell_word(wait.get<std::string>("marker")) + " && echo prep-ok; " + aptGet(config, "update") +
        " >/dev/null 2>&1; " + aptGet(config, "install -y -q " + tools) + " >/dev/null 2>&1; " +
        aptGet(config, "install -y -q " + failing) +
        " >/dev/null 2>&1 || echo install-failed; dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Version}\\n' " +
        tools + " zanth-core " + failing);
    // dpkg-query lists by name.
    EXPECT_EQ(run.out, "prep-ok\ninstall-failed\nii  zanth-core 10.0.0-1\niF  " + failing + " 10.0.0-1\nii  " + tools +
                           " 1.0-1\n")
        << run.err;
}

namespace {

// The command lines of the running processes that name `text`.
std::vector<std::string> processesNaming(const std::string& text)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string command = readWholeFile(entry.path().string() + "/cmdline");
        std::replace(command.begin(), command.end(), '\0', ' ');
        if (command.find(text) != std::string::npos)
            found.push_back(name + ": " + command);
    }
    return found;
}

}  // namespace

// The signing key is made in a private GNUPGHOME, where gpg starts an agent of its own. When a step of
// that set-up fails, the generator fails, and neither the agent nor the home is left behind.
TEST(MakeMirror, AFailedKeySetUpLeavesNoAgentRunning)
{
    for (const char* failing : {"--export-secret-keys", "--fingerprint"}) {
        SCOPED_TRACE(failing);
        TempDir dir;
        // gpg itself, except for the one step.
        fs::create_directory(dir / "bin");
        writeWholeFile(dir / "bin/gpg", std::string("#!/bin/sh\nfor a in \"$@\"; do [ \"$a\" = ") + failing +
                                            " ] && { echo refused >&2; exit 2; }; done\nexec /usr/bin/gpg \"$@\"\n");
        fs::permissions(dir / "bin/gpg", fs::perms::owner_all);
        fs::create_directory(dir / "tmp");
        const std::string path = dir / "bin:/usr/sbin:/usr/bin:/sbin:/bin";
        const std::string tmp = dir / "tmp";
        ChildOptions options;
        options.env = {{"PATH", path.c_str()}, {"TMPDIR", tmp.c_str()}};
        const ChildResult run = runProgram(
            "python3", {GeneratedMirror::script(), dir / "out", "--cache", dir / "cache", "--phase", "packages"},
            options);
        EXPECT_NE(run.exit_code, 0);
        EXPECT_NE(run.err.find("refused"), std::string::npos) << run.err;
        // gpgconf ends the agent on request; give it a moment to go.
        std::vector<std::string> left = processesNaming(tmp);
        for (int i = 0; i < 100 && !left.empty(); ++i, left = processesNaming(tmp))
            usleep(20000);
        EXPECT_EQ(left, std::vector<std::string>());
        EXPECT_TRUE(fs::is_empty(tmp));
    }
}
