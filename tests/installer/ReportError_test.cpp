#include "installer/ReportError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/textutils.h"
#include "installer/CustomerFeedback.h"
#include "installer/HelperScripts.h"
#include "installer/Options.h"
#include "installer/Reporter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCatalogue.h"
#include "tests/support/Tool.h"

namespace {

const std::string reports = "/var/quillfern/error-reports";
const std::string sender = ReportError::SENDER_PATH;

// The store, the feedback flags and the utility's places are process-wide or fixed: every case
// runs in a child over a fresh /var and /opt.
ChildOptions privatePlaces()
{
    ChildOptions options;
    options.tmpfs = {"/var", "/opt"};
    return options;
}

void inChild(const std::function<void()>& body)
{
    const ChildResult r = runChecksInChild(body, privatePlaces());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

std::vector<std::string> filed(const std::string& suffix)
{
    std::vector<std::string> paths;
    if (!boost::filesystem::is_directory(reports))
        return paths;
    for (const auto& entry : boost::filesystem::directory_iterator(reports))
        if (entry.path().extension() == suffix)
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The utility runs detached: waits (at most 10 s) until `count` reports are filed.
std::vector<std::string> awaitReports(size_t count)
{
    for (int i = 0; i < 500 && filed(".xml").size() < count; ++i)
        usleep(20000);
    return filed(".xml");
}

// The value of the expression as xmllint prints it, without the line end it adds.
std::string xpath(const std::string& file, const std::string& expression)
{
    std::string value = shellOutput("xmllint --xpath '" + expression + "' " + file + " 2>/dev/null");
    if (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

// The names of the children of "additional_info", in order, each followed by a blank.
std::string childNames(const std::string& file)
{
    const std::string children = xpath(file, "/error/additional_info/*");
    static const boost::regex tag("^<([a-z_]+)");
    std::string names;
    for (boost::sregex_iterator i(children.begin(), children.end(), tag), end; i != end; ++i)
        names += (*i)[1].str() + " ";
    return names;
}

std::string decodedMessage(const std::string& file)
{
    return shellOutput("xmllint --xpath 'string(/error/message)' " + file + " | tr -d '\\r' | base64 -d");
}

void enableFeedback()
{
    CustomerFeedback::setEnabled(true);
}

// Writes the text through a channel and files one report of it.
std::string reportOf(const std::string& text, const ErrorReportInfo& info = ErrorReportInfo())
{
    const std::vector<std::string> before = filed(".xml");
    ReportError::create(-1) << text;
    ReportError() << info;
    for (const std::string& file : awaitReports(before.size() + 1))
        if (std::find(before.begin(), before.end(), file) == before.end())
            return file;
    return std::string();
}

TEST(ReportError, AReportReachesTheUtilityAsAWellFormedDocumentOfTheCollectedText)
{
    inChild([] {
        enableFeedback();
        static char arg0[] = "/usr/sbin/kitwright";
        static char arg1[] = "--install-component";
        static char arg2[] = "a b";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        Options::argc = 3;
        Options::argv = argv;
        ReportError::set_installer_version("3.0.1", "r42");
        ReportError::set_source_url("https://mirror.example/");
        const time_t start = time(nullptr);

        LogFile log(3);
        ReportError::create(-1) << "buffer only " << 42 << std::endl;
        ReportError::create(0) << "also logged";
        ReportError::create(1) << ", one line" << std::endl;
        ErrorReportInfo info;
        info.component = "mail <server> & co";
        info.summary = "apt-get said ]]> and stopped]]>";
        info.userContinued = 1;
        info.packageInstallationMode = 1;
        info.packageNewVersion = "2.0";
        ReportError() << info;
        const std::vector<std::string> files = awaitReports(1);
        ASSERT_EQ(files.size(), 1u);
        const time_t end = time(nullptr);
        const std::string file = files[0];

        EXPECT_EQ(shellOutput("xmllint --noout " + file + " 2>&1; echo $?"), "0\n");
        EXPECT_EQ(decodedMessage(file), "buffer only 42\nalso logged, one line\n");
        // Only the channels of level 0 and above reach the log, as parts of one line.
        EXPECT_TRUE(log.has("also logged, one line"));
        for (const std::string& line : log.lines())
            EXPECT_EQ(line.find("buffer only"), std::string::npos) << line;

        // The printer puts the CDATA sections on a line of their own.
        EXPECT_EQ(trim(xpath(file, "string(/error/summary)")), info.summary);
        EXPECT_EQ(xpath(file, "string(/error/component)"), info.component);
        EXPECT_EQ(xpath(file, "string(/error/severity)"), "error");
        EXPECT_EQ(xpath(file, "string(/error/source)"), "installer");
        const std::string datetime = xpath(file, "string(/error/datetime)");
        ASSERT_TRUE(boost::regex_match(datetime, boost::regex("[0-9]{8}T[0-9]{6}"))) << datetime;
        struct tm parts = {};
        strptime(datetime.c_str(), "%Y%m%dT%H%M%S", &parts);
        const time_t when = timegm(&parts);
        EXPECT_TRUE(start <= when && when <= end) << datetime;

        // The children in their order, each optional one only under its condition.
        EXPECT_EQ(childNames(file),
                  "kw_version kw_revision kw_launch_string kw_source_url user_continued_installation "
                  "package_new_version package_installation_mode ");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/kw_launch_string)"),
                  "/usr/sbin/kitwright --install-component a b ");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/kw_revision)"), "r42");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/kw_source_url)"), "https://mirror.example/");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/user_continued_installation)"), "false");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/package_installation_mode)"), "upgrade");
        EXPECT_EQ(xpath(file, "string(/error/message/@encoding)"), "base64");
        EXPECT_EQ(
            readWholeFile(file).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n<error>\n    "
                                      "<source>installer</source>\n",
                                      0),
            0u);
    });
}

TEST(ReportError, TheOptionalFactsFollowTheirConditions)
{
    inChild([] {
        enableFeedback();
        struct Case {
            int warning, userContinued, mode;
            std::string oldVersion;
            const char* severity;
            const char* names;
        };
        const Case cases[] = {
            {0, 2, 3, "1.0", "error", ""},
            {1, 0, 0, "", "warning", "user_continued_installation package_installation_mode "},
            {7, 2, 2, "1.0", "warning", "package_old_version package_installation_mode "},
            {0, 2, 9, "", "error", "package_installation_mode "},
        };
        const char* const modes[] = {"install", "upgrade", "remove", "", "", "", "", "", "", "remove"};
        for (const Case& c : cases) {
            ErrorReportInfo info;
            info.warning = c.warning;
            info.userContinued = c.userContinued;
            info.packageInstallationMode = c.mode;
            info.packageOldVersion = c.oldVersion;
            const std::string file = reportOf("text", info);
            ASSERT_FALSE(file.empty());
            EXPECT_EQ(childNames(file),
                      std::string("kw_version kw_revision kw_launch_string kw_source_url ") + c.names);
            EXPECT_EQ(xpath(file, "string(/error/severity)"), c.severity);
            if (c.userContinued == 0) {
                EXPECT_EQ(xpath(file, "string(/error/additional_info/user_continued_installation)"), "true");
            }
            if (c.mode != 3) {
                EXPECT_EQ(xpath(file, "string(/error/additional_info/package_installation_mode)"), modes[c.mode]);
            }
        }
    });
}

// The forest fixture outside a test of its own.
struct Forest : ComponentForestTest {
    void TestBody() override {}
};

TEST(ReportError, WhatTheInstallationWasAboutToDoTravelsAsText)
{
    inChild([] {
        enableFeedback();
        // The XML switch of the replies does not reach the kept texts.
        Reporter::xmlOutput = true;
        TestCatalogue catalogue;
        catalogue->selectRelease("zanth", "z18");
        Forest forest;
        const auto web = forest.component("web");
        web->requestInstall();
        forest.manager.roots = {web};
        const cpkgs_t packages = {offerPackage(forest.repository, "zanth-web", "1.0")};
        ReportError::set_to_install_reports(&*catalogue, &forest.manager);
        ReportError::set_packages_report(&packages, &forest.repository);

        const std::string file = reportOf("text");
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(childNames(file),
                  "kw_version kw_revision kw_launch_string kw_source_url releases_info "
                  "components_info packages_info ");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/releases_info)"), "selected  zanth z18 install \n");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/components_info)"), "I [*] web install ' => 1.0'\n");
        EXPECT_EQ(xpath(file, "string(/error/additional_info/packages_info)"), "  1. [I] zanth-web-1.0.all\n");
    });
}

TEST(ReportError, TheMessageIsBase64InLinesOf76)
{
    inChild([] {
        enableFeedback();
        const std::string full76(76, 'x');
        struct Case {
            std::string text;
            boost::regex lines;
        };
        const Case cases[] = {
            {std::string(57, 'a'), boost::regex("[A-Za-z0-9+/]{76}\r\n")},
            {std::string(58, 'a'), boost::regex("[A-Za-z0-9+/]{76}\r\n[A-Za-z0-9+/]{2}==")},
            {std::string(59, 'a'), boost::regex("[A-Za-z0-9+/]{76}\r\n[A-Za-z0-9+/]{3}=")},
            {std::string(114, 'a'), boost::regex("([A-Za-z0-9+/]{76}\r\n){2}")},
            {std::string("\xff\x00\x80", 3), boost::regex("/wCA")},
        };
        for (const Case& c : cases) {
            const std::string file = reportOf(c.text);
            ASSERT_FALSE(file.empty());
            const std::string encoded = xpath(file, "string(/error/message)");
            EXPECT_TRUE(boost::regex_match(encoded, c.lines)) << encoded;
            EXPECT_EQ(decodedMessage(file), c.text);
        }
    });
}

TEST(ReportError, EachReportCarriesOnlyItsOwnTextAndNothingIsSentWithoutPermissionOrText)
{
    inChild([] {
        // Undecided in an interactive run: nothing is sent, and the text is still discarded.
        ReportError::create(-1) << "first";
        ReportError() << ErrorReportInfo();
        EXPECT_FALSE(boost::filesystem::exists(sender));

        enableFeedback();
        ReportError() << ErrorReportInfo();  // an empty buffer: nothing to send
        EXPECT_FALSE(boost::filesystem::exists(sender));

        const std::string second = reportOf("second");
        const std::string third = reportOf("third");
        ASSERT_FALSE(second.empty());
        ASSERT_FALSE(third.empty());
        EXPECT_EQ(decodedMessage(second), "second");
        EXPECT_EQ(decodedMessage(third), "third");

        CustomerFeedback::setAllowed(false);
        ReportError::create(-1) << "refused by the catalogue";
        ReportError() << ErrorReportInfo();
        CustomerFeedback::setAllowed(true);
        CustomerFeedback::setEnabled(false);
        ReportError::create(-1) << "refused by the administrator";
        ReportError() << ErrorReportInfo();
        enableFeedback();
        EXPECT_EQ(decodedMessage(reportOf("fourth")), "fourth");
        EXPECT_EQ(filed(".xml").size(), 3u);
    });
}

TEST(ReportError, TheProductVersionIsKeptOnlyForTheDefaultProduct)
{
    inChild([] {
        enableFeedback();
        LogFile log(3);
        struct Case {
            const char* product;
            const char* feedbackProduct;  // null: no file
            const char* version;
        };
        const Case cases[] = {
            {"other", nullptr, ""},
            {"zanth", "other", ""},
            {"zanth", " zanth\n", "18.0.1 x"},
        };
        for (const Case& c : cases) {
            if (c.feedbackProduct)
                CustomerFeedback::setProduct(c.feedbackProduct);
            ReportError::set_product_version(c.product, "18.0.1 x");
            EXPECT_TRUE(log.has(std::string("ReportError::set_product_version(") + c.product + ", 18.0.1 x)"));
            const std::string file = reportOf("text");
            ASSERT_FALSE(file.empty());
            const std::string meta = file.substr(0, file.size() - 4) + ".meta";
            EXPECT_EQ(readWholeFile(meta).substr(readWholeFile(meta).rfind("version=")),
                      std::string("version=") + c.version + "\n");
        }
    });
}

TEST(ReportError, TheUtilityIsInstalledOnceWithMode755AndFailuresAreLogged)
{
    inChild([] {
        LogFile log(2);
        // A plain file where its directory should be: logged, not installed, tried again next time.
        mkdir("/opt/zorv", 0755);
        writeWholeFile("/opt/zorv/admin", "");
        ReportError::install_sender();
        EXPECT_FALSE(boost::filesystem::exists(sender));
        bool logged = false;
        for (const std::string& line : log.lines())
            logged |= line.rfind("Error occured while trying to install error report utility: ", 0) == 0;
        EXPECT_TRUE(logged);

        unlink("/opt/zorv/admin");
        ReportError::install_sender();
        struct stat info;
        ASSERT_EQ(stat(sender.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0755u);
        EXPECT_EQ(readWholeFile(sender),
                  std::string(helper_scripts::send_error_report, helper_scripts::send_error_report_size));
        EXPECT_FALSE(boost::filesystem::exists(sender + ".new"));

        unlink(sender.c_str());
        ReportError::install_sender();
        EXPECT_EQ(ReportError::get_sender_path(), sender);
        EXPECT_FALSE(boost::filesystem::exists(sender));  // once per process
    });
}

// The utility itself, as the installer writes it.
class SendErrorReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeWholeFile(script / "send-error-report",
                       std::string(helper_scripts::send_error_report, helper_scripts::send_error_report_size));
    }

    ChildResult run(const std::vector<std::string>& args, const std::string& input = "<error/>")
    {
        std::string command = "sh " + script / "send-error-report";
        for (const std::string& arg : args)
            command += " '" + arg + "'";
        writeWholeFile(script / "input", input);
        return runInChild(
            [&] {
                if (!setupFiles.empty()) {
                    mkdir("/var/quillfern", 0755);
                    for (const auto& f : setupFiles)
                        writeWholeFile("/var/quillfern/" + f.first, f.second);
                }
                const int status = system((command + " <" + script / "input").c_str());
                std::string listing =
                    shellOutput("cd " + reports + " 2>/dev/null && stat -c '%a %n' . * | sed 's/[0-9T]*-[0-9]*\\././'");
                for (const std::string& meta : filed(".meta"))
                    listing += readWholeFile(meta);
                for (const std::string& xml : filed(".xml"))
                    listing += readWholeFile(xml) == input ? "same\n" : "changed\n";
                std::fputs(listing.c_str(), stdout);
                return WEXITSTATUS(status);
            },
            privatePlaces());
    }

    TempDir script;
    std::vector<std::pair<std::string, std::string>> setupFiles;
};

TEST_F(SendErrorReport, FilesTheDocumentUnchangedWithItsMetaFile)
{
    const std::string document = "<?xml version=\"1.0\"?>\n<error>\r\n  \xc3\xa9 ]]> \\n</error>\n";
    ChildResult r = run({"install"}, document);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "700 .\n600 .meta\n600 .xml\nproduct=zanth\ngroup_id=\nversion=\nsame\n");

    setupFiles = {{"feedback-product", "  panel\n"}, {"feedback-group-id", "g 7\n"}};
    r = run({"install", "--version", "18.0 beta"}, document);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "700 .\n600 .meta\n600 .xml\nproduct=panel\ngroup_id=g 7\nversion=18.0 beta\nsame\n");
}

TEST_F(SendErrorReport, AnyOtherCallPrintsItsUsageAndFilesNothing)
{
    const std::vector<std::vector<std::string>> calls = {
        {}, {"send"}, {"install", "--version"}, {"install", "--release", "1"}, {"install", "--version", "1", "2"}};
    for (const auto& call : calls) {
        const ChildResult r = run(call);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err, "Usage: send-error-report install [--version VERSION]\n");
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
