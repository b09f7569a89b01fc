// The selector words of the command syntax, interpreted against the shared test mirror's catalogue:
// the commands, release selectors and component selections they make, with nothing of it installed
// and with the mirror's key packages installed.
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileFetcher.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/format_message.h"
#include "installer/BuildManager.h"
#include "installer/Options.h"
#include "installer/Reporter.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/LogFile.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/Tool.h"
#include "tests/support/thrown.h"

namespace {

std::string msg(const char* key)
{
    return Messages().get(key);
}

// What the step stored, one field per line.
std::string describe(const Options& o)
{
    std::ostringstream out;
    out << "command=" << o.command << " product=" << o.selectedProduct << " release=" << o.selectedReleaseId
        << " tiers=";
    for (const std::string& tier : o.releaseTiers)
        out << tier << ",";
    out << (o.releaseTiersDefault ? " default" : "") << (o.allVersions ? " all" : "") << "\n";
    for (const ReleaseSelector& selector : o.releaseSelectors)
        out << "selector " << selector.getKind() << " " << selector.getProductId() << " "
            << (selector.getKind() == ReleaseSelector::ID ? selector.getReleaseId() : "") << "\n";
    for (const auto& pair : o.componentSelections) {
        out << "selection " << pair.first << " mode=" << pair.second.mode << " type=" << pair.second.installationType
            << " install=";
        for (const std::string& name : pair.second.installComponents)
            out << name << ",";
        out << " remove=";
        for (const std::string& name : pair.second.removeComponents)
            out << name << ",";
        out << " classes=";
        for (const std::string& name : pair.second.componentClasses)
            out << name << ",";
        out << "\n";
    }
    for (const std::string& id : o.selectedReleaseIds)
        out << "selected " << id << "\n";
    return out.str();
}

class OptionsSelectors : public ::testing::Test {
protected:
    // The step's record, or the text of the error it raised, for the command line after "kw".
    // With `log`, the step's own log lines follow.
    std::string interpret(std::vector<std::string> args, bool log = false)
    {
        args.insert(args.begin(), "kw");
        const ChildResult run = runInChild(
            [&] {
                std::vector<char*> argv;
                for (std::string& arg : args)
                    argv.push_back(&arg[0]);
                argv.push_back(nullptr);
                const LogFile log_file;
                try {
                    Options o(static_cast<int>(args.size()), argv.data());
                    FileFetcher fetcher(SourceUrl(mirror.path() + "/"), mirror.path() + "/target");
                    BuildManager catalogue(fetcher, "");
                    Repository nothing_installed;
                    catalogue.calculateReleasesState(nothing_installed);
                    o.interpretSelectors(catalogue);
                    std::cout << describe(o) << "prefix=" << Reporter::statusPrefix << "\n";
                } catch (const error& e) {
                    std::cout << "error " << e.e_class << ": " << e.getText();
                }
                for (const std::string& line : log_file.lines())
                    if (log && line.compare(0, 30, "Options::interpretSelectors():") == 0)
                        std::cout << line << "\n";
                return 0;
            },
            home.options);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        return run.out;
    }

    // Under /var/tmp, where a child over an overlay of the system sees it.
    static const GeneratedMirror& mirrorOnce()
    {
        static const GeneratedMirror generated({}, "/var/tmp");
        return generated;
    }

    const GeneratedMirror& mirror = mirrorOnce();
    PrivateHome home;
};

TEST_F(OptionsSelectors, TheListStep)
{
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"list"}, "command=5 product= release= tiers=stable,release,current, default\nprefix=\n"},
        {{"list", "zanth"},
         "command=4 product=zanth release= tiers=stable,release,current, default\nselector 1 zanth \nprefix=\n"},
        {{"list", "testing"}, "command=4 product=zanth release= tiers=testing,\nselector 1 zanth \nprefix=\n"},
        {{"list", "all"}, "command=4 product=zanth release= tiers= all\nselector 1 zanth \nprefix=\n"},
        {{"list", "zanth", "10.1.0", "--components"},
         "command=7 product=zanth release=zanth-10.1 tiers=stable,release,current, default\n"
         "selector 2 zanth zanth-10.1\nselected zanth-10.1\nprefix=\n"},
        {{"list", "zanth-11.0-beta"},
         "command=4 product= release=zanth-11.0-beta tiers=stable,release,current, default\n"
         "selector 2  zanth-11.0-beta\nselected zanth-11.0-beta\nprefix=\n"},
        {{"list", "10.1.0"}, "error 2: " + format_message(msg("err_opt_version_requires_prod_id"), "10.1.0") + "\n"},
        {{"list", "--sources"}, "error 2: " + msg("err_opt_list_requires_exact_release") + "\n"},
        {{"list", "nothing"},
         "error 2: " + format_message(msg("err_opt_selector_no_match") + msg("err_opt_selector_use_list"), "nothing") +
             "\n"},
        {{"list", "zanth", "folioforge"},
         "error 2: " +
             format_message(msg("err_opt_selector_multiple_prod_ids") + msg("err_opt_selector_only_one"),
                            "zanth, folioforge") +
             "\n"},
        {{"list", "zanth-10.1", "11.0.0"},
         "error 2: " +
             format_message(msg("err_opt_selector_rel_id_and_version") + msg("err_opt_selector_only_one"), "zanth-10.1",
                            "11.0.0") +
             "\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(interpret(c.args), c.expected) << c.args.back();
}

TEST_F(OptionsSelectors, TheInstallingSteps)
{
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"install"},
         "command=10 product=zanth release= tiers=stable,release,current, default\nselector 0 zanth \n"
         "selection zanth mode=4 type=Custom install= remove= classes=\nprefix=install_\n"},
        {{"install", "folioforge", "--components", "a,b", "--components", "c"},
         "command=10 product=folioforge release= tiers=stable,release,current, default\nselector 0 folioforge \n"
         "selection folioforge mode=5 type= install=a,b,c, remove= classes=\nprefix=install_\n"},
        {{"install", "zanth", "10.0.0", "--preset", "Full", "--with", "x", "--without", "y,z"},
         "command=10 product=zanth release=zanth-10.0 tiers=stable,release,current, default\n"
         "selector 2 zanth zanth-10.0\nselection zanth mode=4 type=Full install=x, remove=y,z, classes=\n"
         "selected zanth-10.0\nprefix=install_\n"},
        // Nothing installed: upgrade lists the products, or with a tier upgrades to its latest release.
        {{"upgrade"}, "command=5 product= release= tiers=stable,release,current, default\nprefix=\n"},
        {{"upgrade", "stable"},
         "command=10 product=zanth release= tiers=stable,\nselector 0 zanth \n"
         "selection zanth mode=3 type= install= remove= classes=\nprefix=\n"},
        {{"upgrade", "stable", "--dry-run"},
         "command=9 product=zanth release= tiers=stable,\nselector 0 zanth \n"
         "selection zanth mode=3 type= install= remove= classes=\nprefix=\n"},
        {{"upgrade", "folioforge-2.1"},
         "command=10 product= release=folioforge-2.1 tiers=stable,release,current, default\n"
         "selector 2 folioforge folioforge-2.1\nselection folioforge mode=3 type= install= remove= classes=\n"
         "selected folioforge-2.1\nprefix=\n"},
        {{"update"}, "error 2: " + msg("err_opt_no_installed_prods") + "\n"},
        {{"update", "folioforge", "--panel-only"},
         "error 2: " + format_message(msg("err_opt_panel_only_requires_zanth"), "zanth", "folioforge") + "\n"},
        {{"update", "zanth", "--panel-only"},
         "command=10 product=zanth release= tiers=stable,release,current, default\nselector 1 zanth \n"
         "selection zanth mode=3 type= install= remove= classes=aspect=panel,\nprefix=\n"},
        {{"remove", "zanth-10.1", "--components", "a"},
         "error 2: " + format_message(msg("err_opt_only_prod_id_selector"), "remove") + "\n"},
        {{"add", "testing", "--components", "a"},
         "error 2: " + format_message(msg("err_opt_only_prod_id_selector"), "add") + "\n"},
        {{"remove", "--components", "a"}, "error 2: " + msg("err_opt_no_installed_prods") + "\n"},
        {{"remove", "zanth", "--components", "a"},
         "command=10 product=zanth release= tiers=stable,release,current, default\nselector 1 zanth \n"
         "selection zanth mode=5 type= install= remove=a, classes=\nprefix=install_\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(interpret(c.args), c.expected) << c.args.front() << " " << c.args.at(1);
}

TEST_F(OptionsSelectors, TheStepLogsWhatTheCatalogueOffersAndHowTheWordsWereTaken)
{
    const std::string prefix = "Options::interpretSelectors(): ";
    EXPECT_EQ(interpret({"list", "zanth", "testing"}, true),
              "command=4 product=zanth release= tiers=testing,\nselector 1 zanth \nprefix=\n" + prefix +
                  "valid product ids: 'zanth' 'folioforge'\n" + prefix +
                  "valid tags (tiers): 'beta' 'testing' 'release' 'stable'\n" + prefix +
                  "valid release ids: 'zanth-11.0-beta' 'zanth-10.1' 'zanth-10.0' 'folioforge-2.1'\n" + prefix +
                  "valid versions: '11.0.0' '10.1.0' '10.0.0' '2.1.0'\n" + prefix +
                  "classified selectors: prod_ids = ( 'zanth'), tags = ( 'testing'), rel_ids = (), versions = ()\n" +
                  prefix + "prod_id_selector=zanth, rel_id_selector=, version_selector=\n");
}

// The package file of a product's key package in the repository of its release's Debian build.
std::string debianPackage(const GeneratedMirror& mirror, const std::string& release_id, const std::string& name)
{
    for (const auto& product : mirror.manifest().get_child("products"))
        for (const auto& release : product.second.get_child("releases"))
            if (release.second.get<std::string>("id") == release_id)
                for (const auto& build : release.second.get_child("builds"))
                    if (build.second.get<std::string>("family") == "deb")
                        for (const auto& package : build.second.get_child("packages"))
                            if (package.second.get<std::string>("name") == name)
                                return mirror.path() + "/" + build.second.get<std::string>("repository") + "/" +
                                       package.second.get<std::string>("file");
    throw std::runtime_error("no package " + name + " in " + release_id);
}

// The lines of kw_options_dump's record that the selectors decide, or its error line.
std::string selectorLines(const std::string& dump)
{
    std::istringstream in(dump);
    std::string kept;
    for (std::string line; std::getline(in, line);)
        for (const char* field :
             {"command=", "releaseSelectors=", "componentSelections[", "selectedProduct=", "error: "})
            if (line.compare(0, strlen(field), field) == 0)
                kept += line + "\n";
    return kept;
}

// With products installed: the mirror's key packages installed by dpkg in a child over an overlay of
// the system (its package database and files change only there), and the catalogue loaded by
// kw_options_dump (KW_DUMP_CATALOGUE) as the command-line flow loads it, the installed releases
// included. The child's home and /tmp are private.
TEST_F(OptionsSelectors, TheStepsWithInstalledProducts)
{
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    // Zanth 10.0 alone.
    const Case zanth[] = {
        {{"update"},
         "command=10\nreleaseSelectors=zanth:CURRENT\ncomponentSelections[zanth]=3||||\nselectedProduct=zanth\n"},
        {{"update", "folioforge"},
         "command=10\nreleaseSelectors=folioforge:CURRENT\ncomponentSelections[folioforge]=3||||\n"
         "selectedProduct=folioforge\n"},
        {{"upgrade"}, "command=4\nreleaseSelectors=zanth:CURRENT\nselectedProduct=\n"},
        {{"upgrade", "stable"},
         "command=10\nreleaseSelectors=zanth:LATEST\ncomponentSelections[zanth]=3||||\nselectedProduct=zanth\n"},
        {{"upgrade", "10.1.0"},
         "command=10\nreleaseSelectors=zanth:ID:zanth-10.1\ncomponentSelections[zanth]=3||||\nselectedProduct=zanth\n"},
        {{"add", "--components", "web,mail"},
         "command=10\nreleaseSelectors=zanth:CURRENT\ncomponentSelections[zanth]=5|web,mail|||\nselectedProduct="
         "zanth\n"},
        {{"remove", "--components", "mail"},
         "command=10\nreleaseSelectors=zanth:CURRENT\ncomponentSelections[zanth]=5||mail||\nselectedProduct=zanth\n"},
    };
    // Zanth 10.0 and Folioforge 2.1: the products in the catalogue's order.
    const Case both[] = {
        {{"update"},
         "command=10\nreleaseSelectors=zanth:CURRENT;folioforge:CURRENT\ncomponentSelections[folioforge]=3||||\n"
         "componentSelections[zanth]=3||||\nselectedProduct=\n"},
        {{"upgrade"}, "command=5\nreleaseSelectors=\nselectedProduct=\n"},
        {{"add", "--components", "web"},
         "error: user: " + format_message(msg("err_opt_need_prod_id"), "zanth, folioforge") + "\n"},
        {{"remove", "folioforge", "--components", "core"},
         "command=10\nreleaseSelectors=folioforge:CURRENT\ncomponentSelections[folioforge]=5||core||\n"
         "selectedProduct=folioforge\n"},
    };
    ChildOptions options = overlayRootOptions();
    options.tmpfs.push_back("/root");
    options.env = home.options.env;
    const std::string source = mirror.path() + "/";
    const ChildResult result = runChecksInChild(
        [&] {
            auto check = [&](const Case& c) {
                ChildOptions dump;
                dump.env = {{"KW_DUMP_CATALOGUE", source.c_str()}};
                const ChildResult run = runTool("kw_options_dump", c.args, dump);
                EXPECT_EQ(selectorLines(run.out), c.expected) << c.args.front() << " " << c.args.size() << run.err;
            };
            const std::string install = "dpkg -i " + debianPackage(mirror, "zanth-10.0", "zanth-core") + " " +
                                        debianPackage(mirror, "zanth-10.0", "zanth-base") + " >/dev/null 2>&1";
            ASSERT_EQ(shellOutput(install + " && dpkg-query -W zanth-core"), "zanth-core\t10.0.0-1\n");
            for (const Case& c : zanth)
                check(c);
            ASSERT_EQ(shellOutput("dpkg -i " + debianPackage(mirror, "folioforge-2.1", "folioforge-core") +
                                  " >/dev/null 2>&1 && dpkg-query -W folioforge-core"),
                      "folioforge-core\t2.1.0-1\n");
            for (const Case& c : both)
                check(c);
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
