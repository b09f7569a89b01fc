#include "installer/Options.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/Reporter.h"
#include "installer/SourceUrl.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"
#include "tests/support/thrown.h"

namespace {

// What the dump prints for a run without arguments, but for the target directory (the last line
// before "releaseTiers").
std::string defaultDump(const std::string& target)
{
    return "workMode=0\n"
           "command=0\n"
           "commandOperation=0\n"
           "releaseSelectors=\n"
           "source=https://updates.zanth.example/\n"
           "useProductUpdates=1\n"
           "systemPackagesCache=\n"
           "target=" +
           target +
           "\n"
           "releaseTiers=stable,release,current\n"
           "releaseTiersDefault=1\n"
           "selectedReleaseIds=\n"
           "allVersions=0\n"
           "proxy=:3128::\n"
           "truncateLog=0\n"
           "separateLogs=0\n"
           "maxStoredSeparateLogs=20\n"
           "notifyEmail=\n"
           "helpVerbosity=0\n"
           "strict=0\n"
           "debug=0\n"
           "noDaemon=0\n"
           "downloadOnly=0\n"
           "webUiDefaultPage=\n"
           "skipCleanup=0\n"
           "disableSelfUpgrade=0\n"
           "showHiddenComponents=0\n"
           "extCatalogUrl=\n"
           "skipComponentsCheck=0\n"
           "forceRemovePackagesTree=0\n"
           "showOptions=0\n"
           "removeEverything=0\n"
           "interactiveUninstall=0\n"
           "sslCertificate=\n"
           "sslProtocols=\n"
           "sslCiphers=\n"
           "sslCipherServerPreference=\n"
           "withoutSsl=0\n"
           "openBrowser=1\n"
           "packagesToRemove=\n"
           "feedbackProduct=\n"
           "feedbackGroupId=\n"
           "interactionModeGiven=0\n"
           "downloadRetries=3\n"
           "skipGpgCheck=0\n"
           "stopTerminate=0\n"
           "commandName=\n"
           "selectors=\n"
           "selectedProduct=\n"
           "selectedReleaseId=\n"
           "selectedVersion=\n"
           "terminalWidth=80\n"
           "xmlOutput=0\n"
           "statusPrefix=\n"
           "noClear=0\n"
           "overrideName=\n"
           "overrideVendor=\n"
           "overrideVersion=\n"
           "overrideArch=\n"
           "overrideEnvironment=\n";
}

TEST(Options, DefaultsFollowTheHomeDirectoryOfRoot)
{
    // The dump's standard output is a file, so the terminal width falls back to 80.
    for (const std::string home : {"/", "/root"}) {
        TempDir dir;
        writeWholeFile(dir / "passwd",
                       "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
                       "root:x:0:0:root:" +
                           home + ":/bin/bash\n");
        ChildOptions options;
        options.binds = {{dir / "passwd", "/etc/passwd"}};
        if (home == "/root")
            options.tmpfs = {"/root"};  // no settings file of the host's administrator
        for (const char* name :
             {"WEB_SECRET", "ZANTH_INSTALLER_DEBUG", "KW_WEB_UI_DEFAULT_PAGE_OVERRIDE", "XDG_CONFIG_HOME"})
            options.env.emplace_back(name, nullptr);
        const ChildResult dump = runTool("kw_options_dump", {}, options);
        EXPECT_EQ(dump.exit_code, 0) << dump.err;
        EXPECT_EQ(dump.out, defaultDump(home == "/" ? "/quillfern" : "/root/quillfern")) << home;
    }
}

TEST(Options, TerminalWidthIsThatOfStandardOutput)
{
    // The dump writes into a pseudo-terminal of 123 columns.
    const std::string python =
        "import fcntl, os, struct, subprocess, sys, termios\n"
        "master, slave = os.openpty()\n"
        "fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack('HHHH', 40, 123, 0, 0))\n"
        "dump = subprocess.Popen([sys.argv[1]], stdout=slave, stderr=subprocess.DEVNULL)\n"
        "os.close(slave)\n"
        "out = b''\n"
        "while True:\n"
        "    try:\n"
        "        chunk = os.read(master, 4096)\n"
        "    except OSError:\n"
        "        break\n"
        "    if not chunk:\n"
        "        break\n"
        "    out += chunk\n"
        "dump.wait()\n"
        "sys.stdout.write(''.join(l for l in out.decode().splitlines() if l.startswith('terminalWidth=')))\n";
    const ChildResult run =
        runProgram("/usr/bin/python3", {"-c", python, std::string(KW_TEST_TOOLS_DIR) + "/kw_options_dump"});
    EXPECT_EQ(run.out, "terminalWidth=123") << run.err;
}

TEST(Options, DefaultSourceIsKeptAsSourceUrlNormalisesIt)
{
    EXPECT_EQ(SourceUrl(Options::DEFAULT_SOURCE_URL).url, Options::DEFAULT_SOURCE_URL);
    EXPECT_EQ(Options().source.url, Options::DEFAULT_SOURCE_URL);
}

// One call of a guarded setter: W setWorkMode, C setCommand, S setSelectionMode (for `product`),
// U setUserInteractionMode (with `text`).
struct SetterCall {
    char setter;
    const char* name;
    int value;
    std::string text;
};

struct SetterCase {
    std::vector<SetterCall> calls;
    // When the last call must clash: the option names that the message names, new one first.
    std::vector<std::string> clash;
    int workMode;  // after the calls that succeeded
    int command;
};

void apply(Options& o, const SetterCall& call)
{
    switch (call.setter) {
    case 'W': o.setWorkMode(call.name, static_cast<Options::WorkMode>(call.value)); break;
    case 'C': o.setCommand(call.name, static_cast<Options::CliCommand>(call.value)); break;
    case 'S': o.setSelectionMode(call.text, call.name, call.value); break;
    case 'U': o.setUserInteractionMode(call.name, call.text.c_str()); break;
    }
}

TEST(Options, GuardedSettersAllowOneChoicePerRun)
{
    const SetterCall web{'W', "web-interface", Options::INTERACTIVE_WEB_UI, ""};
    const SetterCall service{'W', "service-mode", Options::SERVICE, ""};
    const SetterCall console{'W', "console-interface", Options::INTERACTIVE_CONSOLE, ""};
    const SetterCall releases{'C', "show-releases", Options::SHOW_RELEASES, ""};
    const SetterCall components{'C', "show-components", Options::SHOW_COMPONENTS, ""};
    const SetterCall install{'C', "install-component", Options::INSTALL, ""};
    const SetterCall packages{'C', "show-packages", Options::SHOW_PACKAGES, ""};
    const SetterCall updates{'C', "check-updates", Options::CHECK_UPDATES, ""};
    const SetterCall listed{'S', "install-component", ComponentsSelection::LISTED_COMPONENTS, "zanth"};
    const SetterCall removeListed{'S', "remove-component", ComponentsSelection::LISTED_COMPONENTS, "zanth"};
    const SetterCall removeAll{'S', "remove-everything", ComponentsSelection::REMOVE_EVERYTHING, "zanth"};
    const SetterCall otherAll{'S', "install-everything", ComponentsSelection::INSTALL_EVERYTHING, "other"};
    const SetterCall textUI{'U', "set-user-interaction-mode", 0, "textUI"};
    const SetterCall webUI{'U', "set-user-interaction-mode", 0, "webUI"};
    const int NI = Options::NON_INTERACTIVE;

    const std::vector<SetterCase> cases = {
        {{web, releases}, {}, NI, Options::SHOW_RELEASES},
        // setCommand records in its own memory only: the work mode's record is still empty.
        {{releases, web}, {"web-interface", ""}, NI, Options::SHOW_RELEASES},
        {{service, web}, {"web-interface", "service-mode"}, Options::SERVICE, 0},
        {{console, web}, {}, Options::INTERACTIVE_WEB_UI, 0},
        {{web, console}, {"console-interface", "web-interface"}, Options::INTERACTIVE_WEB_UI, 0},
        {{service, releases, web}, {"web-interface", "service-mode"}, NI, Options::SHOW_RELEASES},
        {{releases, releases}, {}, NI, Options::SHOW_RELEASES},
        {{releases, components}, {"show-components", "show-releases"}, NI, Options::SHOW_RELEASES},
        // A dry run of an installation, in either order, without recording a name.
        {{install, packages}, {}, NI, Options::SHOW_PACKAGES},
        {{packages, install}, {}, NI, Options::SHOW_PACKAGES},
        {{install, packages, releases}, {"show-releases", "install-component"}, NI, Options::SHOW_PACKAGES},
        {{packages, install, updates}, {"check-updates", "show-packages"}, NI, Options::SHOW_PACKAGES},
        {{removeListed, listed}, {}, 0, 0},
        {{removeAll, listed}, {"install-component", "remove-everything"}, 0, 0},
        // The selection record is one for all products.
        {{removeAll, otherAll}, {}, 0, 0},
        {{otherAll, removeAll, listed}, {"install-component", "remove-everything"}, 0, 0},
        // The interaction mode is no choice of its own: it passes over any mode.
        {{web, textUI}, {}, Options::INTERACTIVE_CONSOLE, 0},
        {{releases, webUI}, {}, Options::INTERACTIVE_WEB_UI, Options::SHOW_RELEASES},
        {{web, textUI, service}, {}, Options::SERVICE, 0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const SetterCase& c = cases[i];
        Options o;
        for (size_t k = 0; k + 1 < c.calls.size(); ++k)
            apply(o, c.calls[k]);
        const std::optional<error> e = thrown<error>([&] { apply(o, c.calls.back()); });
        if (c.clash.empty()) {
            EXPECT_FALSE(e) << "case " << i << ": " << e->getText();
        } else {
            ASSERT_TRUE(e) << "case " << i;
            EXPECT_EQ(codes(*e), std::make_tuple(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE)) << "case " << i;
            EXPECT_EQ(e->getText(), format_message(Messages().get("err_cmd_override"), c.clash[0], c.clash[1]) + "\n")
                << "case " << i;
        }
        EXPECT_EQ(o.workMode, c.workMode) << "case " << i;
        EXPECT_EQ(o.command, c.command) << "case " << i;
    }
}

TEST(Options, OverrideMessageNamesBothOptions)
{
    Options o;
    o.setCommand("show-releases", Options::SHOW_RELEASES);
    const error e = caught([&] { o.setWorkMode("web-interface", Options::INTERACTIVE_WEB_UI); });
    EXPECT_EQ(e.getText(),
              "A wrong combination of options was specified.\n"
              "The options web-interface and  cannot be used together.\n"
              "Refer to the installer's help page for details (run Zanth Installer with the --help-options option).\n");
}

TEST(Options, SelectionModeCreatesTheProductsSelection)
{
    Options o;
    o.setSelectionMode("", "install-everything", ComponentsSelection::INSTALL_EVERYTHING);
    o.setSelectionMode("zanth", "upgrade-installed-components", ComponentsSelection::UPGRADE_INSTALLED);
    ASSERT_EQ(o.componentSelections.size(), 2u);  // an empty product stays itself here
    EXPECT_EQ(o.componentSelections[""].mode, ComponentsSelection::INSTALL_EVERYTHING);
    EXPECT_EQ(o.componentSelections["zanth"].mode, ComponentsSelection::UPGRADE_INSTALLED);
}

TEST(Options, InteractionModeRefusesOtherValues)
{
    Options o;
    o.setWorkMode("service-mode", Options::SERVICE);
    const error e = caught([&] { o.setUserInteractionMode("set-user-interaction-mode", "gui"); });
    EXPECT_EQ(codes(e), std::make_tuple(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_MAYBE));
    EXPECT_STREQ(e.getClassName(), "internal");
    EXPECT_EQ(e.getText(), "Invalid argument for option --set-user-interaction-mode=gui\n");
    EXPECT_EQ(o.workMode, Options::SERVICE);
    EXPECT_FALSE(o.interactionModeGiven);
    o.setUserInteractionMode("set-user-interaction-mode", "webUI");
    EXPECT_TRUE(o.interactionModeGiven);
}

TEST(Options, ReleaseTiers)
{
    struct TierCase {
        std::string text;
        std::vector<std::string> tiers;
    };
    const std::vector<TierCase> cases = {
        {"", {}},
        {",,", {"", "", ""}},
        {"a,,b", {"a", "", "b"}},
        {" stable , release", {" stable ", " release"}},
        {"testing,", {"testing", ""}},
    };
    for (const TierCase& c : cases) {
        Options o;
        ASSERT_TRUE(o.releaseTiersDefault);
        o.setReleaseTiers(c.text);
        EXPECT_EQ(o.releaseTiers, c.tiers) << "'" << c.text << "'";
        EXPECT_FALSE(o.releaseTiersDefault);
    }
    Options listed;
    listed.setReleaseTiersList({"x", "y"});
    EXPECT_EQ(listed.releaseTiers, (std::vector<std::string>{"x", "y"}));
    EXPECT_FALSE(listed.releaseTiersDefault);

    Options all;
    all.disableReleaseTiersFilter();
    EXPECT_TRUE(all.allVersions);
    EXPECT_TRUE(all.releaseTiers.empty());
    EXPECT_FALSE(all.releaseTiersDefault);
}

TEST(Options, WebSecretNarrowsOnlyTheDefaultTiers)
{
    struct SecretCase {
        const char* secret;  // null: unset
        bool tiersGiven;
        std::vector<std::string> tiers;
    };
    const std::vector<std::string> builtIn = {"stable", "release", "current"};
    const std::vector<SecretCase> cases = {
        {"abcdefghijklmnopqrst", false, {"stable", "release"}},
        {"abcdefghijklmnopqrst", true, {"testing"}},
        {"", false, builtIn},
        {nullptr, false, builtIn},
    };
    for (const SecretCase& c : cases) {
        ChildOptions options;
        options.env = {{"WEB_SECRET", c.secret}};
        const ChildResult checks = runChecksInChild(
            [&c] {
                Options o;
                if (c.tiersGiven)
                    o.setReleaseTiers("testing");
                o.applyWebSecretTiers();
                EXPECT_EQ(o.releaseTiers, c.tiers);
            },
            options);
        EXPECT_EQ(checks.exit_code, 0) << (c.secret ? c.secret : "(unset)") << "\n" << checks.out;
    }
}

TEST(Options, ReleaseSelectors)
{
    Options o;
    o.addReleaseSelector("select-release-latest", ReleaseSelector::LATEST, "", "");
    o.addReleaseSelector("select-release-current", ReleaseSelector::CURRENT, "other", "");
    o.addReleaseSelector("select-release-id", ReleaseSelector::ID, "", "zanth-18.0.1");
    ASSERT_EQ(o.releaseSelectors.size(), 3u);
    EXPECT_EQ(o.releaseSelectors[0].getProductId(), "zanth");
    EXPECT_EQ(o.releaseSelectors[0].getKind(), ReleaseSelector::LATEST);
    EXPECT_EQ(o.releaseSelectors[1].getProductId(), "other");
    EXPECT_EQ(o.releaseSelectors[1].getKind(), ReleaseSelector::CURRENT);
    EXPECT_EQ(o.releaseSelectors[2].getProductId(), "");  // an id names its product itself
    EXPECT_EQ(o.releaseSelectors[2].getReleaseId(), "zanth-18.0.1");

    EXPECT_TRUE(o.isProdIDSelected("zanth"));
    EXPECT_TRUE(o.isProdIDSelected("other"));
    EXPECT_FALSE(o.isProdIDSelected("third"));
}

TEST(Options, ReleaseSelectorMisuseIsAnInternalError)
{
    const std::string prefix = "An internal error occured in Zanth Installer ";
    const error kindId = caught([] { ReleaseSelector("zanth", ReleaseSelector::ID); });
    const error emptyId = caught([] { ReleaseSelector("zanth", std::string()); });
    const error viaOption =
        caught([] { Options().addReleaseSelector("select-release-id", ReleaseSelector::ID, "", ""); });
    const error noId = caught([] { ReleaseSelector("zanth", ReleaseSelector::LATEST).getReleaseId(); });
    for (const error* e : {&kindId, &emptyId, &viaOption, &noId}) {
        EXPECT_EQ(codes(*e), std::make_tuple(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED));
        EXPECT_EQ(e->getText().compare(0, prefix.size(), prefix), 0) << e->getText();
    }
    EXPECT_NE(kindId.getText().find(", installer/Options.h, line 112.\n"), std::string::npos) << kindId.getText();
    EXPECT_NE(emptyId.getText().find(", installer/Options.h, line 116.\n"), std::string::npos) << emptyId.getText();
    EXPECT_EQ(viaOption.getText(), emptyId.getText());
    EXPECT_NE(noId.getText().find(", installer/Options"), std::string::npos) << noId.getText();
}

TEST(Options, QueriesLogAtDebugLevel)
{
    const ChildResult run = runInChild([] {
        Log::consoleLevel = Log::LEVEL_DEBUG;
        Options o;
        o.addReleaseSelector("select-release-latest", ReleaseSelector::LATEST, "zanth", "");
        o.isProdIDSelected("zanth");
        o.isProdIDSelected("other");
        o.setWebUiDefaultPageOverride("update_components");
        if (o.webUiDefaultPage != "update_components")
            return 2;
        const char* exported = std::getenv("KW_WEB_UI_DEFAULT_PAGE_OVERRIDE");
        return exported && std::string(exported) == "update_components" ? 0 : 3;
    });
    EXPECT_EQ(run.exit_code, 0);
    for (const char* line : {"Options::isProdIDSelected: zanth true\n", "Options::isProdIDSelected: other false\n",
                             "DEBUG: Options: set KW_WEB_UI_DEFAULT_PAGE_OVERRIDE env var to update_components\n"})
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
}

TEST(Options, SetOptionStoresUnderTheProduct)
{
    // A text without a setting (blank or a comment) stores an empty setting.
    Options o;
    o.setOption("", "   ");
    o.setOption("other", "# nothing here");
    EXPECT_EQ(o.componentSettings["zanth"], (std::map<std::string, std::string>{{"", ""}}));
    EXPECT_EQ(o.componentSettings["other"], (std::map<std::string, std::string>{{"", ""}}));
}

TEST(Options, BackgroundInstall)
{
    struct BackgroundCase {
        bool noDaemon;
        Options::CliCommand command;
        bool xml;
        bool background;
    };
    const std::vector<BackgroundCase> cases = {
        {false, Options::INSTALL, true, true},     {true, Options::INSTALL, true, false},
        {false, Options::INSTALL, false, false},   {false, Options::SHOW_PACKAGES, true, false},
        {false, Options::NO_COMMAND, true, false},
    };
    for (const BackgroundCase& c : cases) {
        Options o;
        o.noDaemon = c.noDaemon;
        o.command = c.command;
        Reporter::xmlOutput = c.xml;
        EXPECT_EQ(o.isBackgroundInstall(), c.background) << c.noDaemon << " " << c.command << " " << c.xml;
    }
    Reporter::xmlOutput = false;
}

TEST(Options, ExtensionCatalogueNeededByMode)
{
    // Outside the command-line flow the command and the selections do not count.
    const std::vector<bool> notNeeded = {false, false, false, true, true, true, true, true, true, true, true};
    for (int mode = 0; mode <= Options::STOP; ++mode) {
        if (mode == Options::NON_INTERACTIVE)
            continue;  // the next test
        for (Options::CliCommand command : {Options::NO_COMMAND, Options::SHOW_COMPONENTS, Options::INSTALL}) {
            Options o;
            o.workMode = static_cast<Options::WorkMode>(mode);
            o.command = command;
            o.componentSelections["zanth"].mode = ComponentsSelection::INSTALL_EVERYTHING;
            EXPECT_EQ(o.isExtCatalogNotNeeded(), notNeeded[mode]) << "mode " << mode << " command " << command;
        }
    }
}

TEST(Options, ExtensionCatalogueNeededOnTheCommandLine)
{
    struct CatalogueCase {
        Options::CliCommand command;
        Options::CommandOperation operation;
        std::vector<int> modes;  // one selection per mode, for products a, b, ...
        bool notNeeded;
    };
    using O = Options;
    using S = ComponentsSelection;
    const std::vector<CatalogueCase> cases = {
        {O::NO_COMMAND, O::NO_OPERATION, {}, true},
        {O::SHOW_RELEASES, O::NO_OPERATION, {}, true},
        {O::SHOW_COMPONENTS, O::NO_OPERATION, {}, false},
        {O::SHOW_COMPONENTS, O::UPGRADE_COMMAND, {}, false},
        // The installing commands that add components always need it, also for their dry runs.
        {O::SHOW_PACKAGES, O::INSTALL_COMMAND, {}, false},
        {O::SHOW_PACKAGES, O::ADD_REMOVE_COMMAND, {S::REMOVE_EVERYTHING}, false},
        {O::SHOW_PACKAGES, O::UPDATE_COMMAND, {S::LISTED_COMPONENTS}, true},
        {O::SHOW_PACKAGES, O::UPGRADE_COMMAND, {}, true},
        {O::SHOW_RELEASES, O::INSTALL_COMMAND, {}, false},
        {O::INSTALL, O::INSTALL_COMMAND, {S::REMOVE_EVERYTHING}, false},
        {O::INSTALL, O::ADD_REMOVE_COMMAND, {S::UPGRADE_INSTALLED}, false},
        {O::INSTALL, O::UPGRADE_COMMAND, {S::UPGRADE_INSTALLED}, true},
        // An installation needs it unless every product only removes or upgrades what it has.
        {O::INSTALL, O::NO_OPERATION, {}, true},
        {O::INSTALL, O::NO_OPERATION, {S::REMOVE_EVERYTHING, S::UPGRADE_INSTALLED}, true},
        {O::INSTALL, O::NO_OPERATION, {S::REMOVE_EVERYTHING, S::LISTED_COMPONENTS}, false},
        {O::INSTALL, O::NO_OPERATION, {S::INSTALL_EVERYTHING}, false},
        {O::INSTALL, O::NO_OPERATION, {S::INSTALLATION_TYPE}, false},
        {O::INSTALL, O::NO_OPERATION, {S::NO_MODE}, false},
        {O::INSTALL, O::UPDATE_COMMAND, {S::UPGRADE_INSTALLED, S::INSTALLATION_TYPE}, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const CatalogueCase& c = cases[i];
        Options o;
        o.workMode = Options::NON_INTERACTIVE;
        o.command = c.command;
        o.commandOperation = c.operation;
        for (size_t k = 0; k < c.modes.size(); ++k)
            o.componentSelections[std::string(1, static_cast<char>('a' + k))].mode = c.modes[k];
        EXPECT_EQ(o.isExtCatalogNotNeeded(), c.notNeeded) << "case " << i;
    }
}

TEST(Options, CompletionOutputOnlyForCommandHelpWithoutDebug)
{
    namespace po = boost::program_options;
    struct CompletionCase {
        Options::WorkMode mode;
        bool debug;
        int completion;  // -1: no such value
        bool output;
    };
    const std::vector<CompletionCase> cases = {
        {Options::HELP_COMMAND, false, 1, true},   {Options::HELP_COMMAND, false, 0, false},
        {Options::HELP_COMMAND, false, -1, false}, {Options::HELP_COMMAND, true, 1, false},
        {Options::HELP, false, 1, false},          {Options::NON_INTERACTIVE, false, 1, false},
    };
    for (const CompletionCase& c : cases) {
        Options o;
        o.workMode = c.mode;
        o.debug = c.debug;
        if (c.completion >= 0)
            o.variables.insert({"completion", po::variable_value(boost::any(c.completion == 1), false)});
        EXPECT_EQ(o.isCompletionOutput(), c.output) << c.mode << " " << c.debug << " " << c.completion;
    }
}

TEST(Options, QuotedCommandLineMatchesCQuoting)
{
    const std::vector<std::string> args = {
        "/usr/local/bin/kit wright", "with blank", "a\"quote",  "back\\slash", "tab\there",
        "utf8 \xc3\xa9 \xff\x80",    "",           "new\nline", "del\x7f"};
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    Options::argc = static_cast<int>(args.size());
    Options::argv = argv.data();
    const std::string quoted = Options::getQuotedCommandLine();
    const std::string web = Options::getWebInterfaceCommandLine();
    Options::argc = 0;
    Options::argv = nullptr;

    // Each argument as a C literal: backslash and quote escaped, bytes outside 0x20-0x7e as \xhh.
    const std::string python =
        "import os, sys\n"
        "def quote(b):\n"
        "    return '\"' + ''.join('\\\\' + chr(c) if c in b'\\\\\"' else chr(c) if 0x20 <= c <= 0x7e "
        "else '\\\\x%02x' % c for c in b) + '\"'\n"
        "sys.stdout.write(''.join(quote(os.fsencode(a)) + ' ' for a in sys.argv[1:]))\n";
    std::vector<std::string> pythonArgs = {"-c", python};
    pythonArgs.insert(pythonArgs.end(), args.begin(), args.end());
    const ChildResult expected = runProgram("/usr/bin/python3", pythonArgs);
    ASSERT_EQ(expected.exit_code, 0) << expected.err;
    EXPECT_EQ(quoted, expected.out);
    EXPECT_EQ(web, expected.out + " --web-interface --with-ssl --disable-browser");
}

TEST(Options, BuildingTheRecordGivesTheDownloadsTheirRetryCount)
{
    const ChildResult checks = runChecksInChild([] {
        Downloader::setRetryCount(7);
        EXPECT_EQ(Options::instance().downloadRetries, 3);
        EXPECT_EQ(Downloader::getRetryCount(), 3);
    });
    EXPECT_EQ(checks.exit_code, 0) << checks.out;
}

}  // namespace
