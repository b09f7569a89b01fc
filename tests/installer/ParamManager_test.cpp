#include "installer/ParamManager.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/Repository.h"
#include "installer/Options.h"
#include "installer/ParamEnum.h"
#include "installer/ParamFloat.h"
#include "installer/ParamInteger.h"
#include "installer/ParamLoader.h"
#include "installer/ParamPath.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/thrown.h"

namespace {

const std::string DATA = KW_TEST_DATA_DIR "/params/";

// Writes what a walk calls, one word per callback.
class Transcript : public ParamManager::Visitor {
public:
    void begin() override { text += "begin "; }
    void visit(param_ptr_t setting) override { text += setting->getId() + " "; }
    void enterSubParams(boost::shared_ptr<SubParams> setting) override { text += "{" + setting->getId() + " "; }
    void enterBranch(boost::shared_ptr<SubParams>, const std::string& branch) override { text += "<" + branch + " "; }
    void leaveBranch(boost::shared_ptr<SubParams>, const std::string& branch) override { text += branch + "> "; }
    void leaveSubParams(boost::shared_ptr<SubParams> setting) override { text += setting->getId() + "} "; }
    void finish() override { text += "finish"; }

    std::string text;
};

std::string transcript(ParamManager& manager, const param_ptr_t& start = param_ptr_t(), bool editable_only = false)
{
    Transcript visitor;
    manager.walk(visitor, start, editable_only);
    return visitor.text;
}

// Every test runs its checks in a child that sees a home of its own: a manager that ends saves the
// answers there.
struct ParamManagerTest : ::testing::Test {
    ParamManagerTest() { fresh->requestInstall(); }

    void inChild(const std::function<void()>& checks)
    {
        const ChildResult result = runChecksInChild(checks, home.options);
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }

    // The settings of an XML text, made for the component.
    void define(const boost::shared_ptr<KwComponent>& component, const std::string& xml)
    {
        tinybind::Document document;
        ASSERT_TRUE(document.parse_text(xml)) << xml;
        manager.createParams(component, document.get_root("settings"));
    }
    // The top-level setting or, with a branch path "id/branch/index...", a nested one.
    param_ptr_t setting(size_t index, const std::vector<std::pair<std::string, size_t>>& path = {}) const
    {
        param_ptr_t found = manager.getParams().at(index);
        for (const auto& step : path)
            found = boost::dynamic_pointer_cast<SubParams>(found)->getBranch(step.first).at(step.second);
        return found;
    }

    PrivateHome home;
    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    boost::shared_ptr<KwComponent> fresh = componentInMode(repository, build, "fresh", KwComponent::INSTALL);
    ParamManager manager;
};

TEST_F(ParamManagerTest, DefinitionsBecomeATypedTree)
{
    manager.createParams(fresh, tinybind::Document(DATA + "settings.xml").get_root("settings"));
    std::vector<std::string> top;
    for (const param_ptr_t& p : manager.getParams())
        top.push_back(p->getTypeName() + ":" + p->getId());
    EXPECT_EQ(top, (std::vector<std::string>{"email:admin_email", "boolean:mail", "enum:web",
                                             "__group_no_type__doh1Oolo__:__SUBGROUP", "static-text:notice",
                                             "__type_hidden__tei9Rae9__:token", "string:1x"}));
    EXPECT_EQ(setting(0)->getName(), "Administrator's e-mail");
    EXPECT_EQ(setting(0)->getDescription(), "Where the panel sends its reports.");
    EXPECT_EQ(setting(0)->getErrorMessage(), "This is no e-mail address.");
    EXPECT_EQ(setting(0)->getDefaultText(), "root@localhost.example");

    // A boolean's nested settings hang under "true", in document order; other tags are skipped.
    const auto mail = boost::dynamic_pointer_cast<SubParams>(setting(1));
    ASSERT_EQ(mail->getBranches().size(), 1u);
    EXPECT_EQ(setting(1, {{"true", 0}})->getId(), "smtp-port");
    EXPECT_EQ(setting(1, {{"true", 1}})->getId(), "relay");
    const auto port = boost::dynamic_pointer_cast<ParamInteger>(setting(1, {{"true", 0}}));
    EXPECT_EQ(port->getMin() + "-" + port->getMax(), "1-65535");

    // An enum keeps every choice, but only choices with settings make branches.
    const auto web = boost::dynamic_pointer_cast<ParamEnum>(setting(2));
    EXPECT_EQ(web->getChoices(), (ParamEnum::choices_t{{"a", "Apache"}, {"b", "Bee"}, {"c", "Cat"}}));
    ASSERT_EQ(web->getBranches().size(), 1u);
    EXPECT_EQ(setting(2, {{"b", 0}})->getDefaultText(), "/srv/[LOCALE]");
    EXPECT_FALSE(boost::dynamic_pointer_cast<ParamPath>(setting(2, {{"b", 0}}))->mustExist());
    EXPECT_EQ(setting(2, {{"b", 1}})->getDescription(), "Bee tuning");
    EXPECT_EQ(boost::dynamic_pointer_cast<ParamFloat>(setting(2, {{"b", 1}, {"", 0}}))->getMin(), "0.5");

    // Groups nest under the branch "".
    EXPECT_EQ(setting(3)->getDescription(), "Database");
    EXPECT_EQ(setting(3, {{"", 0}})->getBehaviour(), Param::SECURE);
    EXPECT_EQ(setting(3, {{"", 1}})->getId(), "__SUBGROUP");
    EXPECT_EQ(setting(3, {{"", 1}, {"", 0}})->getBehaviour(), Param::DETECTABLE);
    EXPECT_EQ(setting(3, {{"", 1}, {"", 1}})->getTypeName(), "url");
    EXPECT_EQ(setting(1, {{"true", 1}})->getBehaviour(), Param::REGULAR);

    EXPECT_TRUE(setting(5)->hasDefault());  // present but empty still sets one
    EXPECT_FALSE(setting(6)->hasDefault());
    for (const param_ptr_t& p : manager.getParams())
        EXPECT_EQ(p->getComponents().front(), fresh);
    EXPECT_EQ(setting(3, {{"", 1}, {"", 1}})->getComponents().front(), fresh);
}

TEST_F(ParamManagerTest, NamesFollowTheMessageLocale)
{
    struct Case {
        const char* locale;
        std::string admin, choice_b, mail;
    };
    const std::vector<Case> cases = {
        {"de_DE.UTF-8", "E-Mail-Adresse des Administrators", "Biene", "Mail service"},
        {"ja_JP.UTF-8", "Administrator's e-mail", "Bee", "Mail service"},
    };
    for (const Case& c : cases) {
        const ChildResult result = runChecksInChild(
            [&] {
                Messages::setLocale(c.locale);
                manager.createParams(fresh, tinybind::Document(DATA + "settings.xml").get_root("settings"));
                EXPECT_EQ(setting(0)->getName(), c.admin);
                EXPECT_EQ(boost::dynamic_pointer_cast<ParamEnum>(setting(2))->getChoices().at(1).second, c.choice_b);
                EXPECT_EQ(setting(1)->getName(), c.mail);
            },
            home.options);
        EXPECT_EQ(result.exit_code, 0) << c.locale << result.out << result.err;
    }
}

// The row of the first line of the fixture that holds the text, as grep counts.
std::string rowOf(const std::string& file, const std::string& text)
{
    const std::string line = shellOutput("grep -n -F -m1 -e '" + text + "' " + file + " | cut -d: -f1");
    return line.substr(0, line.size() - 1);
}

TEST_F(ParamManagerTest, FaultyDefinitionsAreRefusedAndEarlierSettingsStay)
{
    const std::string file = DATA + "faults.xml";
    const std::vector<std::string> expected = {
        "Unsupported tag <choice> in config.",
        "ERROR: invalid '<setting id=' in config: 'a.b'",
        "ERROR: invalid '<setting id=' in config: 'a b'",
        "ERROR: invalid '<setting id=' in config: ''",
        "Unsupported 'setting type' in config: text",
        "Unsupported 'setting type' in config: ",
        "Unsupported attribute 'behaviour' value shy",
        "There is no attribute 'exists' in element setting (row:" + rowOf(file, "missing_exists") + " col:",
        "There is incorrect boolean attribute 'exists' in element setting (row:" + rowOf(file, "bad_exists") + " col:",
        "There is no child element 'read-setting-value' in tag 'setting'",
        "Text node not found in element 'name' (row:" + rowOf(file, "<name/>") + " col:",
        "ERROR: invalid '<setting id=' in config: 'bad id'",
    };
    tinybind::Document document(file);
    size_t index = 0;
    for (tinybind::iterator faulty(document.get_root("faults"), "settings"), end; faulty != end; ++faulty, ++index) {
        ASSERT_LT(index, expected.size());
        ParamManager own;
        std::string text;
        try {
            own.createParams(fresh, *faulty);
            ADD_FAILURE() << "no error for " << expected[index];
        } catch (const error& e) {
            EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3)) << e.getText();
            text = e.getText();
        } catch (const tinybind::err& e) {
            text = e.message;
        }
        EXPECT_EQ(text.substr(0, expected[index].size()), expected[index]);
        ASSERT_EQ(own.getParams().size(), 1u) << expected[index];
        EXPECT_EQ(own.getParams()[0]->getId(), "ok");
    }
    EXPECT_EQ(index, expected.size());
    // The last one failed inside a boolean: what came before in its branch stays.
    ParamManager own;
    tinybind::iterator last(document.get_root("faults"), "settings");
    for (size_t i = 1; i < expected.size(); ++i)
        ++last;
    EXPECT_TRUE(thrown<error>([&] { own.createParams(fresh, *last); }));
    EXPECT_EQ(boost::dynamic_pointer_cast<SubParams>(own.getParams()[0])->getBranch("true").size(), 1u);
}

const char* const CHOICES =
    "<settings>"
    "<setting id='pick' type='enum'>"
    "<choice id='a'><setting id='a1' type='string'/></choice>"
    "<choice id='b'><setting id='b1' type='string'/><setting id='b2' type='boolean'>"
    "<setting id='b2t' type='string'/></setting></choice>"
    "<choice id='c'><setting id='c1' type='string'/></choice>"
    "<choice id='d'/>"
    "</setting>"
    "<setting id='after' type='string'/>"
    "</settings>";

TEST_F(ParamManagerTest, WalksFollowTheValues)
{
    define(fresh, CHOICES);
    inChild([&] {
        EXPECT_EQ(transcript(manager),
                  "begin pick {pick <a a1 a> <b b1 b2 {b2 <true b2t true> b2} b> <c c1 c> pick} after finish");
        // A start setting nested in a branch: the callbacks begin there, the enclosing ones still leave.
        EXPECT_EQ(transcript(manager, setting(0, {{"b", 1}})),
                  "begin b2 {b2 <true b2t true> b2} b> <c c1 c> pick} after finish");
        EXPECT_EQ(transcript(manager, setting(1)), "begin after finish");
        // A start setting the walk never reaches makes no callbacks but begin and finish.
        EXPECT_EQ(transcript(manager, param_ptr_t(new ParamPath(fresh, "p", false))), "begin finish");

        setting(0)->setValue("d");
        EXPECT_EQ(transcript(manager), "begin pick {pick pick} after finish");
        setting(0)->setValue("b");
        setting(0, {{"b", 1}})->setValue("no");
        EXPECT_EQ(transcript(manager), "begin pick {pick <b b1 b2 {b2 b2} b> pick} after finish");
    });
}

TEST_F(ParamManagerTest, EditableWalksAndCountsLeaveOtherComponentsOut)
{
    const boost::shared_ptr<KwComponent> installed = componentInMode(repository, build, "old", KwComponent::UPGRADE);
    installed->requestInstall();
    const boost::shared_ptr<KwComponent> unrequested = componentInMode(repository, build, "idle", KwComponent::INSTALL);
    const boost::shared_ptr<KwComponent> other = componentInMode(repository, build, "other", KwComponent::INSTALL);
    other->requestInstall();
    define(fresh, "<settings><setting id='f1' type='string'/><setting id='f2' type='string'/></settings>");
    define(installed,
           "<settings><setting id='i1' type='boolean'><setting id='i2' type='string'/></setting></settings>");
    define(unrequested, "<settings><setting id='u1' type='string'/></settings>");
    define(other, "<settings><setting id='o1' type='string'/></settings>");
    inChild([&] {
        EXPECT_EQ(transcript(manager, param_ptr_t(), true), "begin f1 f2 o1 finish");
        EXPECT_EQ(transcript(manager), "begin f1 f2 i1 {i1 <true i2 true> i1} u1 o1 finish");
        EXPECT_EQ(manager.countComponentsWithParams(), 2);
        EXPECT_EQ(manager.countCompleteComponents(), 0);
        setting(0)->setValue("x");
        EXPECT_EQ(manager.countCompleteComponents(), 0);  // one complete, one not
        setting(1)->setValue("y");
        EXPECT_EQ(manager.countCompleteComponents(), 1);
        setting(4)->setValue("z");
        EXPECT_EQ(manager.countCompleteComponents(), 2);
    });
}

TEST_F(ParamManagerTest, TheLoaderAppliesOptionValuesInWalkOrder)
{
    const boost::shared_ptr<KwComponent> installed = componentInMode(repository, build, "old", KwComponent::UP2DATE);
    define(fresh,
           "<settings>"
           "<setting id='flag' type='boolean'><setting id='port' type='integer' min='1'/></setting>"
           "<setting id='mail' type='email'/>"
           "<setting id='note' type='static-text'/>"
           "</settings>");
    define(installed, "<settings><setting id='kept' type='string'/></settings>");
    setting(0)->setValue("false");

    const ParamManager::ParamLoader::values_t values = {
        {"zanth", {{"flag", "yes"}, {"port", "0"}, {"mail", "nobody"}, {"note", "x"}, {"kept", "k"}}},
        {"other", {{"mail", "a@b"}}}};
    const LoggedRun run = runLogged(
        [&] {
            ParamManager::ParamLoader loader(values);
            manager.walk(loader);
            EXPECT_EQ(loader.getRefusals(),
                      "Unable to apply the setting 'port' because of incorrect value ('0') : \n"
                      "Unable to apply the setting 'mail' because of incorrect value ('nobody') : \n");
            // The boolean took its new value before its branches were chosen.
            EXPECT_EQ(setting(0)->getStoredValue(), "true");
            EXPECT_EQ(setting(0, {{"true", 0}})->getText(), "0");
            EXPECT_EQ(setting(2)->getText(), "");
            EXPECT_EQ(setting(3)->getText(), "");
        },
        home.options);
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(linesMatching(run.log, "ParamLoader: (skip|set)"),
              "2 DEBUG: ParamLoader: set component from option: [zanth][flag]=yes\n"
              "2 DEBUG: ParamLoader: set component from option: [zanth][port]=0\n"
              "2 DEBUG: ParamLoader: set component from option: [zanth][mail]=nobody\n"
              "2 DEBUG: ParamLoader: skip of set read-only option: [zanth][kept]=k\n");
}

TEST_F(ParamManagerTest, LoadingRaisesTheRefusalsAsOneUserError)
{
    define(fresh, "<settings><setting id='a' type='integer'/><setting id='b' type='integer'/></settings>");
    const ChildResult result = runChecksInChild(
        [&] {
            static char program[] = "kitwright";
            static char* arguments[] = {program, nullptr};
            Options::argc = 1;
            Options::argv = arguments;
            Options::instance().componentSettings["zanth"] = {{"a", "1"}, {"b", "two"}};
            const error e = caught([&] { manager.loadFromOptions(); });
            EXPECT_EQ(codes(e), std::make_tuple(2, 1, 1, 1));
            EXPECT_EQ(e.getText(), "Unable to apply the setting 'b' because of incorrect value ('two') : \n");
            EXPECT_EQ(setting(0)->getStoredValue(), "1");  // accepted values stay
        },
        home.options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
