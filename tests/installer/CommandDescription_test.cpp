// The command syntax on boost::program_options: parsing, the commands' settings and their help.
#include "installer/CommandDescription.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <boost/program_options/errors.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/Options.h"
#include "installer/Reporter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/CommandLine.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"
#include "tests/support/thrown.h"

namespace {

std::string msg(const char* key)
{
    return Messages().get(key);
}

TEST(CommandDescription, CommandsSetTheRecord)
{
    const PrivateHome home;
    const ChildResult checks = runChecksInChild(
        [] {
            Options help = optionsFromCommandLine({"help"});
            EXPECT_EQ(help.workMode, Options::HELP);
            EXPECT_EQ(optionsFromCommandLine({"help", "a", "b"}).workMode, Options::HELP);
            Options one = optionsFromCommandLine({"help", "install"});
            EXPECT_EQ(one.workMode, Options::HELP_COMMAND);
            EXPECT_TRUE(one.strict);
            EXPECT_EQ(one.commandName, "help");
            EXPECT_EQ(one.selectors, std::vector<std::string>{"install"});

            // --help skips the storing: the --xml of the same line has no effect.
            Options asked = optionsFromCommandLine({"install", "--xml", "--help", "-v", "2", "--target", "/t"});
            EXPECT_EQ(asked.workMode, Options::HELP_COMMAND);
            EXPECT_EQ(asked.helpVerbosity, 2u);
            EXPECT_FALSE(Reporter::xmlOutput);
            EXPECT_NE(asked.target, "/t");
            EXPECT_EQ(optionsFromCommandLine({"list", "--help", "--verbose"}).helpVerbosity, 1u);

            Options install =
                optionsFromCommandLine({"install", "zanth", "stable", "--components", "a, b", "\"c,d\"", "--components",
                                        "e", "--tries", "5", "--xml", "--proxy-port", "81", "--repatch"});
            EXPECT_EQ(install.workMode, Options::NON_INTERACTIVE);
            EXPECT_EQ(install.command, Options::INSTALL);
            EXPECT_EQ(install.commandOperation, Options::INSTALL_COMMAND);
            EXPECT_EQ(install.selectors, (std::vector<std::string>{"zanth", "stable"}));
            EXPECT_EQ(install.getMultiValue("components"), (std::vector<std::string>{"a", "b", "c,d", "e"}));
            EXPECT_EQ(install.getMultiValue("with"), std::vector<std::string>{});
            EXPECT_EQ(install.downloadRetries, 5);
            EXPECT_EQ(install.proxy.port, 81);
            EXPECT_TRUE(Reporter::xmlOutput);
            EXPECT_EQ(Reporter::statusPrefix, "install_");
            Reporter::xmlOutput = false;
            Reporter::statusPrefix.clear();

            EXPECT_EQ(optionsFromCommandLine({"install", "--dry-run"}).command, Options::SHOW_PACKAGES);
            Options update = optionsFromCommandLine({"update", "--panel-only"});
            EXPECT_EQ(update.command, Options::INSTALL);
            EXPECT_EQ(update.commandOperation, Options::UPDATE_COMMAND);
            EXPECT_EQ(Reporter::statusPrefix, "");
            Options remove = optionsFromCommandLine({"remove", "--components", "x", "--dry-run"});
            EXPECT_EQ(remove.command, Options::SHOW_PACKAGES);
            EXPECT_EQ(remove.commandOperation, Options::ADD_REMOVE_COMMAND);
            Options upgrade = optionsFromCommandLine({"upgrade", "--source", "/srv/mirror"});
            EXPECT_EQ(upgrade.workMode, Options::NON_INTERACTIVE);
            EXPECT_EQ(upgrade.command, Options::NO_COMMAND);
            EXPECT_EQ(upgrade.commandOperation, Options::UPGRADE_COMMAND);
            EXPECT_EQ(upgrade.source.url, SourceUrl("/srv/mirror").url);
            Options stop = optionsFromCommandLine({"stop", "--terminate"});
            EXPECT_EQ(stop.workMode, Options::STOP);
            EXPECT_TRUE(stop.stopTerminate);
            EXPECT_EQ(optionsFromCommandLine({"version"}).workMode, Options::VERSION);
            Options all = optionsFromCommandLine({"list-all"});
            EXPECT_EQ(all.command, Options::SHOW_ALL_RELEASES);
            // Every command accepts the verbose options of its groups.
            Options list = optionsFromCommandLine({"list", "--skip-gpg-check", "--options"});
            EXPECT_EQ(list.workMode, Options::NON_INTERACTIVE);
            EXPECT_TRUE(list.skipGpgCheck);
            EXPECT_TRUE(list.showOptions);
            // The selectors are understood later, against the catalogue.
            EXPECT_EQ(list.command, Options::NO_COMMAND);
        },
        home.options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

TEST(CommandDescription, RunControlValuesShowThroughTheSwitches)
{
    const PrivateHome home;
    home.write(".kitwrightrc", "SKIP_GPG_CHECK=yes\nSEPARATE_LOGS=yes\nDOWNLOAD_RETRY_COUNT=7\n");
    const ChildResult checks = runChecksInChild(
        [] {
            Options o = optionsFromCommandLine({"list", "--debug"});
            EXPECT_TRUE(o.skipGpgCheck);
            EXPECT_TRUE(o.separateLogs);
            EXPECT_TRUE(o.debug);
            EXPECT_EQ(o.downloadRetries, 7);
        },
        home.options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

TEST(CommandDescription, Failures)
{
    namespace po = boost::program_options;
    struct FailureCase {
        std::vector<std::string> args;
        std::string text;
        bool fromBoost;  // a boost::program_options::error, else an `error`
    };
    const auto conflict = [](const char* a, const char* b) { return format_message(msg("err_opt_conflict"), a, b); };
    const std::vector<FailureCase> cases = {
        // Boost 1.81's own texts.
        {{"install", "--bogus"}, "unrecognised option '--bogus'", true},
        {{"install", "--preset"}, "the required argument for option '--preset' is missing", true},
        {{"version", "extra"}, "too many positional options have been specified on the command line", true},
        {{"list-all", "zanth"}, "too many positional options have been specified on the command line", true},
        {{"add"}, "the option '--components' is required but missing", true},
        {{"install", "--tries", "many"}, "the argument ('many') for option '--tries' is invalid", true},
        // The checks of the commands, in their order.
        {{"list", "--presets", "--components", "--sources"}, conflict("presets", "components"), true},
        {{"list", "--options", "--presets"}, conflict("presets", "options"), true},
        {{"list", "--sources", "--components"}, conflict("sources", "components"), true},
        {{"list", "--sources", "--options"}, conflict("sources", "options"), true},
        {{"install", "--preset", "P", "--components", "c", "--with", "w"}, conflict("preset", "components"), true},
        {{"install", "--with", "w", "--without", "x"}, format_message(msg("err_opt_requires"), "with", "preset"), true},
        {{"install", "--without", "x"}, format_message(msg("err_opt_requires"), "without", "preset"), true},
        {{"install", "--tries", "0"},
         (error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << format_message(msg("err_retry_arg"), "--tries")).getText(),
         false},
        {{"instal"},
         (error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << format_message(msg("err_opt_unknown_command"), "instal"))
             .getText(),
         false},
    };
    const PrivateHome home;
    const ChildResult checks = runChecksInChild(
        [&] {
            for (const FailureCase& c : cases) {
                if (c.fromBoost) {
                    std::string text = "no exception";
                    try {
                        optionsFromCommandLine(c.args);
                    } catch (const po::error& e) {
                        text = e.what();  // the derived classes fill in the option's name
                    }
                    EXPECT_EQ(text, c.text) << c.args[0] << " " << c.args.size();
                } else {
                    const error e = caught([&] { optionsFromCommandLine(c.args); });
                    EXPECT_EQ(e.getText(), c.text) << c.args[0];
                    EXPECT_EQ(e.e_class, E_USER);
                }
            }
            // What the notifiers accept.
            EXPECT_EQ(optionsFromCommandLine({"install", "--preset", "P", "--with", "w", "--without", "x"}).command,
                      Options::INSTALL);
        },
        home.options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

TEST(CommandDescription, DeprecatedOptionsAreLogged)
{
    const ChildResult run = PrivateHome().dump({"list", "--repatch", "--skip-patch"});
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(run.err, format_message(msg("warn_deprecated_option"), "--repatch") + "\n" +
                           format_message(msg("warn_deprecated_option"), "--skip-patch") + "\n");
}

TEST(CommandDescription, OverridesReachTheSystemDescription)
{
    const PrivateHome home;
    const ChildResult checks = runChecksInChild(
        [] {
            Options::argc = 4;
            static std::vector<std::string> args = {"kw", "list", "--override-os-vendor", "CentOS"};
            static std::vector<char*> argv = {&args[0][0], &args[1][0], &args[2][0], &args[3][0], nullptr};
            Options::argv = argv.data();
            Options::instance();
            EXPECT_EQ(Opsys()->vendor, "CentOS");
            EXPECT_TRUE(Opsys().isRedHatBased());
        },
        home.options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

// The help of a command as the driver prints it, from the dump run with KW_DUMP_HELP.
ChildResult help(const std::vector<std::string>& args)
{
    PrivateHome home;
    // Fixed system fields: the help shows the detected ones as the overrides' defaults.
    home.write(".kitwrightrc",
               "OVERRIDE_OS_NAME=Linux\nOVERRIDE_OS_VENDOR=Debian\n"
               "OVERRIDE_OS_VERSION=12\nOVERRIDE_OS_ARCH=x86_64\n"
               "OVERRIDE_ENVIRONMENT=none\n");
    home.options.env.emplace_back("KW_DUMP_HELP", "1");
    return home.dump(args);
}

TEST(CommandDescription, HelpOfEveryCommandMatchesItsGoldenText)
{
    // Regenerate with KW_REGENERATE_GOLDEN=1 (on Boost 1.81) and review the difference.
    const bool regenerate = std::getenv("KW_REGENERATE_GOLDEN") != nullptr;
    const std::string dir = std::string(KW_TEST_DATA_DIR) + "/command_help/";
    for (const std::string command :
         {"version", "help", "list-all", "list", "install", "upgrade", "update", "add", "remove", "stop"})
        for (const std::string verbosity : {"0", "1", "2"}) {
            const ChildResult run = help({"help", command, "--verbose=" + verbosity});
            ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
            const std::string golden = dir + command + "_" + verbosity + ".txt";
            if (regenerate)
                writeWholeFile(golden, run.out);
            EXPECT_EQ(run.out, readWholeFile(golden)) << golden;
        }
    // The same through --help of the command itself.
    EXPECT_EQ(help({"install", "--help", "--xml"}).out, readWholeFile(dir + "install_0.txt"));
    EXPECT_EQ(help({"help"}).out, msg("usage_commands"));
    EXPECT_EQ(help({"help", "a", "b"}).out, msg("usage_commands"));
}

TEST(CommandDescription, CompletionListsAreJsonWithTheirFlags)
{
    struct CompletionCase {
        std::vector<std::string> args;
        std::vector<std::string> entries;  // some of the entries the list must hold
        std::vector<std::string> absent;   // options the list must not name
    };
    const std::vector<CompletionCase> cases = {
        {{"help", "install", "--completion"},
         {"\"--preset\": false", "\"--with\": false", "\"--components\": false", "\"--dry-run\": true"},
         {"--help", "--source"}},
        {{"help", "install", "-c", "-v"}, {"\"--help\": true", "\"--tries\": false", "\"--xml\": true"}, {"--verbose"}},
        {{"help", "install", "-c", "--verbose=2"}, {"\"--verbose\": true", "\"--completion\": true"}, {}},
        {{"list", "--help", "-c"}, {"\"--presets\": true", "\"--options\": true"}, {"--source"}},
        {{"help", "stop", "-c", "-v", "2"}, {"\"--terminate\": true", "\"--help\": true", "\"--verbose\": true"}, {}},
    };
    for (const CompletionCase& c : cases) {
        const ChildResult run = help(c.args);
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        // Python's own JSON reader judges the list, and prints each entry as "name": flag.
        const std::string python =
            "import json, sys\n"
            "for name, value in json.loads(sys.argv[1]).items():\n"
            "    assert list(value) == ['flag'] and isinstance(value['flag'], bool)\n"
            "    print(json.dumps(name) + ': ' + json.dumps(value['flag']))\n";
        const ChildResult parsed = runProgram("/usr/bin/python3", {"-c", python, run.out});
        ASSERT_EQ(parsed.exit_code, 0) << run.out << parsed.err;
        const ChildResult tool =
            runProgram("/bin/sh", {"-c", "printf '%s' \"$1\" | python3 -m json.tool", "sh", run.out});
        EXPECT_EQ(tool.exit_code, 0) << tool.err;
        for (const std::string& entry : c.entries)
            EXPECT_NE(parsed.out.find(entry + "\n"), std::string::npos) << entry << "\n" << parsed.out;
        for (const std::string& name : c.absent)
            EXPECT_EQ(parsed.out.find("\"" + name + "\""), std::string::npos) << name << "\n" << parsed.out;
    }
}

}  // namespace
