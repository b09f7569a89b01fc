#include "installer/TextDlgOptions.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "common/Repository.h"
#include "common/error.h"
#include "common/tinybind.h"
#include "installer/DlgMaker.h"
#include "installer/KwComponent.h"
#include "installer/ParamGroup.h"
#include "installer/ParamManager.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TmuxPane.h"

namespace {

const std::string RULE(79, '=');
const std::string LOST = "You have just finished your session by pressing Ctrl + D.";
const std::string ACTION_RETRY = "Type one of the characters from the legend above";
const std::string NUMBER_RETRY = "Type a number from the list above to select an item";

// Every kind of setting, in the order the page tells them apart: a choice with a setting behind
// one of its values, a yes/no with a group holding a password behind "yes", a text to read, a
// hidden value, a number. (A group among the top-level settings would keep its component from ever
// counting as defined: a group is complete only once it has a value, and nothing gives it one.)
const char* const WEB_SETTINGS = R"(<settings>
  <setting id="server" type="enum" default-value="b">
    <name>Web server</name><description>The web server to run.</description>
    <choice id="a"><name>Apache</name></choice>
    <choice id="b"><name>Bee</name>
      <setting id="bee_root" type="path" exists="no" default-value="/srv/bee">
        <name>Bee root</name><description>Where Bee serves from.</description>
        <error-message>Not a directory name.</error-message>
      </setting>
    </choice>
  </setting>
  <setting id="tls" type="boolean" default-value="true">
    <name>TLS</name><description>Serve over TLS.</description><error-message>Yes or no.</error-message>
    <group><description>Database</description>
      <setting id="db_password" type="password" min-length="6">
        <name>Password</name><description>The database password.</description>
        <error-message>Refused.</error-message>
      </setting>
    </group>
  </setting>
  <setting id="notice" type="static-text" default-value="Read the manual.">
    <name>Notice</name><description>Before you go on:</description>
  </setting>
  <setting id="token" type="hidden" default-value="t0k"/>
  <setting id="port" type="integer" min="1" max="65535">
    <name>Port</name><description>The port to listen on.</description>
    <error-message>A port from 1 to 65535.</error-message>
  </setting>
</settings>)";

const char* const MAIL_SETTINGS = R"(<settings>
  <setting id="admin" type="email" default-value="root@localhost.example">
    <name>Administrator</name><description>Who gets the mail.</description>
    <error-message>This is no e-mail address.</error-message>
  </setting>
</settings>)";

std::string header()
{
    return "\n\n\n\n\nComponents Parameters Specification\n" + RULE + "\n\n";
}

// The page for `all` components with settings of which `defined` are complete.
std::string page(int all, int defined)
{
    std::string text = header() + std::to_string(all) +
                       " components selected for installation require that you specify certain settings.\n";
    if (defined == 0)
        return text +
               "Now you need to define each parameter you will be asked for.\n\nAvailable actions:\n"
               "(F) Go forward and specify parameters for all components\n(B) Go back\n(Q) Cancel installation\n\n"
               "Select an action [F/b/q]: ";
    if (defined == all)
        return text +
               "Parameters for all components have already been defined.\n\nAvailable actions:\n"
               "(F) Go forward and skip parameters specification\n(R) Redefine parameters for all components\n"
               "(B) Go back\n(Q) Cancel installation\n\nSelect an action [F/r/b/q]: ";
    return text + "Parameters for " + std::to_string(all - defined) +
           " components require specification.\n\nAvailable actions:\n"
           "(F) Go forward and specify parameters for all components\n"
           "(U) Go forward and specify undefined parameters only\n(B) Go back\n(Q) Cancel installation\n\n"
           "Select an action [F/u/b/q]: ";
}

std::string announce(int number, const std::string& component)
{
    return "\n\n" + std::to_string(number) + ") Component: " + component + " component\n\n";
}

std::string confirm(const std::string& component)
{
    return "\nComponent '" + component +
           " component': all required parameters were defined.\n\nAvailable actions:\n(F) Go forward\n"
           "(R) Redefine the values I just entered\n\nSelect an action [F/r]: ";
}

// The questions of the web component's settings, each with what is proposed.
std::string serverQuestion(char marked)
{
    return std::string("The web server to run.\n 1. (") + (marked == 'a' ? '*' : ' ') + ") Apache\n 2. (" +
           (marked == 'b' ? '*' : ' ') + ") Bee\nSelect a number [1-2]: ";
}
const std::string BEE_ROOT = "Where Bee serves from.\nBee root [/srv/bee]: ";
const std::string TLS = "Serve over TLS.\nTLS [yes]: ";
const std::string GROUP = "\n --- Database ---\n\n";
const std::string PASSWORD = "The database password.\nPassword: ";
const std::string RETYPE = "Retype password: ";
const std::string NOTICE = "Before you go on:\nNotice: Read the manual.\n\n";
const std::string PORT = "The port to listen on.\nPort: ";
const std::string ADMIN = "Who gets the mail.\nAdministrator [root@localhost.example]: ";

// The settings' accepted values after the run, as "id=value" in walk order ("id?" while unset).
class Values : public ParamManager::Visitor {
public:
    void visit(param_ptr_t setting) override
    {
        if (boost::dynamic_pointer_cast<ParamGroup>(setting))
            return;
        text += " " + setting->getId() + (setting->Param::isComplete() ? "=" + setting->getStoredValue() : "?");
    }
    std::string text;
};

struct TextDlgOptionsTest : ::testing::Test {
    // The page run in a child without a terminal (passwords come from standard input too) over the
    // two components to install; `preset` gives settings their values before. Standard error gets
    // the result and the values, or the error.
    ChildResult run(const std::string& input, const std::function<void(ParamManager&)>& preset = nullptr)
    {
        ChildOptions options = home.options;
        options.input = input;
        return runInChild(
            [&] {
                setsid();
                TextDialog::noClear = true;
                Repository repository;
                const boost::shared_ptr<Build> build = makeProductBuild(repository);
                ParamManager manager;
                for (const auto& [name, xml] : {std::pair{"web", WEB_SETTINGS}, {"mail", MAIL_SETTINGS}}) {
                    const boost::shared_ptr<KwComponent> component =
                        componentInMode(repository, build, name, KwComponent::INSTALL);
                    component->requestInstall();
                    tinybind::Document document;
                    document.parse_text(xml);
                    manager.createParams(component, document.get_root("settings"));
                }
                if (preset)
                    preset(manager);
                const std::unique_ptr<Dialog> page(
                    std::unique_ptr<DlgMaker>(DlgMaker::create())->makeOptions(&manager));
                try {
                    std::cerr << dynamic_cast<TextDlgOptions&>(*page).run();
                } catch (const error& e) {
                    std::cerr << "error: " << e.getText();
                }
                Values values;
                manager.walk(values);
                std::cerr << values.text;
                return 0;
            },
            options);
    }

    PrivateHome home;
};

// Values for every setting of the web component, or also of the mail component.
void defineWeb(ParamManager& manager)
{
    const params_t& top = manager.getParams();
    top[0]->setValue("a");
    top[1]->setValue("no");
    top[2]->setValue("Read the manual.");
    top[3]->setValue("t0k");
    top[4]->setValue("443");
}
void defineAll(ParamManager& manager)
{
    defineWeb(manager);
    manager.getParams()[5]->setValue("mail@example.com");
}

// The answers of a whole web component: the marked choice, its setting's default, a refused yes/no
// and then the proposed yes, a refused password and two that differ, an empty port (no default: refused) and one out of range.
const std::string WEB_ANSWERS = "\n\nmaybe\n\nabc\nabc\nsecret1\nother\nsecret1\nsecret1\n\n0\n8080\n";
const std::string WEB_SCREEN = serverQuestion('b') + "\n" + BEE_ROOT + "\n" + TLS + "Yes or no.\nTLS [yes]: \n" +
                               GROUP + PASSWORD + RETYPE +
                               "Refused. - The specified password is too short. The password should be at least "
                               "6 characters long.\nPassword: " +
                               RETYPE + "The specified passwords do not match\nPassword: " + RETYPE + "\n" + NOTICE +
                               PORT + "A port from 1 to 65535.\nPort: A port from 1 to 65535.\nPort: \n";
const std::string WEB_VALUES =
    " server=b bee_root=/srv/bee tls=true db_password=secret1 notice=Read the manual. "
    "token=t0k port=8080";

}  // namespace

TEST_F(TextDlgOptionsTest, ForwardAsksEverySettingByItsKind)
{
    const ChildResult result = run("f\n" + WEB_ANSWERS + "x\nf\n\n\n");
    EXPECT_EQ(page(2, 0) + announce(1, "web") + WEB_SCREEN + confirm("web") + ACTION_RETRY +
                  " [F/r]: " + announce(2, "mail") + ADMIN + "\n" + confirm("mail"),
              result.out);
    EXPECT_EQ("200" + WEB_VALUES + " admin=root@localhost.example", result.err);
}

// R after a component asks its settings again, numbered 1 again and proposing what was entered (the
// password as stars), then goes on with the components after it.
TEST_F(TextDlgOptionsTest, RedefineAsksTheComponentAgain)
{
    const ChildResult result = run("\n" + WEB_ANSWERS + "r\n" + "1\n\n\n\nf\n" + "\n\n");
    EXPECT_EQ(page(2, 0) + announce(1, "web") + WEB_SCREEN + confirm("web") + announce(1, "web") + serverQuestion('b') +
                  "\nServe over TLS.\nTLS [yes]: \n" + GROUP + "The database password.\nPassword [*******]: \n" +
                  NOTICE + "The port to listen on.\nPort [8080]: \n" + confirm("web") + announce(2, "mail") + ADMIN +
                  "\n" + confirm("mail"),
              result.out);
    EXPECT_EQ(
        "200 server=a tls=true db_password=secret1 notice=Read the manual. token=t0k port=8080 "
        "admin=root@localhost.example",
        result.err);
}

TEST_F(TextDlgOptionsTest, ThePageOffersWhatTheDefinedComponentsAllow)
{
    const std::string defined = " server=a tls=false notice=Read the manual. token=t0k port=443";
    struct Row {
        std::string name;
        std::function<void(ParamManager&)> preset;
        std::string input;
        std::string out;
        std::string err;
    };
    const std::vector<Row> rows = {
        {"all defined: forward skips the asking", defineAll, "f\n", page(2, 2),
         "200" + defined + " admin=mail@example.com"},
        {"all defined: an empty answer is forward", defineAll, "\n", page(2, 2),
         "200" + defined + " admin=mail@example.com"},
        {"none defined: R and U are refused", nullptr, "r\nU\n1\nb\n",
         page(2, 0) + ACTION_RETRY + " [F/b/q]: " + ACTION_RETRY + " [F/b/q]: " + ACTION_RETRY + " [F/b/q]: ",
         "201 server? bee_root? tls? db_password? notice? token? port? admin?"},
        {"some defined: R is refused", defineWeb, "R\np\n",
         page(2, 1) + ACTION_RETRY + " [F/u/b/q]: ", "201" + defined + " admin?"},
        {"quit", defineWeb, "q\n", page(2, 1), "202" + defined + " admin?"},
        {"end of input", nullptr, "", page(2, 0),
         "error: " + LOST + "\n server? bee_root? tls? db_password? notice? token? port? admin?"},
        {"end of input in the asking", nullptr, "f\n2\n",
         page(2, 0) + announce(1, "web") + serverQuestion('b') + "\n" + BEE_ROOT,
         "error: " + LOST + "\n server=b bee_root? tls? db_password? notice? token? port? admin?"},
    };
    for (const Row& row : rows) {
        const ChildResult result = run(row.input, row.preset);
        EXPECT_EQ(row.out, result.out) << row.name;
        EXPECT_EQ(row.err, result.err) << row.name;
    }
}

// With everything defined, R and U ask everything again, each value proposed: the choice marked, a
// yes/no as yes or no.
TEST_F(TextDlgOptionsTest, RedefiningAllProposesTheValues)
{
    for (const std::string letter : {"r", "U"}) {
        const ChildResult result = run(letter + "\n" + "0\n3\nx\nF\n\n\n\n" + "\n\n", defineAll);
        EXPECT_EQ(page(2, 2) + announce(1, "web") + serverQuestion('a') + NUMBER_RETRY + " [1-2]: " + NUMBER_RETRY +
                      " [1-2]: " + NUMBER_RETRY + " [1-2]: " + "\nServe over TLS.\nTLS [no]: \n" + NOTICE +
                      "The port to listen on.\nPort [443]: \n" + confirm("web") + announce(2, "mail") +
                      "Who gets the mail.\nAdministrator [mail@example.com]: \n" + confirm("mail"),
                  result.out)
            << letter;
        EXPECT_EQ("200 server=a tls=false notice=Read the manual. token=t0k port=443 admin=mail@example.com",
                  result.err)
            << letter;
    }
}

// U asks only what is undefined and announces only components with such settings; R then asks
// exactly those settings again.
TEST_F(TextDlgOptionsTest, UndefinedOnlyAndItsRedefinition)
{
    const auto preset = [](ParamManager& manager) {
        const params_t& top = manager.getParams();
        top[0]->setValue("a");
        top[1]->setValue("no");
        top[2]->setValue("Read the manual.");
        top[5]->setValue("mail@example.com");
    };
    const ChildResult result = run("u\n0\n8080\nr\n\nf\n", preset);
    EXPECT_EQ(page(2, 1) + announce(1, "web") + PORT + "A port from 1 to 65535.\nPort: \n" + confirm("web") +
                  announce(1, "web") + "The port to listen on.\nPort [8080]: \n" + confirm("web"),
              result.out);
    // The hidden value is set on the way, without a word.
    EXPECT_EQ("200 server=a tls=false notice=Read the manual. token=t0k port=8080 admin=mail@example.com", result.err);
}

// On a terminal the password is read without echo, twice. The test program runs itself in a tmux
// pane for this test alone, with /root covered by a tmpfs there so that the answers saved at the end
// stay private.
TEST_F(TextDlgOptionsTest, PasswordsOnATerminal)
{
    const char* const ON_TERMINAL = "KW_TEST_OPTIONS_PAGE_ON_TERMINAL";
    if (getenv(ON_TERMINAL)) {
        ASSERT_EQ(0, unshare(CLONE_NEWNS));
        ASSERT_EQ(0, mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr));
        ASSERT_EQ(0, mount("tmpfs", "/root", "tmpfs", 0, nullptr));
        TextDialog::noClear = true;
        Repository repository;
        const boost::shared_ptr<Build> build = makeProductBuild(repository);
        const boost::shared_ptr<KwComponent> component = componentInMode(repository, build, "db", KwComponent::INSTALL);
        component->requestInstall();
        ParamManager manager;
        tinybind::Document document;
        document.parse_text(R"(<settings><setting id="pw" type="password" min-length="6">
            <name>Password</name><description>The database password.</description>
            <error-message>Refused.</error-message></setting></settings>)");
        manager.createParams(component, document.get_root("settings"));
        TextDlgOptions page(&manager);
        const DialogResult result = page.run();
        std::cout << "RESULT=" << result << " pw=" << manager.getParams().front()->getStoredValue() << std::endl;
        return;
    }
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    TmuxPane pane(std::string(ON_TERMINAL) + "=1 " + self +
                      " --gtest_filter=" + ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                      "." + ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                  160, 50);
    // What the pane shows (how often), then what is typed: a refused password, two that differ,
    // one accepted; the component confirmed.
    const std::vector<std::tuple<std::string, size_t, std::string>> steps = {
        {"Select an action [F/b/q]:", 1, "f"}, {"Password:", 1, "abc12"},          {"Retype password:", 1, "abc12"},
        {"Password:", 2, "secret1"},           {"Retype password:", 2, "secret2"}, {"Password:", 3, "secret1"},
        {"Retype password:", 3, "secret1"},    {"Select an action [F/r]:", 1, ""},
    };
    for (const auto& [shown, times, typed] : steps) {
        pane.waitFor(shown, times);
        pane.type(typed);
    }
    const std::string screen = pane.waitFor("EXIT=");
    EXPECT_NE(std::string::npos, screen.find("RESULT=200 pw=secret1\n")) << screen;
    EXPECT_NE(std::string::npos, screen.find("EXIT=0")) << screen;
    EXPECT_NE(std::string::npos,
              screen.find("Password:\nRetype password:\nRefused. - The specified password is too short. The password "
                          "should be at least 6 characters long.\nPassword:\nRetype password:\nThe specified passwords "
                          "do not match\nPassword:\nRetype password:\n\n\nComponent 'db component'"))
        << screen;
    EXPECT_EQ(std::string::npos, screen.find("abc12")) << screen;
    EXPECT_EQ(1u, TmuxPane::count(screen, "secret")) << screen;  // the result line alone
}
