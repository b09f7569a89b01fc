// The sources read before the command line: the run-control file, the environment and the saved
// component settings, and the line syntax that they and --set-option share. Every run that reads a
// home directory sees a private one bound over /root.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/Options.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"
#include "tests/support/thrown.h"

namespace {

// The value of one "name=value" line of a dump; "<missing>" when there is none.
std::string field(const std::string& dump, const std::string& name)
{
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, name.size() + 1, name + "=") == 0)
            return line.substr(name.size() + 1);
    return "<missing>";
}

// What the dump prints for an error of these codes and this text.
std::string errorLine(const error& e)
{
    return std::string("error: ") + e.getClassName() + ": " + e.getText();
}

error userError(const std::string& text)
{
    return error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << text;
}

std::string msg(const char* key)
{
    return Messages().get(key);
}

// One line of the shared syntax with its key NOTIFY_EMAIL (a text setting of the run-control file), and
// either the value it gives or the error it raises.
struct LineCase {
    std::string line;
    std::string value;
    const char* errorKey;  // null when the line is read
};

std::vector<LineCase> lineCases()
{
    return {
        {"NOTIFY_EMAIL=value", "value", nullptr},
        {"  NOTIFY_EMAIL \t=  value   # and a comment", "value", nullptr},
        {"NOTIFY_EMAIL=\"two words\"   \"with # inside\"", "two words   with # inside", nullptr},
        {"NOTIFY_EMAIL=\"esc\\\"aped\\\\back\\slash\"", "esc\"aped\\backslash", nullptr},
        {"NOTIFY_EMAIL=plain\"quote\\and\\\\back", "plain\"quote\\and\\\\back", nullptr},
        {"NOTIFY_EMAIL=\"glued\"word\"again\"", "gluedword\"again\"", nullptr},
        {"NOTIFY_EMAIL=\"quoted\"\"twice\"", "quotedtwice", nullptr},
        {"NOTIFY_EMAIL=one \t two  \t ", "one \t two", nullptr},
        {"NOTIFY_EMAIL=a#b", "a", nullptr},
        {"NOTIFY_EMAIL", "", "err_rc_line"},
        {"NOTIFY_EMAIL   # only a comment", "", "err_rc_line"},
        {"NOTIFY_EMAIL yes", "", "err_rc_eqsign"},
        {"NOTIFY_EMAIL-2=x", "", "err_rc_eqsign"},
        {"NOTIFY_EMAIL=", "", "err_rc_value"},
        {"NOTIFY_EMAIL=   # nothing", "", "err_rc_value"},
        {"9NOTIFY_EMAIL=x", "", "err_rc_param"},
        {"-NOTIFY_EMAIL=x", "", "err_rc_param"},
        {"NOTIFY_EMAIL=\"not closed", "", "err_noquote_closed"},
        {"NOTIFY_EMAIL=\"not closed\\\"", "", "err_noquote_closed"},
    };
}

// The error that a line of the case raises, as the reader builds it.
error lineError(const LineCase& c)
{
    const std::string key = c.errorKey;
    if (key == "err_noquote_closed")
        return error() << msg("err_noquote_closed");  // neither a class nor a support need
    return userError(format_message(msg(c.errorKey), c.line));
}

TEST(OptionsReaders, LineSyntaxReadDirectly)
{
    for (const LineCase& c : lineCases()) {
        // Blank and comment lines before it are passed over.
        std::istringstream in("\n   \n# comment\n  # indented comment\n" + c.line + "\n");
        std::string key = "stale";
        std::string value = "stale";
        if (!c.errorKey) {
            EXPECT_TRUE(Options::readRcLine(in, key, value)) << c.line;
            EXPECT_EQ(key, "NOTIFY_EMAIL") << c.line;
            EXPECT_EQ(value, c.value) << c.line;
            // The end of the input: false, both texts empty.
            EXPECT_FALSE(Options::readRcLine(in, key, value));
            EXPECT_EQ(key + value, "");
            continue;
        }
        const error e = caught([&] { Options::readRcLine(in, key, value); });
        const error expected = lineError(c);
        EXPECT_EQ(e.getText(), expected.getText()) << c.line;
        EXPECT_EQ(codes(e), codes(expected)) << c.line;
    }
}

// Builds a record from the arguments (the program's name first) as the driver does; for checks that
// run inside a child with a private home directory.
Options build(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return Options(static_cast<int>(args.size()), argv.data());
}

TEST(OptionsReaders, LineSyntaxThroughTheFileSetOptionAndSavedSettings)
{
    // The lines that are read: each once through the run-control file, and all of them at once as
    // --set-option values and as saved settings, one product each.
    std::vector<std::string> setOptions;
    std::string ini;
    for (const LineCase& c : lineCases()) {
        if (c.errorKey)
            continue;
        const std::string product = "p" + std::to_string(setOptions.size() / 4);
        setOptions.insert(setOptions.end(), {"--select-product-id", product, "--set-option", c.line});
        ini += "[" + product + "]\n" + c.line + "\n";
    }
    PrivateHome home;
    const ChildResult optionRun = home.dump(setOptions);
    home.write(".kitwright/options.ini", ini);
    const ChildResult iniRun = home.dump();
    size_t index = 0;
    for (const LineCase& c : lineCases()) {
        if (c.errorKey)
            continue;
        const std::string name = "componentSettings[p" + std::to_string(index++) + "][NOTIFY_EMAIL]";
        EXPECT_EQ(field(optionRun.out, name), quote_c_string(c.value)) << c.line << optionRun.out;
        EXPECT_EQ(field(iniRun.out, name), quote_c_string(c.value)) << c.line << iniRun.out;
    }

    const ChildResult checks = runChecksInChild(
        [] {
            for (const LineCase& c : lineCases()) {
                writeWholeFile("/root/.kitwrightrc", "# settings\n" + c.line + "\n");
                if (!c.errorKey) {
                    EXPECT_EQ(build({"kw"}).notifyEmail, c.value) << c.line;
                    continue;
                }
                const error expected = lineError(c);
                const error fromFile = caught([] { build({"kw"}); });
                EXPECT_EQ(fromFile.getText(), expected.getText()) << c.line;
                EXPECT_EQ(codes(fromFile), codes(expected)) << c.line;
                std::remove("/root/.kitwrightrc");
                const error fromOption = caught([&] { build({"kw", "--set-option", c.line}); });
                EXPECT_EQ(fromOption.getText(), expected.getText()) << c.line;
                EXPECT_EQ(codes(fromOption), codes(expected)) << c.line;
                // The saved settings take '-' and a leading digit in names (their writer makes such names).
                if (std::string(c.errorKey) == "err_rc_param" || c.line == "NOTIFY_EMAIL-2=x")
                    continue;
                writeWholeFile("/root/.kitwright/options.ini", "[web]\n" + c.line + "\n");
                const error fromIni = caught([] { build({"kw"}); });
                EXPECT_EQ(fromIni.getText(), expected.getText()) << c.line;
                EXPECT_EQ(codes(fromIni), codes(expected)) << c.line;
                std::remove("/root/.kitwright/options.ini");
            }
        },
        home.options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

TEST(OptionsReaders, SavedSettingsReadBackAsTheirWriterWroteThem)
{
    // The writer's format: sections in byte order of the ids, "id=" and the value quoted as
    // quote_c_string does, three empty lines after each section.
    std::string bytes;
    for (int b = 0x80; b <= 0xff; ++b)
        bytes += static_cast<char>(b);
    const std::vector<std::pair<std::string, std::string>> settings = {
        {"a-b", "say \"hi\" to C:\\dir"}, {"9lives", "line one\nline\ttwo"}, {"high", bytes}, {"x", "#not a comment"}};
    std::string file;
    for (const std::string product : {"other", "zanth"}) {
        file += "[" + product + "]\n";
        for (const auto& setting : settings)
            file += setting.first + "=" + quote_c_string(setting.second) + "\n";
        file += "\n\n\n";
    }
    PrivateHome home;
    home.write(".kitwright/options.ini", file);
    const ChildResult run = home.dump();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    for (const std::string product : {"other", "zanth"})
        for (const auto& setting : settings)
            EXPECT_EQ(field(run.out, "componentSettings[" + product + "][" + setting.first + "]"),
                      quote_c_string(setting.second))
                << product << " " << setting.first;
}

TEST(OptionsReaders, SavedSettingsFileStructure)
{
    struct IniCase {
        std::string file;
        std::string expected;  // the componentSettings lines, or the error line
    };
    const error broken = error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                         << "broken component options.ini file: [prod_id] must precede any name=val lines";
    const std::vector<IniCase> cases = {
        // The header is taken as written, blanks included; the rest of its line is dropped.
        {"[ my prod ] trailing words\nk=v\n[b]\n  k = \"w\"\n",
         "componentSettings[ my prod ][k]=\"v\"\ncomponentSettings[b][k]=\"w\"\n"},
        {"k=v\n[zanth]\n", errorLine(broken)},
        // A comment line before a header lets the line reader take the header, which it refuses.
        {"[zanth]\n# comment\n[other]\nk=v\n", errorLine(userError(format_message(msg("err_rc_param"), "[other]")))},
        // An unfinished header ends the reading; what came before stays.
        {"[zanth]\nk=v\n[unfinished\nq=1\n", "componentSettings[zanth][k]=\"v\"\n"},
        {"\n\n", ""},
    };
    for (const IniCase& c : cases) {
        PrivateHome home;
        home.write(".kitwright/options.ini", c.file);
        const ChildResult run = home.dump();
        std::string settings;
        std::istringstream in(run.out);
        for (std::string line; std::getline(in, line);)
            if (line.compare(0, 18, "componentSettings[") == 0)
                settings += line + "\n";
        EXPECT_EQ(run.exit_code == 0 ? settings : run.out, c.expected) << c.file;
    }
}

TEST(OptionsReaders, UnreadableSavedSettingsArePassedOver)
{
    PrivateHome home;
    home.write(".kitwright/options.ini", "[zanth]\nk=v\n");
    runProgram("/bin/chmod", {"000", home.dir / ".kitwright/options.ini"});
    // Root reads any file: the dump runs without the capabilities that let it.
    const ChildResult run = runProgram(
        "/usr/bin/setpriv",
        {"--bounding-set=-dac_override,-dac_read_search", "--", std::string(KW_TEST_TOOLS_DIR) + "/kw_options_dump"},
        home.options);
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_EQ(field(run.out, "componentSettings[zanth][k]"), "<missing>");
}

TEST(OptionsReaders, RunControlFileCandidates)
{
    struct CandidateCase {
        const char* xdg;  // null: unset
        std::vector<std::string> files;
        std::string read;  // the file whose NOTIFY_EMAIL shows, empty for none
    };
    const std::vector<CandidateCase> cases = {
        {nullptr, {".config/.kitwrightrc", ".kitwrightrc"}, ".config/.kitwrightrc"},
        {nullptr, {".kitwrightrc"}, ".kitwrightrc"},
        {"conf", {"conf/.kitwrightrc", ".config/.kitwrightrc"}, "conf/.kitwrightrc"},
        {"/root/abs/", {"abs/.kitwrightrc", ".kitwrightrc"}, "abs/.kitwrightrc"},
        {"elsewhere", {".config/.kitwrightrc", ".kitwrightrc"}, ".kitwrightrc"},
        {nullptr, {}, ""},
    };
    for (const CandidateCase& c : cases) {
        PrivateHome home;
        for (const std::string& file : c.files)
            home.write(file, "NOTIFY_EMAIL=" + file + "\n");
        // A directory of the candidate's name is not a file.
        runProgram("/bin/mkdir", {"-p", home.dir / "dironly/.kitwrightrc"});
        if (c.xdg)
            home.options.env.emplace_back("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(field(home.dump().out, "notifyEmail"), c.read) << (c.xdg ? c.xdg : "unset");
    }
    PrivateHome home;
    runProgram("/bin/mkdir", {"-p", home.dir / ".config/.kitwrightrc"});
    home.write(".kitwrightrc", "NOTIFY_EMAIL=home\n");
    EXPECT_EQ(field(home.dump().out, "notifyEmail"), "home");
}

TEST(OptionsReaders, RunControlKeys)
{
    PrivateHome home;
    home.write(".kitwrightrc",
               "SOURCE=/var/mirror/\n"
               "USE_ZANTH_UPDATES=no\n"
               "TARGET = /srv/dl   # download here\n"
               "PROXY_HOST=proxy.lan\nPROXY_PORT=8080x\nPROXY_USER=u\nPROXY_PASSWORD=\"p w\"\n"
               "REMOVE_PACKAGES_TREE=YES\nSKIP_EXAMINE=yes\nNOTIFY_EMAIL=first\nNOTIFY_EMAIL=last\n"
               "CLEAR_SCREEN=no\nTRUNCATE_LOG=yes\nSEPARATE_LOGS=yes\nMAX_STORED_SEPARATE_LOGS=+7\n"
               "STRICT=yes\nDEBUG=yes\n"
               "OVERRIDE_OS_NAME=N\nOVERRIDE_OS_VENDOR=CentOS\nOVERRIDE_OS_VERSION=7\nOVERRIDE_OS_ARCH=x86_64\n"
               "OVERRIDE_ENVIRONMENT=qz\n"
               "RELEASE_TIERS_FILTER=testing,,stable\n"
               "SHOW_HIDDEN_COMPONENTS=yes\nSHOW_ALL_VERSIONS=no\n"
               "DOWNLOAD_RETRY_COUNT=5\nSKIP_GPG_CHECK=yes\nEXT_CATALOG_URL=http://ext/\n"
               "SSL_PROTOCOLS=TLSv1.2\nSSL_CIPHERS=HIGH\nSSL_CIPHER_SERVER_PREFERENCE=on\n"
               "USE_YUM=yes\nNO_SUCH_KEY=1\ndebug=yes\n");
    const ChildResult run = home.dump();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    const std::vector<std::pair<std::string, std::string>> expected = {{"source", "/var/mirror/"},
                                                                       {"useProductUpdates", "0"},
                                                                       {"target", "/srv/dl"},
                                                                       {"proxy", "proxy.lan:8080:u:p w"},
                                                                       {"forceRemovePackagesTree", "1"},
                                                                       {"skipComponentsCheck", "1"},
                                                                       {"notifyEmail", "last"},
                                                                       {"noClear", "1"},
                                                                       {"truncateLog", "1"},
                                                                       {"separateLogs", "1"},
                                                                       {"maxStoredSeparateLogs", "7"},
                                                                       {"strict", "1"},
                                                                       {"debug", "1"},
                                                                       {"overrideName", "N"},
                                                                       {"overrideVendor", "CentOS"},
                                                                       {"overrideVersion", "7"},
                                                                       {"overrideArch", "x86_64"},
                                                                       {"overrideEnvironment", "qz"},
                                                                       {"releaseTiers", "testing,,stable"},
                                                                       {"releaseTiersDefault", "0"},
                                                                       {"allVersions", "0"},
                                                                       {"showHiddenComponents", "1"},
                                                                       {"downloadRetries", "5"},
                                                                       {"skipGpgCheck", "1"},
                                                                       {"extCatalogUrl", "http://ext/"},
                                                                       {"sslProtocols", "TLSv1.2"},
                                                                       {"sslCiphers", "HIGH"},
                                                                       {"sslCipherServerPreference", "on"}};
    for (const auto& e : expected)
        EXPECT_EQ(field(run.out, e.first), e.second) << e.first;
    // Deprecated and unknown keys (names compare with their case) are reported and passed over.
    EXPECT_NE(run.err.find(msg("err_rc_ignored") + "'USE_YUM' = 'yes'\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(msg("err_rc_param") + "'NO_SUCH_KEY' = '1'\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(msg("err_rc_param") + "'debug' = 'yes'\n"), std::string::npos) << run.err;
}

TEST(OptionsReaders, RunControlValueConversions)
{
    // Values that convert, in two files (the two tier settings would hide each other).
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> files = {
        {"DOWNLOAD_RETRY_COUNT=2147483647\nDEBUG=NO\nCLEAR_SCREEN=yes\nPROXY_PORT=proxy\nSHOW_ALL_VERSIONS=no\n",
         {{"downloadRetries", "2147483647"},
          {"debug", "0"},
          {"noClear", "0"},
          {"proxy", ":0::"},
          {"releaseTiers", "stable,release,current"},
          {"allVersions", "0"},
          {"releaseTiersDefault", "1"}}},
        {"SHOW_ALL_RELEASES=yes\nDISABLE_RELEASE_TIERS_FILTER=yes\n",
         {{"releaseTiers", ""}, {"allVersions", "1"}, {"releaseTiersDefault", "0"}}},
    };
    for (const auto& file : files) {
        PrivateHome home;
        home.write(".kitwrightrc", file.first);
        const ChildResult run = home.dump();
        for (const auto& expected : file.second)
            EXPECT_EQ(field(run.out, expected.first), expected.second) << file.first << expected.first;
    }

    struct FailureCase {
        std::string lines;
        error failure;
    };
    const auto retry = [](const char* key) { return userError(format_message(msg("err_retry_arg"), key)); };
    const auto boolean = [](const char* value, const char* key) {
        return userError(format_message(msg("err_bool_val"), value, key));
    };
    const std::vector<FailureCase> cases = {
        {"DOWNLOAD_RETRY_COUNT=0", retry("DOWNLOAD_RETRY_COUNT")},
        {"DOWNLOAD_RETRY_COUNT=-3", retry("DOWNLOAD_RETRY_COUNT")},
        {"DOWNLOAD_RETRY_COUNT=5x", retry("DOWNLOAD_RETRY_COUNT")},
        {"DOWNLOAD_RETRY_COUNT=99999999999", retry("DOWNLOAD_RETRY_COUNT")},
        {"DOWNLOAD_RETRY_COUNT=\" 4\"", retry("DOWNLOAD_RETRY_COUNT")},
        {"MAX_STORED_SEPARATE_LOGS=x", retry("MAX_STORED_SEPARATE_LOGS")},
        {"DEBUG=Yes", boolean("Yes", "DEBUG")},
        {"CLEAR_SCREEN=true", boolean("true", "CLEAR_SCREEN")},
        // A syntax error stops the reading: later lines are not read.
        {"TARGET=/a\nTARGET\nTARGET=/b", userError(format_message(msg("err_rc_line"), "TARGET"))},
    };
    PrivateHome home;
    const ChildResult checks = runChecksInChild(
        [&] {
            for (const FailureCase& c : cases) {
                writeWholeFile("/root/.kitwrightrc", c.lines + "\n");
                const error e = caught([] { build({"kw"}); });
                EXPECT_EQ(e.getText(), c.failure.getText()) << c.lines;
                EXPECT_EQ(codes(e), codes(c.failure)) << c.lines;
            }
        },
        home.options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

TEST(OptionsReaders, Environment)
{
    struct EnvCase {
        const char* debug;  // null: unset
        const char* page;
        std::string debugField;
        std::string pageField;
    };
    const std::vector<EnvCase> cases = {
        {nullptr, nullptr, "0", ""},
        {"", nullptr, "1", ""},
        {"0", "components", "1", "components"},
        {nullptr, "", "0", ""},
    };
    for (const EnvCase& c : cases) {
        PrivateHome home;
        if (c.debug)
            home.options.env.emplace_back("ZANTH_INSTALLER_DEBUG", c.debug);
        if (c.page)
            home.options.env.emplace_back("KW_WEB_UI_DEFAULT_PAGE_OVERRIDE", c.page);
        const ChildResult run = home.dump();
        EXPECT_EQ(field(run.out, "debug"), c.debugField);
        EXPECT_EQ(field(run.out, "webUiDefaultPage"), c.pageField);
    }
    // The environment comes after the run-control file, the command line after both.
    PrivateHome home;
    home.write(".kitwrightrc", "DEBUG=no\n");
    home.options.env.emplace_back("ZANTH_INSTALLER_DEBUG", "");
    home.options.env.emplace_back("KW_WEB_UI_DEFAULT_PAGE_OVERRIDE", "env");
    const ChildResult run = home.dump({"--service-mode=components"});
    EXPECT_EQ(field(run.out, "debug"), "1");
    EXPECT_EQ(field(run.out, "webUiDefaultPage"), "components");
}

TEST(OptionsReaders, FailedConstructionLeavesTheDefaultRecordAndNoSecondParse)
{
    PrivateHome home;
    home.write(".kitwrightrc", "NOTIFY_EMAIL=set\n");
    const ChildResult checks = runChecksInChild(
        [] {
            static std::vector<std::string> args = {"kw", "--debug", "--download-retry-count=0"};
            static std::vector<char*> argv = {&args[0][0], &args[1][0], &args[2][0], nullptr};
            Options::argc = 3;
            Options::argv = argv.data();
            const error first = caught([] { Options::instance(); });
            EXPECT_EQ(first.getText(),
                      format_message(Messages().get("err_retry_arg"), "--download-retry-count") + "\n");
            // A second call neither throws nor parses: the record is the default one.
            Options& options = Options::instance();
            EXPECT_FALSE(options.debug);
            EXPECT_EQ(options.notifyEmail, "");
            EXPECT_EQ(options.downloadRetries, 3);
            EXPECT_EQ(&options, &Options::instance());
        },
        home.options);
    EXPECT_EQ(checks.exit_code, 0) << checks.out << checks.err;
}

}  // namespace
