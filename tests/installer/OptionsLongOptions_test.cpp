// The long options, parsed by glibc's getopt_long, and the checks that follow them.
#include "installer/Options.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
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

std::string userText(const std::string& text)
{
    return (error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << text).getText();
}

TEST(OptionsLongOptions, GetoptDiagnosticsStayOn)
{
    struct DiagnosticCase {
        std::vector<std::string> args;
        std::string diagnostic;  // what glibc writes to standard error
    };
    const std::vector<DiagnosticCase> cases = {
        {{"--show"}, "option '--show' is ambiguous; possibilities:"},
        {{"--debug", "--no-such-option"}, "unrecognized option '--no-such-option'"},
        {{"--target"}, "option '--target' requires an argument"},
        {{"-x"}, "invalid option -- 'x'"},
        {{"--debug=yes"}, "option '--debug' doesn't allow an argument"},
    };
    for (const DiagnosticCase& c : cases) {
        const ChildResult run = PrivateHome().dump(c.args);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_NE(run.err.find(c.diagnostic), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "error: user: " + userText(msg("err_unkn_option")));
    }
}

TEST(OptionsLongOptions, LeftoverWordsAndTheServiceModeValue)
{
    // getopt_long moves the words behind the options; they are listed one per line.
    const ChildResult words = PrivateHome().dump({"--debug", "zanth", "--truncate-log", "stable"});
    const auto unclassed = [](const std::string& words) {
        const error e = error() << msg("err_unkn_arg") << words;
        return std::string("error: ") + e.getClassName() + ": " + e.getText();
    };
    EXPECT_EQ(words.out, unclassed("zanth\nstable\n"));
    // The optional value only after '='.
    const ChildResult separate = PrivateHome().dump({"--service-mode", "update"});
    EXPECT_EQ(separate.out, unclassed("update\n"));
    const ChildResult joined = PrivateHome().dump({"--service-mode=update", "--no-space-check"});
    EXPECT_NE(joined.out.find("workMode=3\n"), std::string::npos) << joined.out;
    EXPECT_NE(joined.out.find("webUiDefaultPage=update_components\n"), std::string::npos) << joined.out;
    EXPECT_EQ(joined.err, format_message(msg("warn_deprecated_option"), "--no-space-check") + "\n");
}

TEST(OptionsLongOptions, OptionsFillTheRecord)
{
    const ChildResult checks = runChecksInChild(
        [] {
            // Before any product the selection stays under the empty id; the selector names "zanth".
            Options o = optionsFromCommandLine({"--install-component", "x", "--show-packages", "--select-product-id",
                                                "A", "--select-release-latest", "--select-product-id", "B",
                                                "--select-release-current", "--remove-component", "y",
                                                "--remove-component", "z"});
            EXPECT_EQ(o.workMode, Options::NON_INTERACTIVE);
            EXPECT_EQ(o.command, Options::SHOW_PACKAGES);
            EXPECT_EQ(o.componentSelections[""].mode, ComponentsSelection::LISTED_COMPONENTS);
            EXPECT_EQ(o.componentSelections[""].installComponents, std::vector<std::string>{"x"});
            EXPECT_EQ(o.componentSelections["B"].removeComponents, (std::vector<std::string>{"y", "z"}));
            ASSERT_EQ(o.releaseSelectors.size(), 4u);
            EXPECT_EQ(o.releaseSelectors[0].getProductId() + std::to_string(o.releaseSelectors[0].getKind()), "A0");
            EXPECT_EQ(o.releaseSelectors[1].getProductId() + std::to_string(o.releaseSelectors[1].getKind()), "B1");
            EXPECT_EQ(o.releaseSelectors[2].getProductId() + std::to_string(o.releaseSelectors[2].getKind()), "B1");
            EXPECT_EQ(Reporter::statusPrefix, "install_");
        },
        PrivateHome().options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;

    const ChildResult more = runChecksInChild(
        [] {
            Options before = optionsFromCommandLine({"--show-releases",
                                                     "--select-product-id",
                                                     "P",
                                                     "--select-release-id",
                                                     "R1",
                                                     "--tier",
                                                     "a,,b",
                                                     "--proxy-port",
                                                     "81x",
                                                     "--source",
                                                     "/mirror/",
                                                     "--download-retry-count",
                                                     "4",
                                                     "--override-os-vendor",
                                                     "CentOS",
                                                     "--no-clear",
                                                     "--enable-xml-output",
                                                     "--set-option",
                                                     "k = \"v w\"",
                                                     "--with-ssl"});
            ASSERT_EQ(before.releaseSelectors.size(), 2u);
            EXPECT_EQ(before.releaseSelectors[0].getProductId(), "zanth");
            EXPECT_EQ(before.releaseSelectors[1].getReleaseId(), "R1");
            EXPECT_EQ(before.selectedReleaseIds, std::vector<std::string>{"R1"});
            EXPECT_EQ(before.releaseTiers, (std::vector<std::string>{"a", "", "b"}));
            EXPECT_EQ(before.proxy.port, 81);
            EXPECT_EQ(before.source.url, "/mirror/");
            EXPECT_EQ(before.downloadRetries, 4);
            EXPECT_EQ(before.componentSettings["P"]["k"], "v w");
            EXPECT_TRUE(Reporter::xmlOutput);
            EXPECT_EQ(Reporter::statusPrefix, "");  // none of the three options that set it

            // A second parse in the same process starts afresh.
            Options again = optionsFromCommandLine({"--query-status"});
            EXPECT_EQ(again.workMode, Options::QUERY_STATUS);
            EXPECT_EQ(Reporter::statusPrefix, "query_");
            Options abbreviated = optionsFromCommandLine({"--debu", "--sep", "--installation-type", "Custom"});
            EXPECT_TRUE(abbreviated.debug);
            EXPECT_TRUE(abbreviated.separateLogs);
            EXPECT_EQ(abbreviated.componentSelections[""].installationType, "Custom");

            // WEB_SECRET: the service mode is left alone, the tiers narrowed unless given.
            setenv("WEB_SECRET", "s", 1);
            Options secret = optionsFromCommandLine({"--service-mode=update"});
            EXPECT_EQ(secret.workMode, Options::INTERACTIVE_CONSOLE);
            EXPECT_EQ(secret.webUiDefaultPage, "");
            EXPECT_EQ(secret.releaseTiers, (std::vector<std::string>{"stable", "release"}));
            EXPECT_EQ(optionsFromCommandLine({"--branch", "beta"}).releaseTiers, std::vector<std::string>{"beta"});
            unsetenv("WEB_SECRET");
            EXPECT_EQ(optionsFromCommandLine({"--web-interface", "--without-ssl"}).sslCertificate, "");
        },
        PrivateHome().options);
    EXPECT_EQ(more.exit_code, 0) << more.out << more.err;
}

TEST(OptionsLongOptions, FailuresOfTheOptionsAndTheirChecks)
{
    struct FailureCase {
        std::vector<std::string> args;
        error expected;
    };
    const auto user = [](const std::string& text) { return error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << text; };
    const auto override = [&](const char* name, const char* recorded) {
        return user(format_message(msg("err_cmd_override"), name, recorded));
    };
    TempDir dir;
    const std::vector<FailureCase> cases = {
        {{"--download-retry-count", "0"}, user(format_message(msg("err_retry_arg"), "--download-retry-count"))},
        {{"--show-options", "--show-upgradable-components"}, user(msg("err_opt_show_options_wo_components"))},
        {{"--interactive-uninstall", "--remove-component", "c"}, user(msg("err_opt_int_uninst_wo_rm_everything"))},
        {{"--web-interface", "--ssl-cert", dir / "missing.pem"},
         error(E_USER, REP_LATER, SYS_STABLE, SUPP_MAYBE) << format_message(msg("err_misfile"), dir / "missing.pem")},
        {{"--web-interface"},
         error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE) << "The web interface is not available in this build yet."},
        // The short options record the long names of their modes.
        {{"--web-interface", "-h"}, override("help", "web-interface")},
        {{"-v", "--query-status"}, override("query-status", "version")},
        {{"--show-releases", "--web-interface"}, override("web-interface", "")},
        {{"--remove-everything", "--install-component", "c"}, override("install-component", "remove-everything")},
        {{"--show-os-list", "--check-updates"}, override("check-updates", "show-os-list")},
        {{"--set-option", "9=x"}, user(msg("err_rc_param"))},
        {{"--set-user-interaction-mode", "gui"},
         error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_MAYBE)
             << "Invalid argument for option --set-user-interaction-mode=gui"},
        {{"--select-release-id="}, internal_error("installer/Options.h", 116)},
    };
    const ChildResult checks = runChecksInChild(
        [&] {
            for (const FailureCase& c : cases) {
                const error e = caught([&] { optionsFromCommandLine(c.args); });
                EXPECT_EQ(e.getText(), c.expected.getText()) << c.args[0] << " " << c.args.size();
                EXPECT_EQ(codes(e), codes(c.expected)) << c.args[0] << " " << c.args.size();
            }
            // The certificate given exists: the run goes on.
            writeWholeFile("/root/cert.pem", "");
            EXPECT_EQ(optionsFromCommandLine({"--web-interface", "--ssl-cert", "/root/cert.pem"}).sslCertificate,
                      "/root/cert.pem");
        },
        PrivateHome().options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

TEST(OptionsLongOptions, UsageIsTheNineteenTextsInOrder)
{
    std::string expected;
    for (const char* key : {"usage_header", "usage_install", "usage_remove", "usage_upgrade", "usage_selectors",
                            "usage_list", "usage_feedback", "usage_download", "usage_proxy", "usage_override",
                            "usage_no_warn", "usage_automation", "usage_web", "usage_console", "usage_obsolete",
                            "usage_deprecated", "usage_logging", "usage_help", "usage_end"})
        expected += msg(key);
    PrivateHome home;
    home.options.env.emplace_back("KW_DUMP_HELP", "1");
    const ChildResult run = home.dump({"--help-o"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, expected);
}

}  // namespace
