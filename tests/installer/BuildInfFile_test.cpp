#include "installer/BuildInfFile.h"

#include <boost/algorithm/string/join.hpp>
#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/ExtCatalogPackage.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/ProgramVersion.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/Options.h"
#include "installer/SelfUpgrade.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/LogFile.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;
const std::string DATA = std::string(KW_TEST_DATA_DIR) + "/buildinf/";

typedef boost::shared_ptr<BuildInfFile> file_ptr;

file_ptr load(const std::string& path, const std::string& config = "build.inf3")
{
    return file_ptr(new BuildInfFile(path, config));
}

std::string joined(const std::vector<std::string>& names)
{
    return boost::algorithm::join(names, ",");
}

// "name version arch type file" of each package.
std::string described(const BuildInfFile::packages_t& packages)
{
    std::vector<std::string> texts;
    for (const Package* p : packages)
        texts.push_back(std::string(p->getName().c_str()) + " " + p->getVersion().toString() + " " +
                        p->getArch().c_str() + " " + p->getType() + " " + p->getFileName());
    return boost::algorithm::join(texts, "; ");
}

std::string sections(const std::vector<BuildInfFile::keypackages_t>& sections)
{
    std::vector<std::string> texts;
    for (const auto& s : sections)
        texts.push_back("[" + joined(s.keypackages) + "|" + joined(s.nokeypackages) + "|" + joined(s.keyprovides) +
                        "]");
    return boost::algorithm::join(texts, "");
}

std::string examines(const std::vector<BuildInfFile::examine_t>& entries)
{
    std::vector<std::string> texts;
    for (const auto& e : entries)
        texts.push_back(e.scope + "|" + e.name + "|" + e.script + "|" + e.launcher + "|" + e.options + "|" +
                        e.directory + "|" + (e.always ? "always" : "-"));
    return boost::algorithm::join(texts, "; ");
}

std::string repo(const BuildInfFile::repo_t& r)
{
    return r.dir + "|" + r.headers_file + "|" + (r.persistent ? "persistent" : "-") + "|" + r.yum_repo_id + "|" +
           r.yum_repo_name;
}

std::string groups(const std::vector<BuildInfFile::group_t>& list)
{
    std::vector<std::string> texts;
    for (const auto& g : list) {
        std::string text = g.name + "|" + g.description + "|" + (g.radio ? "radio" : "sub") + "|" + g.default_member +
                           "|" + joined(g.members) + "|" + (g.switch_rules ? "rules" : "-");
        for (const auto& allowed : g.allowed_switches)
            text += "|" + allowed.first + ">" + allowed.second;
        texts.push_back(text + "{" + groups(g.groups) + "}");
    }
    return boost::algorithm::join(texts, "; ");
}

std::string printedElement(const TiXmlElement* element)
{
    if (!element)
        return "null";
    TiXmlPrinter printer;
    printer.SetIndent("");
    printer.SetLineBreak("");
    element->Accept(&printer);
    return printer.Str();
}

std::string internalErrorText(int line)
{
    return std::string("An internal error occured in Zanth Installer ") + ProgramVersion::version + ", revision " +
           ProgramVersion::revision + ", installer/BuildInfFile.cpp, line " + std::to_string(line) + ".";
}

std::string missingAttribute(const std::string& name)
{
    return format_message(messages.get("err_missing_attr"), name);
}

// What the user waits for is given by the run's settings: each test states those it relies on.
class BuildInfFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Options& options = Options::instance();
        saved_mode = options.workMode;
        options.workMode = Options::VERSION;  // no feed unless a test asks for one
        options.extCatalogUrl.clear();
        options.disableSelfUpgrade = false;
        Downloader::setRetryCount(1);
        Downloader::setSecondSleeper(&noWait);
    }
    void TearDown() override
    {
        Options& options = Options::instance();
        options.workMode = saved_mode;
        options.extCatalogUrl.clear();
        options.disableSelfUpgrade = false;
        Downloader::setRetryCount(3);
        Downloader::setSecondSleeper(nullptr);
    }
    static void noWait() {}

    Options::WorkMode saved_mode = Options::INTERACTIVE_CONSOLE;
};

TEST_F(BuildInfFileTest, ReadsEveryFieldOfTheCompleteFile)
{
    LogFile log;
    const file_ptr f = load(DATA + "complete.xml", "zanth-18.inf3");
    const std::pair<std::string, std::string> fields[] = {
        {f->config_name, "zanth-18.inf3"},
        {f->product_id, "zanth"},
        {std::to_string(f->product_keypackages.size()), "2"},
        {joined(f->product_keypackages.at(0)), "zanth-core,zanth-base"},
        {joined(f->product_keypackages.at(1)), "zanth-legacy"},
        {joined(f->upgrade_codes), "UC-1,UC-2"},
        {joined(f->product_codes), "PC-1,PC-2"},
        {f->release_id, "zanth-18"},
        {f->release_name, "Zanth 18"},
        {f->codename, "Oak"},
        {f->release_version, "18.0.61"},
        {f->upgrade_allowed_from, "17.5"},
        {f->parameters_file, "params.xml"},
        {f->os_name, "Linux"},
        {f->os_vendor, "Debian"},
        {f->os_version, "12"},
        {f->os_release_name, "bookworm"},
        {f->os_arch, "x86_64"},
        {f->environment, "dedicated"},
        {f->yx_template_prefix, "tpl-"},
        {f->yx_template_suffix, "-v1"},
        {f->apt_source, "deb http://mirror.example/debian ./"},
        {f->persistent_apt_source, "deb http://mirror.example/debian stable main"},
        {f->deprecated, "use 19"},
        {std::to_string(f->send_feedback) + std::to_string(f->uninstall_support) + std::to_string(f->gpgcheck), "111"},
        {examines(f->examines), "post|check|check.sh||||always"},
        {described(f->bootstrapper_packages), "zanth-setup 18.0-1 amd64 b zanth-setup_18.0-1_amd64.deb"},
        {repo(f->build_repo), "debian/12/x86_64|headers.gz|persistent|zanth-build|Zanth build"},
        {repo(f->thirdparty_repo), "thirdparty/debian|tp.gz|persistent|tp|Third party"},
        {repo(f->extras_repo), "extras/debian|ex.gz|-|ex|Extras"},
        {described(f->thirdparty_packages), "libfoo 3.2-1 amd64 t libfoo_3.2-1_amd64.deb"},
        {described(f->ext_catalog_packages), ""},
        {joined(f->preferred_packages), "pref-a"},
        {joined(f->force_remove_packages), "force-a,"},
        {joined(f->removable_packages), "old-a,old-b"},
        {groups(f->groups),
         "g1|Group 1|radio|tpl|core,web,tpl|rules|core>web|>"
         "{g1a|nested|sub||core|-{g1a1||sub|||-{}}}; g2||sub|||-{}"},
    };
    for (const auto& field : fields)
        EXPECT_EQ(field.first, field.second);
    // The whole first bootstrapper, actions included, for the actions to be read from.
    EXPECT_EQ(printedElement(f->bootstrapper).find("<bootstrapper><action sequence=\"1\" stage=\"post\""), 0u)
        << printedElement(f->bootstrapper);

    ASSERT_EQ(f->insttypes.size(), 2u);
    EXPECT_EQ(f->insttypes[0].name + "|" + f->insttypes[0].description + "|" + joined(f->insttypes[0].components),
              "Typical|Typical set|core,web");
    EXPECT_EQ(f->insttypes[1].name + "|" + f->insttypes[1].description + "|" + joined(f->insttypes[1].components),
              "Minimal||core");

    std::vector<std::string> names;
    for (const auto& c : f->components)
        names.push_back(c->name + "=" + c->description);
    EXPECT_EQ(names, (std::vector<std::string>{"core=Core files", "dummy_component_name_for_include=addon.inf3",
                                               "web=web (description empty)", "tpl=Template only"}));
    EXPECT_TRUE(log.has("Warning: component nothing have no build or keypackages, ignore."));

    const BuildInfFile::component_t& core = *f->components.at(0);
    const std::pair<std::string, std::string> core_fields[] = {
        {core.environment, "dedicated"},
        {joined(core.requirements), "base,group-db"},
        {joined(core.hardwired_with), "web"},
        {joined(core.conflicts), "lite"},
        {sections(core.keypackages), "[zanth-core,zanth-core-data|zanth-lite|zanth-api][||zanth-capability]"},
        {joined(core.expackages), "ext-web,"},
        {joined(core.rmpackages), "old-core"},
        {joined(core.yxtemplates), "tpl-core,"},
        {described(core.bootstrapper_packages), "zanth-boot 1.0-2 amd64 b zanth-boot_1.0-2_amd64.deb"},
        {described(core.packages),
         "zanth-core 18.0.61-1 amd64 b zanth-core_18.0.61-1_amd64.deb; "
         "zanth-core-data 18.0.61 all b zanth-core-data_18.0.61_all.deb; "
         "zanth-core-extra 2.1-3 amd64 b zanth-core-extra_2.1-3_amd64.deb"},
        {joined(core.classes), "aspect=panel,a,b,x,y"},
        {examines(core.examines), "pre|disk|disk.sh|/bin/sh|-x||always; post|ports|ports.sh||||-"},
        {printedElement(core.settings), "<settings><setting name=\"last\" /></settings>"},
        // uninstall_support="no" keeps it, hidden="yes" does not hide.
        {std::to_string(core.uninstall_support) + std::to_string(core.hidden) +
             std::to_string(core.show_installed_hidden) + std::to_string(core.deny_implicit_removal),
         "1011"},
    };
    for (const auto& field : core_fields)
        EXPECT_EQ(field.first, field.second);
    EXPECT_EQ(printedElement(core.bootstrapper).find("<bootstrapper><package name=\"zanth-boot\""), 0u);
    EXPECT_NE(printedElement(core.bootstrapper).find("<action sequence=\"1\" stage=\"prep\""), std::string::npos);

    const BuildInfFile::component_t& web = *f->components.at(2);
    EXPECT_FALSE(web.uninstall_support);
    EXPECT_EQ(sections(web.keypackages), "[ext-web||]");
    EXPECT_EQ(f->components.at(3)->environment, "qz");
    // The key as written, line ends and all, so that GnuPG takes it.
    EXPECT_EQ(f->gpg_public_key.rfind("-----BEGIN PGP PUBLIC KEY BLOCK-----\n\nmDMEaxuN5xYJ", 0), 0u);
    TempDir gnupg;
    writeWholeFile(gnupg / "key.asc", f->gpg_public_key + "\n");
    EXPECT_EQ(shellOutput("GNUPGHOME=" + gnupg.path() + " gpg --batch --import " + gnupg / "key.asc" +
                          " >/dev/null 2>&1 && echo imported"),
              "imported\n");
    // What the build's own check of the program version read.
    EXPECT_EQ(SelfUpgrade::requirement().version, "");
}

TEST_F(BuildInfFileTest, FixturesAreWellFormedExactlyWhenTheReaderCanParseThem)
{
    const std::string parse_prefix = format_message(messages.get("err_config_parse"), "", "");
    for (const auto& entry : boost::filesystem::directory_iterator(DATA)) {
        const std::string path = entry.path().string();
        const bool malformed = entry.path().filename().string().rfind("malformed-", 0) == 0 ||
                               entry.path().filename() == "empty.xml" || entry.path().filename() == "no-root.xml";
        const int xmllint = system(("xmllint --noout " + path + " 2>/dev/null").c_str());
        EXPECT_EQ(xmllint != 0, malformed) << path;
        if (!malformed)
            continue;
        const std::optional<error> e = thrown<error>([&] { load(path); });
        ASSERT_TRUE(e) << path;
        EXPECT_EQ(codes(*e), std::make_tuple(1, 1, 1, 3));
        if (entry.path().filename() == "no-root.xml") {
            // TinyXML takes a document without elements; the reader does not.
            EXPECT_EQ(e->getText(), format_message(messages.get("err_inf3_root"), path) + "\n");
            continue;
        }
        const std::string prefix = format_message(messages.get("err_config_parse"), path, "");
        EXPECT_EQ(e->getText().rfind(prefix, 0), 0u) << e->getText();
        EXPECT_GT(e->getText().size(), prefix.size() + 1) << "TinyXML's description is missing";
    }
}

TEST_F(BuildInfFileTest, FailuresOfTheFileAndWhetherTheyNameIt)
{
    struct Case {
        const char* file;
        std::string text;  // without the line end
        bool decorated;
    };
    const Case cases[] = {
        {"missing-os-name.xml", missingAttribute("os_name"), false},
        {"root-named-Build.xml", format_message(messages.get("err_binf3_build"), DATA + "root-named-Build.xml"), false},
        {"missing-build-dir.xml", missingAttribute("build_dir"), true},
        {"removable-without-name.xml", missingAttribute("name"), true},
        {"missing-keypackage-name.xml", missingAttribute("name"), true},
        {"empty-keypackages.xml", format_message(messages.get("err_binf3_compkey"), "core"), true},
        // The config name, not the path.
        {"no-components.xml", format_message(messages.get("err_binf3_comps"), "config-name.inf3"), true},
        {"type-without-components.xml", internalErrorText(265), true},
        {"type-with-empty-component.xml", internalErrorText(260), true},
        {"ext-catalog-without-url.xml", missingAttribute("url"), true},
        {"package-without-version.xml", messages.get("err_bad_pkgtag"), true},
    };
    Options::instance().workMode = Options::INTERACTIVE_CONSOLE;  // reads the extension catalogue section
    for (const Case& c : cases) {
        const std::string path = DATA + c.file;
        const std::optional<error> e = thrown<error>([&] { load(path, "config-name.inf3"); });
        ASSERT_TRUE(e) << c.file;
        EXPECT_EQ(e->getText(), c.text + (c.decorated ? ". Error while parse " + path : "") + "\n") << c.file;
    }
    const error empty = caught([] { load(""); });
    EXPECT_EQ(empty.getText(), messages.get("err_inf_fname") + "\n");
    EXPECT_EQ(codes(empty), std::make_tuple(1, 1, 1, 3));
}

TEST_F(BuildInfFileTest, ComponentsWithoutContentAreDroppedBeforeTheListFails)
{
    LogFile log;
    EXPECT_TRUE(thrown<error>([] { load(DATA + "no-components.xml"); }));
    EXPECT_TRUE(log.has("Warning: component a have no build or keypackages, ignore."));
    EXPECT_TRUE(log.has("Warning: component b have no build or keypackages, ignore."));

    const file_ptr include = load(DATA + "include-only.xml");
    ASSERT_EQ(include->components.size(), 1u);
    EXPECT_EQ(include->components[0]->name + "=" + include->components[0]->description,
              "dummy_component_name_for_include=other.inf3");
}

TEST_F(BuildInfFileTest, ClassesThatCannotBeSplitNameTheComponent)
{
    const std::string path = DATA + "bad-classes.xml";
    const error e = caught([&] { load(path); });
    EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
    ASSERT_EQ(e.parts.size(), 2u);
    EXPECT_EQ(e.parts.back(),
              "Failed to parse list of classes for product component 'core'.. Error while parse " + path);
    EXPECT_FALSE(e.parts.front().empty()) << "the splitter's reason";
}

// The binding layer's failures pass unchanged and point at the element: row as grep -n finds it,
// column where the tag starts as awk's index finds it.
TEST_F(BuildInfFileTest, BindingFailuresPassUnchangedWithTheElementsPosition)
{
    struct Case {
        const char* file;
        const char* tag;
        std::string message;  // up to the position
    };
    const Case cases[] = {
        {"group-member-without-name.xml", "<component default", "There is no attribute 'name' in element component"},
        {"key-without-text.xml", "<gpg_public_key", "Text node not found in element 'gpg_public_key'"},
    };
    for (const Case& c : cases) {
        const std::string path = DATA + c.file;
        const std::string row = shellOutput("grep -n '" + std::string(c.tag) + "' " + path + " | cut -d: -f1");
        const std::string col =
            shellOutput("awk '/" + std::string(c.tag) + "/ {print index($0,\"" + c.tag + "\")}' " + path);
        const std::optional<tinybind::err> e = thrown<tinybind::err>([&] { load(path); });
        ASSERT_TRUE(e) << c.file;
        EXPECT_EQ(e->code, 1);
        EXPECT_EQ(e->message, c.message + " (row:" + trim_right(row) + " col:" + trim_right(col) + ")");
    }
}

TEST_F(BuildInfFileTest, TheProductSectionOnlyWarns)
{
    const std::string warning = "Warning: There is some error during read optional config section 'product': ";
    {
        LogFile log(1);
        const file_ptr f = load(DATA + "no-product.xml");
        EXPECT_TRUE(log.has(warning + "There is no child element 'product' in tag 'build'"));
        EXPECT_EQ(f->product_id + f->release_id + f->release_version, "");
    }
    {
        LogFile log(0);
        load(DATA + "no-release.xml");
        EXPECT_TRUE(log.lines().empty()) << "the warning is at level 1";
    }
    LogFile log(1);
    const file_ptr f = load(DATA + "no-release.xml");
    EXPECT_TRUE(log.has(warning + "There is no child element 'release' in tag 'product'"));
    EXPECT_EQ(f->product_id, "zanth");
    EXPECT_EQ(f->product_keypackages, std::vector<std::vector<std::string>>{{"zanth-core"}});
    EXPECT_EQ(f->release_id + f->release_version, "");
    // The file's body is read all the same.
    EXPECT_EQ(f->build_repo.dir, "d");
}

// Flags, by the value written: component attributes are true-flags or the "false"-only
// uninstall_support, root attributes yes-flags.
TEST_F(BuildInfFileTest, FlagsByTheExactValue)
{
    const std::string minimal = readWholeFile(DATA + "minimal.xml");
    struct Case {
        const char* value;  // nullptr: absent
        bool yes;           // root "send_feedback", "uninstall_support", "persistent_repo"
        bool truth;         // component "hidden", "show_installed_hidden", "deny_implicit_removal"
        bool uninstall;     // component "uninstall_support"
    };
    const Case cases[] = {
        {nullptr, false, false, true},  {"yes", true, false, true}, {"true", true, true, true},
        {"false", false, false, false}, {"no", false, false, true}, {"TRUE", false, false, true},
        {"Yes", false, false, true},    {"1", false, false, true},  {"", false, false, true},
        {"False", false, false, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string text = minimal;
        if (c.value) {
            const std::string v = std::string("=\"") + c.value + "\"";
            boost::replace_first(text, "<build ",
                                 "<build send_feedback" + v + " uninstall_support" + v + " persistent_repo" + v + " ");
            boost::replace_first(text, "<component ",
                                 "<component hidden" + v + " show_installed_hidden" + v + " deny_implicit_removal" + v +
                                     " uninstall_support" + v + " ");
        }
        writeWholeFile(dir / "flags.xml", text);
        const file_ptr f = load(dir / "flags.xml");
        const BuildInfFile::component_t& component = *f->components.at(0);
        const std::string label = c.value ? c.value : "(absent)";
        EXPECT_EQ(f->send_feedback, c.yes) << label;
        EXPECT_EQ(f->uninstall_support, c.yes) << label;
        EXPECT_EQ(f->build_repo.persistent, c.yes) << label;
        EXPECT_EQ(component.hidden, c.truth) << label;
        EXPECT_EQ(component.show_installed_hidden, c.truth) << label;
        EXPECT_EQ(component.deny_implicit_removal, c.truth) << label;
        EXPECT_EQ(component.uninstall_support, c.uninstall) << label;
    }
}

// The operating system is detected once per process: each case in a child of its own.
TEST_F(BuildInfFileTest, SignatureCheckByValueAndRunningSystem)
{
    struct Case {
        const char* value;
        const char* vendor;
        bool on;
    };
    const Case cases[] = {
        {"deb", "Ubuntu", true},    {"deb", "AlmaLinux", false}, {"rpm", "Ubuntu", false},
        {"rpm", "AlmaLinux", true}, {"yes", "AlmaLinux", true},  {"true", "Ubuntu", true},
        {"Yes", "Debian", false},   {"DEB", "Debian", false},    {"", "Debian", false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string text = readWholeFile(DATA + "gpgcheck.xml");
        boost::replace_first(text, "@GPGCHECK@", c.value);
        writeWholeFile(dir / "gpgcheck.xml", text);
        const ChildResult r = runChecksOnSystem({"Linux", c.vendor, "", "", ""}, [&] {
            EXPECT_EQ(load(dir / "gpgcheck.xml")->gpgcheck, c.on) << c.value << " on " << c.vendor;
        });
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    }
}

TEST_F(BuildInfFileTest, TheRequiredProgramVersion)
{
    TempDir dir;
    const std::string text = readWholeFile(DATA + "release-needed.xml");
    auto withVersion = [&](const std::string& version) {
        writeWholeFile(dir / "needed.xml", boost::replace_first_copy(text, "@VERSION@", version));
        return dir / "needed.xml";
    };
    EXPECT_EQ(load(withVersion(ProgramVersion::version))->components.size(), 1u);
    EXPECT_EQ(SelfUpgrade::requirement().version, ProgramVersion::version);
    EXPECT_EQ(SelfUpgrade::requirement().binaryDirectory, "Zanth_Installer");
    EXPECT_EQ(SelfUpgrade::requirement().binaryName, SelfUpgrade::get_binary_name());

    const std::string other = "1.2.3";
    EXPECT_TRUE(thrown<SelfUpgrade::NeedSelfUpgrade>([&] { load(withVersion(other)); }));

    Options::instance().disableSelfUpgrade = true;
    LogFile log(1);
    EXPECT_EQ(load(withVersion(other))->components.size(), 1u);
    EXPECT_TRUE(log.has(std::string("Current kitwright version '") + ProgramVersion::version + "', required = '" +
                        other + "', but won't upgrade self due --disable-self-upgrade"));
}

// The extension catalogue, served at api/v4/packages of a loopback server that logs each request.
class ExtCatalogStepTest : public BuildInfFileTest {
protected:
    void SetUp() override
    {
        BuildInfFileTest::SetUp();
        Options::instance().workMode = Options::INTERACTIVE_CONSOLE;
        boost::filesystem::create_directories(dir / "api/v2/packages/api/v4");
        boost::filesystem::create_directories(dir / "api/v4");
        const std::string feed = R"([
            {"code": "web", "name": "Web Presence", "download_url": "https://ext.example/web.zip"},
            {"code": "nameless", "name": "", "download_url": "https://ext.example/nameless.zip"},
            {"code": "mail", "name": "Mail Pro", "download_url": "https://ext.example/mail.zip"},
            {"code": "git", "name": "Git", "download_url": "https://ext.example/git.zip"},
            {"code": "Apps", "name": "Apps", "download_url": "https://ext.example/apps.zip"}
        ])";
        writeWholeFile(dir / "api/v4/packages", feed);
        writeWholeFile(dir / "api/v2/packages/api/v4/packages", feed);
    }

    // The fixture with its feed URL.
    std::string fixture(const std::string& name, const std::string& url)
    {
        writeWholeFile(dir / name, boost::replace_first_copy(readWholeFile(DATA + name), "@FEED@", url));
        return dir / name;
    }

    std::string base() const { return server.url().substr(0, server.url().size() - 1); }

    TempDir dir;
    const std::string requests = dir / "requests.log";
    LoopbackServer server = LoopbackServer::scripted(dir.path(), requests);
};

TEST_F(ExtCatalogStepTest, MakesOnePackagePerItemAndNamesTheComponentsWithout)
{
    const file_ptr f = load(fixture("ext-catalog.xml", base()));
    std::vector<std::string> made;
    for (const Package* p : f->ext_catalog_packages) {
        const auto* e = dynamic_cast<const ExtCatalogPackage*>(p);
        ASSERT_TRUE(e);
        made.push_back(std::string(p->getName().c_str()) + "|" + p->getType() + "|" + p->getArch().c_str() + "|" +
                       p->getElement()->Attribute("file") + "|" + p->getProperty("EXT_CODE") + "|" +
                       p->getProperty("EXT_DISPLAY_NAME") + "|" + p->getProperty("EXT_DOWNLOAD_URL") + "|" +
                       p->getClasses());
    }
    EXPECT_EQ(made, (std::vector<std::string>{
                        "ext-Apps|e|noarch||Apps|Apps|https://ext.example/apps.zip|ext",
                        "ext-git|e|noarch||git|Git|https://ext.example/git.zip|ext",
                        "ext-mail|e|noarch||mail|Mail Pro|https://ext.example/mail.zip|ext",
                        "ext-nameless|e|noarch||nameless||https://ext.example/nameless.zip|ext",
                        "ext-web|e|noarch||web|Web Presence|https://ext.example/web.zip|ext",
                    }));
    std::vector<std::string> descriptions;
    for (const auto& c : f->components)
        descriptions.push_back(c->name + "=" + c->description);
    // The first candidate listing ext-web takes the name, the second keeps its own; a component
    // with a description of its own, one whose item has no name, and one that names the extension
    // only as a package that must be absent keep theirs.
    EXPECT_EQ(descriptions, (std::vector<std::string>{"web=Web Presence", "web-again=web-again (description empty)",
                                                      "mail=Mail of our own", "nameless=nameless (description empty)",
                                                      "git=git (description empty)"}));
    EXPECT_EQ(loggedRequestValues(requests, "target"),
              std::vector<std::string>{"/api/v4/packages?platform=unix&version=18.0.61&kw-compatible"});
}

TEST_F(ExtCatalogStepTest, WithoutATemplateThePackageElementIsNew)
{
    const file_ptr f = load(fixture("ext-catalog-no-template.xml", base()));
    ASSERT_EQ(f->ext_catalog_packages.size(), 5u);
    EXPECT_EQ(printedElement(f->ext_catalog_packages[0]->getElement()),
              "<package name=\"ext-Apps\" file=\"\" arch=\"noarch\" />");
}

TEST_F(ExtCatalogStepTest, OldFeedUrlsAreCutBeforeTheLastOldApiPath)
{
    struct Case {
        std::string url;  // as the file or the options give it
        bool fromOptions;
        std::string cut;  // empty: unchanged
        std::string target;
    };
    const std::string query = "packages?platform=unix&version=18.0.61&kw-compatible";
    const Case cases[] = {
        {base() + "/api/v2/packages", false, base(), "/api/v4/" + query},
        {base() + "/api/v2/packages/api/v2/packages", false, base() + "/api/v2/packages",
         "/api/v2/packages/api/v4/" + query},
        {base() + "/api/v2/packages", true, base(), "/api/v4/" + query},
        {server.url(), false, "", "/api/v4/" + query},
    };
    for (const Case& c : cases) {
        boost::filesystem::remove(requests);
        Options::instance().extCatalogUrl = c.fromOptions ? c.url : "";
        LogFile log(0);
        const file_ptr f = load(fixture("ext-catalog.xml", c.fromOptions ? "http://127.0.0.1:1/unused" : c.url));
        EXPECT_EQ(f->ext_catalog_packages.size(), 5u) << c.url;
        EXPECT_EQ(loggedRequestValues(requests, "target"), std::vector<std::string>{c.target}) << c.url;
        const std::string notice = format_message(messages.get("old_format_api_ext_catalog_feed"), c.url, c.cut);
        EXPECT_EQ(log.has(notice), !c.cut.empty()) << c.url;
    }
}

TEST_F(ExtCatalogStepTest, AFeedThatFailsLeavesNoPackagesAndTheFileLoads)
{
    const std::string dead = "http://127.0.0.1:" + std::to_string(LoopbackServer::deadPort());
    {
        LogFile log(1);
        const file_ptr f = load(fixture("ext-catalog.xml", dead));
        EXPECT_TRUE(f->ext_catalog_packages.empty());
        for (const std::string& line : log.lines())
            EXPECT_EQ(line.find("Failed to collect"), std::string::npos) << "level 2 only: " << line;
    }
    LogFile log(2);
    const file_ptr f = load(fixture("ext-catalog.xml", dead));
    EXPECT_TRUE(f->ext_catalog_packages.empty());
    EXPECT_EQ(f->components.at(0)->description, "web (description empty)");
    const std::string prefix = format_message(messages.get("err_ext_catalog_collect_packages"), "");
    bool found = false;
    for (const std::string& line : log.lines())
        found = found || line.rfind(prefix.substr(0, prefix.size() - 1), 0) == 0;
    EXPECT_TRUE(found);
}

TEST_F(ExtCatalogStepTest, SkippedWhenTheRunNeedsNoExtensions)
{
    Options::instance().workMode = Options::NON_INTERACTIVE;
    Options::instance().command = Options::SHOW_RELEASES;
    LogFile log;
    const file_ptr f = load(fixture("ext-catalog.xml", base()));
    Options::instance().command = Options::CliCommand(0);
    EXPECT_TRUE(f->ext_catalog_packages.empty());
    EXPECT_TRUE(loggedRequestValues(requests, "target").empty());
    for (const std::string& line : log.lines())
        EXPECT_EQ(line.find("ext_catalog"), std::string::npos) << line;
}

}  // namespace
