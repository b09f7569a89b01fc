#include "installer/ComponentsExamine.h"

#include <sys/stat.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/Repository.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "installer/SourceUrl.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

// A build for the running system of a release of the product, whose state is computed with the
// product's key package installed in that version (none: not installed). Any installed version may
// be upgraded.
boost::shared_ptr<Build> releaseBuild(Repository& repository, const std::string& product_id, const std::string& version,
                                      const std::string& installed = "")
{
    const std::string key = product_id + "-release-key";
    if (!installed.empty())
        addInstalledPackage(repository, key, installed);
    return makeProductBuild(repository, product_id, version, {{key}}, "0");
}

BuildInfFile::examine_t record(const std::string& scope, const std::string& name, const std::string& script,
                               const std::string& options = "", bool always = false, const std::string& launcher = "")
{
    BuildInfFile::examine_t r;
    r.scope = scope;
    r.name = name;
    r.script = script;
    r.options = options;
    r.always = always;
    r.launcher = launcher;
    return r;
}

std::vector<std::string> names(const std::vector<ExamineEntry>& entries)
{
    std::vector<std::string> result;
    for (const ExamineEntry& entry : entries)
        result.push_back(entry.record.name);
    return result;
}

const char* const SCOPES[] = {"pre_install", "post_install", "pre_upgrade", "post_upgrade", "pre_update",
                              "post_update", "pre_any",      "post_any",    "pre_never"};

// A throwaway local installation source with check scripts. "args.sh" writes its arguments, one per
// line, into the file "args" of the source; "exit.sh" leaves with its first argument after writing
// "out" and "err" to its two streams.
struct CheckSource {
    CheckSource()
    {
        fileops::create_directory(dir / "checks");
        writeWholeFile(dir / "checks/args.sh", "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + dir / "args" + "\n");
        writeWholeFile(dir / "checks/exit.sh", "#!/bin/sh\necho out; echo err >&2; echo more err >&2; exit $1\n");
        writeWholeFile(dir / "checks/launch.sh", "#!/bin/sh\nprintf '%s\\n' launcher \"$@\" > " + dir / "args" + "\n");
        chmod((dir / "checks/launch.sh").c_str(), 0600);
    }

    // The arguments the last script received, and the file removed.
    std::string args() const
    {
        const std::string text = readWholeFile(dir / "args");
        fileops::remove(dir / "args");
        return text;
    }

    TempDir dir;
    TempDir target;
};

}  // namespace

TEST(ComponentsExamineTest, SelectionByScopeAndUpdateMode)
{
    struct Case {
        const char* name;
        std::string release, installed;
        std::vector<std::string> pre, post;
    };
    const std::vector<Case> cases = {
        {"install", "2.0", "", {"pre_install", "pre_any"}, {"post_install", "post_any"}},
        {"minor upgrade", "1.5", "1.0", {"pre_upgrade", "pre_any"}, {"post_upgrade", "post_any"}},
        {"major upgrade", "2.0", "1.0", {"pre_upgrade", "pre_any"}, {"post_upgrade", "post_any"}},
        {"up to date", "2.0", "2.0", {"pre_update", "pre_any"}, {"post_update", "post_any"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Repository repository;
        const boost::shared_ptr<Build> build = releaseBuild(repository, "zanth", c.release, c.installed);
        for (const char* scope : SCOPES)
            build->addExamine(record(scope, scope, "checks/args.sh"));
        ComponentManager manager;
        const boost::shared_ptr<KwComponent> web = componentInMode(repository, build, "web", KwComponent::INSTALL);
        web->requestInstall();
        manager.roots = {web};
        const ComponentsExamine examine(&manager, nullptr);
        EXPECT_EQ(names(examine.getPreEntries()), c.pre);
        EXPECT_EQ(names(examine.getPostEntries()), c.post);
    }

    // A release whose update mode cannot be given (installed newer than it) stops the selection.
    Repository repository;
    const boost::shared_ptr<Build> build = releaseBuild(repository, "zanth", "2.0", "3.0");
    build->addExamine(record("pre_any", "any", "checks/args.sh"));
    ComponentManager manager;
    const boost::shared_ptr<KwComponent> web = componentInMode(repository, build, "web", KwComponent::INSTALL);
    web->requestInstall();
    manager.roots = {web};
    EXPECT_EQ(codes(caught([&] { ComponentsExamine(&manager, nullptr); })), std::make_tuple(3, 1, 1, 3));

    EXPECT_EQ(std::string(thrown<std::invalid_argument>([] { ComponentsExamine(nullptr, nullptr); })->what()),
              "setInstallationType: Invalid argument 'componentManager'.");
}

TEST(ComponentsExamineTest, ComponentRecordsDuplicatesAndAddonBuilds)
{
    Repository repository;
    const boost::shared_ptr<Build> build = releaseBuild(repository, "zanth", "2.0", "1.0");
    build->addExamine(record("pre_any", "disk", "/checks/args.sh", "{RC}"));
    build->addExamine(record("pre_any", "disk", "checks/args.sh", "{RC}"));  // the same check
    build->addExamine(record("pre_any", "disk", "checks/args.sh", "{RC}", true));
    const boost::shared_ptr<KwComponent> web = componentInMode(repository, build, "web", KwComponent::UPGRADE);
    web->requestInstall();
    web->examines = {
        record("pre_any", "disk", "checks/args.sh", "{RC}"), record("pre_install", "web-install", "checks/args.sh"),
        record("post_upgrade", "web-upgrade", "checks/args.sh"), record("post_any", "shared", "checks/args.sh")};
    // Only being removed: its build's checks count, its own do not.
    const boost::shared_ptr<Build> extBuild = releaseBuild(repository, "ext", "1.0", "1.0");
    extBuild->addExamine(record("post_update", "ext-build", "checks/args.sh"));
    const boost::shared_ptr<KwComponent> gone = componentInMode(repository, extBuild, "gone", KwComponent::UP2DATE);
    gone->requestRemove();
    gone->examines = {record("post_any", "gone-own", "checks/args.sh")};
    // An addon's build brings its release's best build, handled once.
    const boost::shared_ptr<Build> addon(new Build(build->getParent(), build->getOsName(), build->getOsVendor(),
                                                   build->getOsVersion(), build->getOsArch(), "", "", "addon.inf3",
                                                   ""));
    addon->addExamine(record("post_any", "addon-build", "checks/args.sh"));
    const boost::shared_ptr<KwComponent> plugin = componentInMode(repository, addon, "plugin", KwComponent::INSTALL);
    plugin->requestInstall();
    plugin->examines = {record("post_any", "shared", "checks/args.sh")};
    const boost::shared_ptr<KwComponent> kept = componentInMode(repository, build, "kept", KwComponent::UP2DATE);
    kept->examines = {record("post_any", "kept-own", "checks/args.sh")};

    ComponentManager manager;
    manager.roots = {gone, kept, plugin, web};
    LogFile log(2);
    const ComponentsExamine examine(&manager, nullptr);
    EXPECT_EQ(names(examine.getPreEntries()), (std::vector<std::string>{"disk", "disk"}));
    EXPECT_EQ(examine.getPreEntries()[0].context, "");
    EXPECT_EQ(examine.getPreEntries()[0].fromVersion, "1.0");
    EXPECT_EQ(examine.getPreEntries()[0].toVersion, "2.0");
    EXPECT_TRUE(examine.getPreEntries()[1].record.always);
    EXPECT_EQ(names(examine.getPostEntries()),
              (std::vector<std::string>{"ext-build", "addon-build", "shared", "web-upgrade"}));
    EXPECT_EQ(examine.getPostEntries()[0].context, "");
    EXPECT_EQ(examine.getPostEntries()[2].context, "plugin");  // the first of two components
    EXPECT_EQ(examine.getPostEntries()[3].context, "web");
    EXPECT_TRUE(
        log.has("Examination added: disk, context=\"\", script=checks/args.sh, launcher=, "
                "options=\"{RC}\", always=false"));
}

TEST(ComponentsExamineTest, PathsAndFormatting)
{
    ExamineEntry entry;
    const std::pair<std::string, std::string> paths[] = {
        {"checks/a.sh", "checks/a.sh"}, {"///checks/a.sh", "checks/a.sh"}, {"", ""}, {"/", ""}};
    for (const auto& p : paths)
        EXPECT_EQ(entry.resolvePath(p.first), p.second);
    entry.record.directory = "zanth/10.0/";
    EXPECT_EQ(entry.resolvePath("checks/a.sh"), "zanth/10.0/checks/a.sh");
    EXPECT_EQ(entry.resolvePath("/checks/a.sh"), "checks/a.sh");

    const ExamineResults results = {{"Disk space", "not shown", "first line  \t\r\n\nsecond\n", true},
                                    {"Memory", "only output", "", false},
                                    {"Mail", "", "one", false}};
    EXPECT_EQ(ExamineResultFormatter().format(results),
              "Disk space\n  first line\n  \n  second\nMemory\nMail\n  one\n");
    EXPECT_EQ(ExamineResultFormatter().format({}), "");
    EXPECT_TRUE(hasExamineErrors(results));
    EXPECT_FALSE(hasExamineErrors({results[1], results[2]}));
}

namespace {

// The forest of a run with one component to install whose checks are the records given.
struct OneComponent {
    explicit OneComponent(const std::vector<BuildInfFile::examine_t>& records)
    {
        build = releaseBuild(repository, "zanth", "2.0");
        web = componentInMode(repository, build, "web", KwComponent::INSTALL);
        web->requestInstall();
        web->examines = records;
        manager.roots = {web};
    }

    Repository repository;
    boost::shared_ptr<Build> build;
    boost::shared_ptr<KwComponent> web;
    ComponentManager manager;
};

}  // namespace

TEST(ComponentsExamineTest, ScriptsRunWithTheirArgumentsAndResults)
{
    const ChildResult result = runChecksInChild(
        [] {
            CheckSource s;
            FileFetcher fetcher(SourceUrl(s.dir / "products.inf3"), s.target.path());
            const Opsys system;

            // Placeholders, each replaced as plain text, in a failure post run of the command line.
            Options::instance().workMode = Options::NON_INTERACTIVE;
            std::vector<std::string> words = {"/usr/sbin/kitwright", "--set-option", "pass=pa$$w", "x`id`y",
                                              "say \"hi\" \\o/"};
            std::vector<char*> argv;
            for (std::string& word : words)
                argv.push_back(&word[0]);
            Options::argc = static_cast<int>(argv.size());
            Options::argv = argv.data();
            {
                OneComponent run(
                    {record("post_install", "placeholders", "checks/args.sh",
                            "{RC} {WORK_MODE} {PRESET} {FROM_RELEASE_VERSION}x {TO_RELEASE_VERSION} {KW_HOME} "
                            "{OS_NAME} {OS_VERSION} {OS_ARCH} {ARGUMENTS} {RC}",
                            true),
                     record("post_install", "not always", "checks/args.sh", "{RC}")});
                run.manager.instTypeByProduct = {{"zanth", "Full"}};
                ComponentsExamine examine(&run.manager, &fetcher);
                EXPECT_TRUE(examine.doFailurePostExamine());
                EXPECT_EQ(s.args(), "1\nNON_INTERACTIVE\nzanth:Full\nx\n2.0\n" + get_home_dir() + "\n" + system->name +
                                        "\n" + system->version + "\n" + system->arch + "\n" +
                                        Options::getQuotedCommandLine() + "\n1\n");
                // The post phase has run: a later call only reports.
                EXPECT_TRUE(examine.doPostExamine(false));
                EXPECT_EQ(s.args(), "");
                EXPECT_EQ(shellOutput("stat -c %a " + s.dir / "checks/args.sh"), "700\n");

                run.manager.instTypeByProduct = {{"zanth", "Full"}, {"ext", "Cu$tom `x`"}};
                examine.setInstallationType(&run.manager);
                const std::string preset = "0 NON_INTERACTIVE \"ext:Cu\\$tom \\`x\\` zanth:Full\" x";
                EXPECT_EQ(examine.buildArguments(examine.getPostEntries()[0], 0).substr(0, preset.size()), preset);
            }

            // Exit codes, a launcher, a script that is not there; skipExamine runs only checks marked always.
            OneComponent run(
                {record("pre_install", "error", "checks/exit.sh", "2", true),
                 record("pre_install", "warning", "checks/exit.sh", "1", true),
                 record("pre_install", "passed", "checks/exit.sh", "0", true),
                 record("pre_install", "launched", "checks/args.sh", "{RC} 'a b'", true, "/checks/launch.sh"),
                 record("pre_install", "missing", "checks/missing.sh", "", true),
                 record("pre_install", "skipped", "checks/exit.sh", "2")});
            ComponentsExamine examine(&run.manager, &fetcher);
            LogFile log(2);
            EXPECT_FALSE(examine.doPreExamine(true));
            const ExamineResults& results = examine.getPreResults();
            ASSERT_EQ(results.size(), 3u);
            EXPECT_EQ(results[0].title, "error");
            EXPECT_EQ(results[0].output, "out\n");
            EXPECT_EQ(results[0].errors, "err\nmore err\n");
            EXPECT_TRUE(results[0].isError);
            EXPECT_EQ(results[1].title, "warning");
            EXPECT_FALSE(results[1].isError);
            EXPECT_EQ(results[2].title, "missing");
            EXPECT_EQ(results[2].output, "");
            EXPECT_EQ(results[2].errors.substr(0, results[2].errors.find('\n') + 1),
                      format_message(messages.get("err_examine_launch_failed"), "missing.sh") + "\n");
            EXPECT_FALSE(results[2].isError);
            EXPECT_TRUE(hasExamineErrors(results));
            EXPECT_EQ(s.args(), "launcher\n" + s.dir / "checks/args.sh" + "\n0\na b\n");
            EXPECT_EQ(shellOutput("stat -c %a " + s.dir / "checks/launch.sh"), "700\n");
            EXPECT_TRUE(log.has("Examination executed [\"" + s.dir / "checks/exit.sh" + "\" 2] with code 2"));
            EXPECT_FALSE(examine.doPreExamine(false));
            EXPECT_TRUE(log.has("ComponentsExamine::doPreExamine: already has results"));
            EXPECT_TRUE(examine.doPostExamine(false));
            EXPECT_TRUE(log.has("ComponentsExamine::doPostExamine: no components for examination"));
            const std::string formatted = "error\n  err\n  more err\nwarning\n  err\n  more err\nmissing\n  " +
                                          format_message(messages.get("err_examine_launch_failed"), "missing.sh") +
                                          "\n";
            EXPECT_EQ(ExamineResultFormatter().format(results).substr(0, formatted.size()), formatted);

            // Without a fetcher a script cannot be had: a launch failure, not an error.
            ComponentsExamine unfetched(&run.manager, nullptr);
            EXPECT_FALSE(unfetched.doPreExamine(true));
            EXPECT_EQ(unfetched.getPreResults().size(), 5u);
            EXPECT_FALSE(hasExamineErrors(unfetched.getPreResults()));
        },
        privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(ComponentsExamineTest, ScriptFetchedFromAMirror)
{
    const ChildResult result = runChecksInChild(
        [] {
            CheckSource s;
            const LoopbackServer server = LoopbackServer::files(s.dir.path());
            FileFetcher fetcher(SourceUrl(server.url() + "products.inf3"), s.target.path());
            OneComponent run({record("pre_install", "fetched", "checks/args.sh", "{WORK_MODE}")});
            ComponentsExamine examine(&run.manager, &fetcher);
            EXPECT_TRUE(examine.doPreExamine(false));
            EXPECT_EQ(s.args(), "INTERACTIVE_CONSOLE\n");
            EXPECT_EQ(shellOutput("stat -c %a " + s.target / "checks/args.sh"), "700\n");
        },
        privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}
