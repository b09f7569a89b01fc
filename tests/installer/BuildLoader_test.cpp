#include "installer/BuildLoader.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <boost/pointer_cast.hpp>
#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/FileFetcher.h"
#include "common/Messages.h"
#include "common/PkgManager.h"
#include "common/Repository.h"
#include "installer/Bootstrapper.h"
#include "installer/ComponentManager.h"
#include "installer/CustomerFeedback.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "installer/Options.h"
#include "installer/ParamManager.h"
#include "installer/Product.h"
#include "installer/ProductInf3FileGuard.h"
#include "installer/SourceConfig.h"
#include "installer/SourceManager.h"
#include "installer/SourceZanth.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LoadedForest.h"
#include "tests/support/LogFile.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

const ForcedSystem DEBIAN{"Linux", "Debian", "12", "x86_64", ""};
const ForcedSystem DEBIAN_QZ{"Linux", "Debian", "12", "x86_64", "qz"};
const ForcedSystem ALMA{"Linux", "AlmaLinux", "8", "x86_64", ""};
const ForcedSystem UBUNTU{"Linux", "Ubuntu", "22.04", "x86_64", ""};  // the mirror builds nothing for it

typedef std::vector<std::string> names_t;

// The model of the special cases: the panel names a "folioforge" component and declares its own types
// (one of them only of the container component), its 10.1 release forbids feedback, the Folioforge
// builds want other container templates, the backup addon brings its own "web" and the core
// component has a stage action.
const char* const SPECIAL_MODEL = R"({
  "products": [
    {"id": "zanth", "name": "Zanth", "dir": "zanth", "keypackages": [["zanth-core"]],
     "releases": [
       {"id": "zanth-10.0", "name": "Zanth 10.0", "version": "10.0.0", "upgrade_allowed_from": "9.0"},
       {"id": "zanth-10.1", "name": "Zanth 10.1", "version": "10.1.0", "upgrade_allowed_from": "9.0",
        "send_feedback": "no"}],
     "installation_types": [
       {"name": "Typical, Standard", "description": "Typical", "components": ["core", "web", "qz-agent"]},
       {"name": "Full", "description": "Container hosting", "components": ["qz-agent"]}],
     "components": [
       {"name": "core", "description": "Zanth core", "keypackages": [{"keypackage": ["zanth-core"]}],
        "packages": [{"name": "zanth-core"}],
        "actions": [{"sequence": "post", "sequence-order": "2", "exec-cmd": "echo ready"}]},
       {"name": "web", "description": "Web server support", "keypackages": [{"keypackage": ["zanth-web"]}],
        "packages": [{"name": "zanth-web"}]},
       {"name": "folioforge", "description": "Folioforge link", "keypackages": [{"keypackage": ["zanth-ff"]}],
        "packages": [{"name": "zanth-ff"}]},
       {"name": "qz-agent", "description": "Container agent", "environment": "qz",
        "keypackages": [{"keypackage": ["zanth-qz-agent"]}], "packages": [{"name": "zanth-qz-agent"}]},
       {"name": "support-tools", "description": "Support tools", "hidden": true,
        "keypackages": [{"keypackage": ["zanth-support"]}], "packages": [{"name": "zanth-support"}]},
       {"name": "mail", "description": "Mail server", "keypackages": [{"keypackage": ["zanth-mail"]}],
        "packages": [{"name": "zanth-mail"}]},
       {"name": "mail-lite", "description": "Light mail", "keypackages": [{"keypackage": ["zanth-mail-lite"]}],
        "packages": [{"name": "zanth-mail-lite"}]}]},
    {"id": "folioforge", "name": "Folioforge", "dir": "folioforge", "keypackages": [["folioforge-core"]],
     "yx_template_suffix": "-elsewhere",
     "releases": [{"id": "folioforge-2.1", "name": "Folioforge 2.1", "version": "2.1.0",
                   "upgrade_allowed_from": "2.0"}],
     "components": [{"name": "ff", "description": "Folioforge core",
                     "keypackages": [{"keypackage": ["folioforge-core"]}], "packages": [{"name": "folioforge-core"}]}]}
  ],
  "addons": [
    {"id": "zanth-backup", "name": "Zanth Backup", "dir": "addons/backup",
     "releases": [{"id": "zanth-backup-1.2", "name": "Zanth Backup 1.2", "version": "1.2.0",
                   "compatible": [{"product_id": "zanth", "from_version": "10.1", "to_version": "10.9"}]}],
     "components": [
       {"name": "web", "description": "Web server of the backup", "keypackages": [{"keypackage": ["backup-web"]}],
        "packages": [{"name": "backup-web"}]},
       {"name": "backup", "description": "Backup manager", "keypackages": [{"keypackage": ["zanth-backup"]}],
        "packages": [{"name": "zanth-backup"}]}]}
  ]
})";

// The forest of a source with the views these tests compare.
struct Flow : LoadedForest {
    using LoadedForest::LoadedForest;

    // "name" for a component, "[name]" for a sub-group, "(name)" for a radio group, with the product.
    names_t roots() const
    {
        names_t names;
        for (const auto& root : manager.roots)
            names.push_back(describe(root));
        return names;
    }
    static std::string describe(const boost::shared_ptr<KwCompNode>& node)
    {
        if (const auto c = boost::dynamic_pointer_cast<KwComponent>(node))
            return c->getFullName();
        if (const auto r = boost::dynamic_pointer_cast<KwRadioGroup>(node))
            return "(" + r->name + ")";
        return "[" + boost::dynamic_pointer_cast<KwSubGroup>(node)->name + "]";
    }

    // The types of a product: names joined by "|", mode and components joined by ",".
    names_t types(const std::string& product) const
    {
        names_t result;
        for (const InstTypes::type_t& type : manager.instTypes.getProduct(product).types) {
            std::string text;
            for (const std::string& name : type.names)
                text += (text.empty() ? "" : "|") + name;
            text += " " + std::to_string(type.mode);
            for (const std::string& component : type.components)
                text += " " + component;
            result.push_back(text);
        }
        return result;
    }

    // The names of the packages of each source of the repository: "config" for the build files' own,
    // "lazy <addon build file>" for a lazy addon's.
    std::map<std::string, std::set<std::string>> packagesBySource() const
    {
        std::map<std::string, std::set<std::string>> result;
        for (const Package* package : repository.getPackages()) {
            const Source* source = package->getSource();
            if (const auto lazy = dynamic_cast<const SourceConfigLazyAddon*>(source))
                result["lazy " + lazy->getBuild().lock()->getConfig()].insert(package->getName().c_str());
            else if (dynamic_cast<const SourceConfig*>(source))
                result["config"].insert(package->getName().c_str());
        }
        return result;
    }

    // The packages that the repository has removers for, in the order made.
    names_t removers() const
    {
        names_t names;
        for (const Package* package : repository.getPackages())
            if (isRemover(package))  // named "dummy_obsoleter_" + the name
                names.push_back(std::string(package->getName().c_str()).substr(16));
        return names;
    }
};

class BuildLoaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        mirror = new GeneratedMirror;
        TempDir model;
        writeWholeFile(model / "model.json", SPECIAL_MODEL);
        special = new GeneratedMirror(
            {"--model", model / "model.json", "--phase", "builds", "--phase", "products", "--phase", "index"});
        // The 10.0 release of the special mirror includes another build file.
        const std::string path = special->path() + "/zanth/builds/10.0.0/debian-12-x86_64.inf3";
        std::string text = readWholeFile(path);
        text.insert(text.find("<component "), "<include config=\"zanth/included.inf3\"/>");
        writeWholeFile(path, text);
        writeWholeFile(special->path() + "/zanth/included.inf3", "<build/>");
    }
    static void TearDownTestSuite()
    {
        delete mirror;
        delete special;
    }
    void SetUp() override
    {
        Downloader::setSecondSleeper(&noWait);
        Downloader::setRetryCount(1);
    }
    void TearDown() override { Downloader::setSecondSleeper(nullptr); }
    static void noWait() {}

    // Checks on a system in a child whose home is private (the settings are saved there).
    void onSystem(const ForcedSystem& system, const std::function<void()>& body)
    {
        const ChildResult result = runChecksOnSystem(system, body, home.options);
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }

    static GeneratedMirror* mirror;
    static GeneratedMirror* special;
    PrivateHome home;
};

GeneratedMirror* BuildLoaderTest::mirror = nullptr;
GeneratedMirror* BuildLoaderTest::special = nullptr;

}  // namespace

// Two selected releases and the two addons that fit them, from the directory and over HTTP: the
// forest, the types, the sources, the repository's packages and the lists are those of the Debian builds.
TEST_F(BuildLoaderTest, DebianLoadsTheSelectedReleasesAndTheirAddons)
{
    LoopbackServer server = LoopbackServer::files(mirror->path());
    for (const std::string& source : {mirror->path(), server.url()}) {
        SCOPED_TRACE(source);
        onSystem(DEBIAN, [&] {
            CustomerFeedback::setAllowed(false);
            LogFile log(2);
            Flow flow(source);
            flow.load({"zanth-10.1", "folioforge-2.1"});

            // Folioforge's "core" came second and stays out; the grouped components are in the group.
            EXPECT_EQ(flow.roots(), (names_t{"zanth/core", "zanth/support-tools", "zanth/tools", "zanth/failing",
                                             "zanth/prep-wait", "zanth/postcheck-fail", "zanth/precheck-fail",
                                             "zanth/backup", "zanth/migrator", "[services]"}));
            const auto services = boost::dynamic_pointer_cast<KwSubGroup>(flow.manager.roots.back());
            ASSERT_EQ(services->children.size(), 2u);
            EXPECT_EQ(Flow::describe(services->children[0]), "zanth/web");
            const auto radio = boost::dynamic_pointer_cast<KwRadioGroup>(services->children[1]);
            ASSERT_TRUE(radio);
            EXPECT_EQ(radio->name, "mailserver");
            EXPECT_EQ(radio->default_name, "mail");
            EXPECT_TRUE(radio->switch_rules);
            EXPECT_EQ(radio->allowed_switches, (KwRadioGroup::switches_t{{"mail-lite", "mail"}}));
            ASSERT_EQ(radio->members.size(), 2u);
            EXPECT_EQ(radio->members[0]->getFullName(), "zanth/mail");
            EXPECT_EQ(radio->members[1]->getRadioGroup(), radio.get());
            EXPECT_TRUE(log.has("Skip component core from " + flow.guards[1]->getLocalFile() +
                                " - it has already come from <include> or addon"));
            EXPECT_TRUE(log.has("Skip component qz-agent because incompatible environment"));
            EXPECT_TRUE(log.has("Attach addon zanth-backup-1.2 to release Zanth 10.1"));
            EXPECT_TRUE(log.has("BuildLoader: 2 releases processed"));

            // The components as the build files describe them.
            const auto core = flow.component("zanth/core");
            EXPECT_EQ(core->yxtemplates, names_t{"zanth--core"});
            ASSERT_EQ(core->examines.size(), 1u);
            // Scripts are fetched from the build file's directory in the source.
            EXPECT_EQ(core->examines[0].directory, "zanth/builds/10.1.0/");
            EXPECT_EQ(core->requirements, names_t{});
            EXPECT_EQ(flow.component("zanth/web")->requirements, names_t{"core"});
            EXPECT_EQ(flow.component("zanth/web")->classes, (std::set<std::string>{"server", "web"}));
            EXPECT_TRUE(flow.component("zanth/support-tools")->hidden);
            EXPECT_TRUE(flow.component("zanth/support-tools")->deny_implicit_removal);
            EXPECT_FALSE(flow.component("zanth/backup")->lazy_build);
            const auto migrator = flow.component("zanth/migrator");
            ASSERT_TRUE(migrator->lazy_build);
            EXPECT_EQ(migrator->lazy_build, migrator->getBuild());
            EXPECT_EQ(migrator->getBuild()->getParent()->get_id(), "zanth-10.1");
            ASSERT_EQ(flow.params.getParams().size(), 1u);
            EXPECT_EQ(flow.params.getParams()[0]->getId(), "default_language");

            // Types of first installations: "full" is not "Full", so the generated one follows.
            EXPECT_EQ(flow.types("zanth"),
                      (names_t{"typical 0 core web", "full 0 core web mail mail-lite", "Full 1", "Custom 2"}));
            EXPECT_EQ(flow.types("folioforge"), (names_t{"typical 0 core", "full 0 core", "Full 1", "Custom 2"}));
            EXPECT_EQ(InstTypes::getType(flow.manager.instTypes.getProduct("zanth"), "custom").description,
                      "Custom components selection. Recommended only for experienced users.");

            // The builds: release data for releases only, both apt lines of each non-lazy build.
            const auto zanthBuild = core->getBuild();
            EXPECT_EQ(zanthBuild->getConfig(), "zanth/builds/10.1.0/debian-12-x86_64.inf3");
            EXPECT_EQ(zanthBuild->getOsReleaseName(), "bookworm");
            EXPECT_EQ(zanthBuild->getParametersFile(), "parameters.xml");
            EXPECT_TRUE(zanthBuild->getGpgCheck());
            EXPECT_TRUE(zanthBuild->getUninstallSupport());
            ASSERT_EQ(zanthBuild->getExamine().size(), 1u);
            EXPECT_EQ(zanthBuild->getExamine()[0].directory, core->examines[0].directory);
            EXPECT_EQ(zanthBuild->getPackageElements().size(), 1u);
            EXPECT_EQ(flow.component("zanth/backup")->getBuild()->getParametersFile(), "");
            names_t sourceBuilds;
            for (const auto& s : flow.sources.getSources())
                sourceBuilds.push_back(std::dynamic_pointer_cast<SourceZanth>(s)->getBuild().lock()->getConfig());
            const std::string backupConfig = "addons/backup/builds/1.2.0/debian-12-x86_64.inf3";
            const std::string folioConfig = "folioforge/builds/2.1.0/debian-12-x86_64.inf3";
            EXPECT_EQ(sourceBuilds, (names_t{zanthBuild->getConfig(), zanthBuild->getConfig(), folioConfig, folioConfig,
                                             backupConfig, backupConfig}));
            EXPECT_EQ(flow.guards.size(), 4u);

            // The packages by source: no package of a skipped component.
            const std::map<std::string, std::set<std::string>> expected{
                {"config",
                 {"zanth-core", "zanth-base", "zanth-web", "zanth-mail", "zanth-mail-lite", "zanth-support",
                  "zanth-tools", "zanth-failing", "zanth-prep-wait", "zanth-postcheck-fail", "zanth-precheck-fail",
                  "zanth-thirdparty-lib", "zanth-bootstrap", "folioforge-thirdparty-lib", "folioforge-bootstrap",
                  "zanth-backup", "zanth-backup-thirdparty-lib", "zanth-backup-bootstrap"}},
                {"lazy addons/migrator/builds/3.0.0/debian-12-x86_64.inf3",
                 {"zanth-migrator", "zanth-migrator-thirdparty-lib", "zanth-migrator-bootstrap"}}};
            EXPECT_EQ(flow.packagesBySource(), expected);

            // The lists.
            EXPECT_EQ(flow.removers(), (names_t{"folioforge-obsolete", "zanth-backup-obsolete",
                                                "zanth-migrator-obsolete", "zanth-obsolete"}));
            EXPECT_EQ(flow.sources.getForceRemovePackages(),
                      (names_t{"zanth-broken", "folioforge-broken", "zanth-backup-broken", "zanth-migrator-broken"}));
            EXPECT_EQ(PkgManager::preferredPackages, (std::set<std::string>{"folioforge-base", "zanth-backup-base",
                                                                            "zanth-base", "zanth-migrator-base"}));
            EXPECT_EQ(flow.sources.getOsTemplateName(), "-debian-12-x86_64");
            EXPECT_TRUE(CustomerFeedback::isAllowed());
        });
    }
}

// The system picks the build: AlmaLinux gets the RPM builds with their yum repositories; a container
// keeps the container component and its place in the types.
TEST_F(BuildLoaderTest, TheRunningSystemPicksTheBuildAndTheComponents)
{
    onSystem(ALMA, [&] {
        Flow flow(mirror->path());
        flow.load({"zanth-10.1"});
        EXPECT_EQ(flow.component("zanth/core")->getBuild()->getConfig(), "zanth/builds/10.1.0/almalinux-8-x86_64.inf3");
        EXPECT_EQ(flow.component("zanth/backup")->getBuild()->getConfig(),
                  "addons/backup/builds/1.2.0/almalinux-8-x86_64.inf3");
        std::vector<int> kinds;
        for (const auto& s : flow.sources.getSources())
            kinds.push_back(std::dynamic_pointer_cast<SourceZanth>(s)->getKind());
        EXPECT_EQ(kinds, (std::vector<int>{'b', 't', 'x', 'b', 't', 'x'}));
        EXPECT_EQ(flow.sources.getOsTemplateName(), "-almalinux-8-x86_64");
        EXPECT_EQ(flow.component("zanth/core")->getBuild()->getOsReleaseName(), "");
    });
    onSystem(DEBIAN_QZ, [&] {
        Flow flow(mirror->path());
        flow.load({"zanth-10.1"});
        EXPECT_EQ(flow.roots(), (names_t{"zanth/core", "zanth/qz-agent", "zanth/support-tools", "zanth/tools",
                                         "zanth/failing", "zanth/prep-wait", "zanth/postcheck-fail",
                                         "zanth/precheck-fail", "zanth/backup", "zanth/migrator", "[services]"}));
        EXPECT_EQ(flow.component("zanth/qz-agent")->yxtemplates, names_t{"zanth-qz"});
        EXPECT_EQ(flow.types("zanth")[1], "full 0 core web mail mail-lite qz-agent");
    });
}

// A type whose components the environment all removed is skipped and does not count as the file's
// "Full"; in a container the file's "Full" stands alone. A comma list names one type several ways.
TEST_F(BuildLoaderTest, TypesFollowTheEnvironment)
{
    onSystem(DEBIAN, [&] {
        LogFile log(2);
        Flow flow(special->path());
        flow.load({"zanth-10.1"});
        EXPECT_EQ(flow.types("zanth"), (names_t{"Typical|Standard 0 core web", "Full 1", "Custom 2"}));
        EXPECT_TRUE(log.has("Skip installation type 'Full': no component left for this environment"));
        EXPECT_EQ(InstTypes::getType(flow.manager.instTypes.getProduct("zanth"), "standard").description, "Typical");
    });
    onSystem(DEBIAN_QZ, [&] {
        Flow flow(special->path());
        flow.load({"zanth-10.1"});
        EXPECT_EQ(flow.types("zanth"),
                  (names_t{"Typical|Standard 0 core web qz-agent", "Full 0 qz-agent", "Custom 2"}));
    });
    // An upgrade of an installed release registers no types.
    onSystem(DEBIAN, [&] {
        Flow flow(special->path());
        addInstalledPackage(flow.repository, "zanth-core", "10.0.0-1");
        flow.load({"zanth-10.1"});
        EXPECT_EQ(flow.catalogue->findRelease("zanth-10.1")->get_update_mode(), Release::MINOR_UPGRADE);
        EXPECT_TRUE(flow.manager.instTypes.getProducts().empty());
    });
}

// An addon's component of a name the release has takes the release's component's place, in the
// group too; the hidden flag gives way to the run's setting; the release's feedback flag is taken.
TEST_F(BuildLoaderTest, AnAddonReplacesAComponentInPlace)
{
    for (const bool showHidden : {false, true}) {
        SCOPED_TRACE(showHidden);
        onSystem(DEBIAN, [&] {
            Options::instance().showHiddenComponents = showHidden;
            LogFile log(2);
            Flow flow(special->path());
            flow.load({"zanth-10.1"}, true, true);
            // "folioforge" of the panel stays out when Folioforge is selected.
            EXPECT_EQ(flow.roots(), (names_t{"zanth/core", "zanth/support-tools", "zanth/backup", "[services]"}));
            const auto web = flow.component("zanth/web");
            EXPECT_EQ(web->getDescription(), "Web server of the backup");
            EXPECT_EQ(web->getBuild()->getConfig(), "addons/backup/builds/1.2.0/debian-12-x86_64.inf3");
            EXPECT_EQ(boost::dynamic_pointer_cast<KwSubGroup>(flow.manager.roots.back())->children.at(0), web);
            EXPECT_TRUE(log.has("Overwrite component web with component from <include> or addon at " +
                                flow.guards[1]->getLocalFile()));
            EXPECT_EQ(flow.component("zanth/support-tools")->hidden, !showHidden);
            EXPECT_FALSE(CustomerFeedback::isAllowed());

            const auto& actions = flow.component("zanth/core")->bootstrapper_actions;
            ASSERT_EQ(actions.size(), 1u);
            EXPECT_EQ(actions[0]->parent_name, "core");
            EXPECT_EQ(actions[0]->sequence_order, 2);
            EXPECT_EQ(dynamic_cast<const Bootstrapper::Action_ExecCmd&>(*actions[0]).exec_cmd, "echo ready");
        });
    }
}

// An addon that fits no selected release: the visit line only, no guard, nothing fetched.
TEST_F(BuildLoaderTest, AnAddonFittingNoReleaseFetchesNothing)
{
    TempDir logs;
    LoopbackServer server = LoopbackServer::scripted(mirror->path(), logs / "requests.log");
    onSystem(DEBIAN, [&] {
        LogFile log(3);
        Flow flow(server.url());
        flow.load({"zanth-11.0-beta"});
        EXPECT_EQ(flow.roots(),
                  (names_t{"zanth/core", "zanth/support-tools", "zanth/tools", "zanth/failing", "zanth/prep-wait",
                           "zanth/postcheck-fail", "zanth/precheck-fail", "zanth/migrator", "[services]"}));
        EXPECT_EQ(flow.guards.size(), 2u);
        EXPECT_TRUE(log.has("DEBUG: BuildLoader: visit addon zanth-backup-1.2"));
    });
    std::map<std::string, int> builds;
    for (const std::string& target : loggedRequestValues(logs / "requests.log", "target"))
        if (target.find("/builds/") != std::string::npos)
            ++builds[target];
    // Each loaded file twice: loaded, then checked again when its guard goes.
    EXPECT_EQ(builds, (std::map<std::string, int>{{"/addons/migrator/builds/3.0.0/debian-12-x86_64.inf3", 2},
                                                  {"/zanth/builds/11.0.0/debian-12-x86_64.inf3", 2}}));
}

// A visit that fails becomes the failure of its release, with the error's parts and codes; the
// loader then goes without commit: the forest and the removers stay empty, what was loaded stays.
TEST_F(BuildLoaderTest, AFailedVisitNamesItsRelease)
{
    struct Case {
        const char* name;
        ForcedSystem system;
        bool special;
        names_t releases;
        std::tuple<int, int, int, int> codes;
        std::string text;  // the newest part; "@" stands for the mirror's directory
        std::string release;
        std::string logLine;
    } cases[] = {
        {"no build for the system",
         UBUNTU,
         false,
         {"zanth-10.1"},
         {2, 1, 1, 2},
         messages.get("err_rel_notsupp"),
         "zanth-10.1",
         "unable to find suitable to installation build from release zanth-10.1"},
        {"an include",
         DEBIAN,
         true,
         {"zanth-10.0"},
         {0, 0, 0, 0},
         "@/zanth/included.inf3  included components inside .build.inf3 temporary not supported",
         "zanth-10.0",
         ""},
        {"two template suffixes",
         DEBIAN,
         true,
         {"zanth-10.1", "folioforge-2.1"},
         {1, 1, 1, 2},
         "OS template name is already defined as -debian-12-x86_64 (try set name -elsewhere)",
         "folioforge-2.1",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = (c.special ? special : mirror)->path();
        onSystem(c.system, [&] {
            LogFile log(3);
            Flow flow(dir);
            const auto failure = thrown<BuildLoader::ErrLoadRelease>([&] { flow.load(c.releases, false); });
            ASSERT_TRUE(failure);
            const BuildLoader::ErrLoadRelease& e = *failure;
            EXPECT_EQ(codes(e), c.codes);
            std::string text = c.text;
            if (text[0] == '@')
                text = dir + text.substr(1);
            EXPECT_EQ(e.parts.back(), text);
            ASSERT_TRUE(e.release.lock());
            EXPECT_EQ(e.release.lock()->get_id(), c.release);
            EXPECT_TRUE(log.has("DEBUG: BuildLoader: release visit failed (throwing an exception)."));
            EXPECT_TRUE(log.has("Warning: BuildLoader finish with unsuccess."));
            if (!c.logLine.empty()) {
                EXPECT_TRUE(log.has(c.logLine));
            }
            EXPECT_TRUE(flow.manager.roots.empty());
            EXPECT_TRUE(flow.removers().empty());
        });
    }
}

// Without commit nothing reaches the forest, the removers or the feedback flag; types, sources,
// settings and guards stay.
TEST_F(BuildLoaderTest, ALoaderDestroyedWithoutCommitWarns)
{
    onSystem(DEBIAN, [&] {
        CustomerFeedback::setAllowed(false);
        LogFile log(2);
        Flow flow(mirror->path());
        flow.load({"zanth-10.1"}, false);
        EXPECT_TRUE(log.has("Warning: BuildLoader finish with unsuccess."));
        EXPECT_TRUE(flow.manager.roots.empty());
        EXPECT_TRUE(flow.removers().empty());
        EXPECT_FALSE(CustomerFeedback::isAllowed());
        EXPECT_EQ(flow.types("zanth").size(), 4u);
        EXPECT_EQ(flow.sources.getSources().size(), 4u);
        EXPECT_EQ(flow.params.getParams().size(), 1u);
        EXPECT_EQ(flow.guards.size(), 3u);
    });
    // Committed without a selected release.
    onSystem(DEBIAN, [&] {
        LogFile log(0);
        Flow flow(mirror->path());
        flow.load({});
        EXPECT_TRUE(log.has("Warning: no any release selected!"));
        EXPECT_FALSE(log.has("Warning: BuildLoader finish with unsuccess."));
    });
}
