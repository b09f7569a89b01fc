#include "installer/Param.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/Repository.h"
#include "installer/ParamBool.h"
#include "installer/ParamDomain.h"
#include "installer/ParamEmail.h"
#include "installer/ParamEnum.h"
#include "installer/ParamFloat.h"
#include "installer/ParamGroup.h"
#include "installer/ParamHidden.h"
#include "installer/ParamHostname.h"
#include "installer/ParamInteger.h"
#include "installer/ParamManager.h"
#include "installer/ParamPassword.h"
#include "installer/ParamPath.h"
#include "installer/ParamStatic.h"
#include "installer/ParamString.h"
#include "installer/ParamUrl.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

struct ParamTest : ::testing::Test {
    Repository repository;
    boost::shared_ptr<Build> build = makeProductBuild(repository);
    boost::shared_ptr<KwComponent> fresh = componentInMode(repository, build, "fresh", KwComponent::INSTALL);
    boost::shared_ptr<KwComponent> installed = componentInMode(repository, build, "old", KwComponent::UP2DATE);
};

// The type table: every text is offered to a fresh setting of its type.
TEST_F(ParamTest, TypesAcceptAndStoreAsTheirChecksSay)
{
    TempDir dir;
    writeWholeFile(dir / "file", "x");
    const std::string long_name = std::string(252, 'a') + ".com";  // 256 bytes
    const std::string long_label = std::string(63, 'a') + ".com";
    typedef std::function<Param*()> maker_t;
    const auto c = fresh;
    const maker_t boolean = [c] { return new ParamBool(c, "b"); };
    const maker_t integer = [c] { return new ParamInteger(c, "i", "", ""); };
    const maker_t bounded = [c] { return new ParamInteger(c, "i", "-5", "10"); };
    const maker_t bad_bound = [c] { return new ParamInteger(c, "i", "1x", ""); };
    const maker_t number = [c] { return new ParamFloat(c, "f", "", ""); };
    const maker_t at_least = [c] { return new ParamFloat(c, "f", "1.5", "2e1"); };
    const maker_t text = [c] { return new ParamString(c, "s", "2", "4", "^[a-z]+$"); };
    const maker_t lines = [c] { return new ParamString(c, "s", "", "", "^[a-z]+$"); };
    const maker_t any_text = [c] { return new ParamString(c, "s", "", "", ""); };
    const maker_t bad_pattern = [c] { return new ParamString(c, "s", "", "", "(a"); };
    const maker_t email = [c] { return new ParamEmail(c, "e"); };
    const maker_t domain = [c] { return new ParamDomain(c, "d"); };
    const maker_t host = [c] { return new ParamHostname(c, "h"); };
    const maker_t path = [c] { return new ParamPath(c, "p", false); };
    const maker_t existing = [c] { return new ParamPath(c, "p", true); };
    const maker_t url = [c] { return new ParamUrl(c, "u"); };
    const maker_t choice = [c] {
        ParamEnum* e = new ParamEnum(c, "c");
        e->setChoices({{"a", "Apache"}, {"b", "Bee"}});
        return e;
    };
    const maker_t anything = [c] { return new ParamStatic(c, "t"); };
    struct Case {
        const maker_t& make;
        std::string text;
        bool accepted;
        std::string stored;  // when accepted
    };
    const std::vector<Case> cases = {
        {boolean, "YES", true, "true"},
        {boolean, "Y", true, "true"},
        {boolean, "True", true, "true"},
        {boolean, "n", true, "false"},
        {boolean, "No", true, "false"},
        {boolean, "on", false, ""},
        {boolean, "", false, ""},
        {integer, "", true, ""},
        {integer, "-17", true, "-17"},
        {integer, "+", true, "+"},
        {integer, "1-2", true, "1-2"},
        {integer, "1e3", false, ""},
        {integer, "5.0", false, ""},
        {integer, " 5", false, ""},
        {bounded, "-5", true, "-5"},
        {bounded, "10", true, "10"},
        {bounded, "11", false, ""},
        {bounded, "-6", false, ""},
        {bad_bound, "3", false, ""},
        {number, "x 2", true, "x 2"},
        {number, "1e3", true, "1e3"},
        {number, ".5", true, ".5"},
        {number, "x", false, ""},
        {at_least, "1.4", false, ""},
        {at_least, "1.5", true, "1.5"},
        {at_least, "20", true, "20"},
        {at_least, "20.5", false, ""},
        {text, "ab", true, "ab"},
        {text, "abcd", true, "abcd"},
        {text, "a", false, ""},
        {text, "abcde", false, ""},
        {text, "aB", false, ""},
        {lines, "ab\nc d", true, "ab\nc d"},  // newline-sensitive: one matching line is enough
        {any_text, "", true, ""},
        {bad_pattern, "a", false, ""},
        {email, "a@b", true, "a@b"},
        {email, "a@b@c", false, ""},
        {email, "@b", false, ""},
        {email, "a@", false, ""},
        {domain, "example.com", true, "example.com"},
        {domain, "abcdefgh.com", true, "abcdefgh.com"},
        {domain, long_label, true, long_label},
        {domain, "a" + long_label, false, ""},  // a label of 64
        {domain, "localhost", false, ""},
        {domain, "-a.com", false, ""},
        {domain, "a-.com", false, ""},
        {domain, "a\\b.com", false, ""},
        {domain, long_name, false, ""},
        {domain, "localhost.rev", false, ""},
        {domain, "1.0.0.10.in-addr.arpa", false, ""},
        {host, "10.0.0.1", true, "10.0.0.1"},
        {host, "a1.2.3.4b", true, "a1.2.3.4b"},
        {host, "10.0.0", false, ""},  // numeric labels make no name: an address needs four numbers
        {host, "10.0", false, ""},
        {host, "a.b1", true, "a.b1"},
        {host, "localhost", false, ""},
        {host, "localhost.rev", false, ""},
        {url, "http://example.com/", true, "http://example.com/"},
        {url, "https://example.com/a/b", true, "https://example.com/a/b"},
        {url, "http://example.com", false, ""},
        {url, "example.com/", false, ""},
        {path, "/srv//data/", true, "/srv//data"},
        {path, "/srv/my data (old)/", true, "/srv/my data (old)"},
        {path, "/srv/data.d", false, ""},
        {path, "relative/dir", false, ""},
        {path, "//", false, ""},
        {path, "///x", true, "///x"},
        {path, dir.path(), true, dir.path()},
        {path, dir / "file", false, ""},
        {existing, dir.path(), true, dir.path()},
        {existing, dir / "missing", false, ""},
        {choice, "b", true, "b"},
        {choice, "Bee", false, ""},
        {choice, "B", false, ""},
        {anything, "whatever it is", true, "whatever it is"},
    };
    for (const Case& k : cases) {
        const param_ptr_t setting(k.make());
        EXPECT_EQ(setting->setValue(k.text), k.accepted) << setting->getTypeName() << " " << k.text;
        EXPECT_EQ(setting->isValid(), k.accepted) << k.text;
        EXPECT_EQ(setting->Param::isComplete(), k.accepted) << k.text;
        EXPECT_EQ(setting->getStoredValue(), k.stored) << setting->getTypeName() << " " << k.text;
        EXPECT_EQ(setting->getText(), k.text);
    }
}

TEST_F(ParamTest, RefusalsTellWhyThroughTheErrorMessage)
{
    TempDir dir;
    writeWholeFile(dir / "file", "x");
    struct Case {
        Param* setting;
        std::string text;
        std::string detail;
    };
    const std::vector<Case> cases = {
        {new ParamPassword(fresh, "pw", "8", "", ""), "abc",
         "The specified password is too short. The password should be at least 8 characters long."},
        {new ParamPassword(fresh, "pw", "", "4", ""), "abcde",
         "The specified password is too long. The password should be no longer than 4 characters."},
        {new ParamPassword(fresh, "pw", "", "", "^[a-z]+$"), "a b",
         "The specified password contains unsupported symbols."},
        {new ParamPassword(fresh, "pw", "eight", "", ""), "long enough",
         "The specified password could not be validated for an unknown reason."},
        {new ParamPassword(fresh, "pw", "", "", "(a"), "a",
         "The specified password could not be validated for an unknown reason."},
        {new ParamPath(fresh, "p", false), "relative", "The specified path is not full. Please specify a full path."},
        {new ParamPath(fresh, "p", false), dir / "file", "The specified path is not a directory."},
        {new ParamPath(fresh, "p", false), "/srv/\xc3\xa9",
         "The specified path contains unsupported characters. Only Latin alphabet characters are supported."},
        {new ParamPath(fresh, "p", true), "/srv/kitwright-missing", "The specified path does not exist."},
    };
    for (const Case& c : cases) {
        const param_ptr_t setting(c.setting);
        setting->setTexts("Name", "Description", "Bad value");
        EXPECT_FALSE(setting->setValue(c.text)) << c.text;
        EXPECT_EQ(setting->getErrorMessage(), "Bad value - " + c.detail) << c.text;
        // The next check starts afresh: an accepted text leaves no detail behind.
        setting->setTexts("Name", "Description", "Bad value");
    }
    const param_ptr_t path(new ParamPath(fresh, "p", false));
    path->setTexts("", "", "Bad value");
    EXPECT_FALSE(path->setValue("relative"));
    EXPECT_TRUE(path->setValue("/srv"));
    EXPECT_EQ(path->getErrorMessage(), "Bad value");
}

TEST_F(ParamTest, ARefusedTextKeepsTheAcceptedValue)
{
    ParamInteger setting(fresh, "port", "", "");
    EXPECT_FALSE(setting.isComplete());
    EXPECT_TRUE(setting.setValue("80"));
    EXPECT_FALSE(setting.setValue("eighty"));
    EXPECT_EQ(setting.getStoredValue(), "80");
    EXPECT_EQ(setting.getValue(), "80");
    EXPECT_EQ(setting.getText(), "eighty");
    EXPECT_FALSE(setting.isValid());
    EXPECT_TRUE(setting.isComplete());  // set for good
}

TEST_F(ParamTest, AnInstalledOwnerMakesTheSettingReadOnly)
{
    ParamString old(installed, "s", "", "", "");
    ParamString both(fresh, "s", "", "", "");
    both.addComponent(installed);
    ParamString mine(fresh, "s", "", "", "");
    EXPECT_TRUE(old.is_readonly());
    EXPECT_TRUE(both.is_readonly());
    EXPECT_FALSE(mine.is_readonly());
    EXPECT_EQ(codes(caught([&] { old.setValue("x"); })), std::make_tuple(3, 1, 1, 2));
    EXPECT_EQ(caught([&] { old.setValue("x"); }).getText(), "Param::setValue: try to change read-only param\n");
    EXPECT_EQ(old.getText(), "");
    EXPECT_FALSE(old.isComplete());

    const error twice = caught([&] { mine.addComponent(fresh); });
    EXPECT_EQ(codes(twice), std::make_tuple(3, 1, 1, 2));
    EXPECT_EQ(twice.getText(), "Component fresh contains param s twice\n");
    EXPECT_EQ(mine.getComponents().size(), 1u);
}

TEST_F(ParamTest, GroupsAndTypeWords)
{
    const ParamGroup group(fresh, "Mail settings");
    EXPECT_EQ(group.getId(), "__SUBGROUP");
    EXPECT_EQ(group.getName(), "__group_cant_have_name__");
    EXPECT_EQ(group.getDescription(), "Mail settings");
    EXPECT_EQ(group.getErrorMessage(), "__group_cant_have_errmsg__");
    EXPECT_EQ(group.getTypeName(), "__group_no_type__doh1Oolo__");
    EXPECT_EQ(ParamHidden(fresh, "h").getTypeName(), "__type_hidden__tei9Rae9__");
    EXPECT_EQ(ParamStatic(fresh, "t").getTypeName(), "static-text");
}

TEST_F(ParamTest, BranchesDecideCompleteness)
{
    const boost::shared_ptr<ParamBool> flag(new ParamBool(fresh, "flag"));
    const param_ptr_t nested(new ParamString(fresh, "nested", "", "", ""));
    flag->addToBranch("true", nested);
    EXPECT_FALSE(flag->isComplete());
    flag->setValue("yes");
    EXPECT_FALSE(flag->isComplete());  // its branch is not
    nested->setValue("x");
    EXPECT_TRUE(flag->isComplete());
    const boost::shared_ptr<ParamBool> off(new ParamBool(fresh, "off"));
    off->addToBranch("true", param_ptr_t(new ParamString(fresh, "never", "", "", "")));
    off->setValue("false");
    EXPECT_TRUE(off->isComplete());

    const ParamGroup group(fresh, "");
    EXPECT_FALSE(group.isComplete());  // only once some value was set on it
    EXPECT_EQ(flag->getBranch("true").size(), 1u);
    EXPECT_EQ(codes(caught([&] { flag->getBranch("false"); })), std::make_tuple(3, 1, 1, 3));
}

TEST_F(ParamTest, DefaultsExpandVariablesAndTopLevelSettings)
{
    ParamString lone(fresh, "lone", "", "", "");
    const error none = caught([&] { lone.getDefault(); });
    EXPECT_EQ(codes(none), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(none.getText(), "Param::getDefault - default value is not set for opton lone\n");
    EXPECT_EQ(lone.getValue(), "");
    lone.setDefault("[other]");
    EXPECT_EQ(lone.getDefault(), "[other]");  // no manager: as written

    // In a home of its own: the manager saves when it ends.
    const PrivateHome home;
    const ChildResult result = runChecksInChild(
        [this] {
            Messages::setLocale("pt_BR.UTF-8");
            ParamManager manager;
            tinybind::Document document;
            ASSERT_TRUE(
                document.parse_text("<settings>"
                                    "<setting id='admin_email' type='email' default-value='root@[host]'/>"
                                    "<setting id='host' type='domain-name'/>"
                                    "<setting id='docs' type='string' default-value='[LOCALE]/docs'/>"
                                    "<setting id='mail' type='string' default-value='[admin_email] [missing]'/>"
                                    "<setting id='a' type='string' default-value=''/>"
                                    "<setting id='b' type='string' default-value='bee'/>"
                                    "<setting id='both' type='string' default-value='[a]/[b]'/>"
                                    "<setting id='x' type='string' default-value='&lt;[y]&gt;'/>"
                                    "<setting id='y' type='string' default-value='{[x]}'/>"
                                    "<setting id='self' type='string' default-value='[self]!'/>"
                                    "</settings>"));
            manager.createParams(fresh, document.get_root("settings"));
            const params_t& all = manager.getParams();
            ASSERT_EQ(all.size(), 10u);
            const param_ptr_t admin = all[0], host = all[1], docs = all[2], mail = all[3], both = all[6], x = all[7],
                              y = all[8], self = all[9];
            EXPECT_EQ(docs->getDefault(), "pt-BR/docs");
            EXPECT_EQ(mail->getDefault(), "root@ [missing]");  // neither value nor default: empty
            host->setDefault("example.com");
            EXPECT_EQ(mail->getDefault(), "root@example.com [missing]");  // the incomplete one's default
            admin->setValue("me@example.org");
            EXPECT_EQ(mail->getDefault(), "me@example.org [missing]");
            EXPECT_EQ(mail->getValue(), "me@example.org [missing]");
            EXPECT_EQ(both->getDefault(), "/bee");
            EXPECT_EQ(x->getDefault(), "<{[x]}>");
            EXPECT_EQ(y->getDefault(), "{<[y]>}");
            EXPECT_EQ(self->getDefault(), "[self]!");
            EXPECT_EQ(self->getDefault(), "[self]!");  // the cut leaves no mark behind
        },
        home.options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
