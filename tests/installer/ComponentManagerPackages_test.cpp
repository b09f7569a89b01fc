#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Repository.h"
#include "installer/Build.h"
#include "installer/BuildInfFile.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/ProductsProgress.h"
#include "installer/Release.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LoadedBuild.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

// What this machine's dpkg says: the real judge of the versions the cases use.
std::string dpkgVersion(const std::string& name)
{
    return shellOutput("dpkg-query -W -f='${Version}' " + name);
}

bool dpkgCompares(const std::string& a, const std::string& relation, const std::string& b)
{
    return shellOutput("dpkg --compare-versions '" + a + "' " + relation + " '" + b + "' && echo yes") == "yes\n";
}

void inChild(const std::function<void()>& checks)
{
    const ChildResult result = runChecksInChild(checks, privateProgressOptions());
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

// The packages as "type name-version[.arch]", in order.
std::vector<std::string> listed(const cpkgs_t& packages)
{
    std::vector<std::string> texts;
    for (const Package* package : packages)
        texts.push_back(std::string(1, package->getType()) + " " + printed(*package));
    return texts;
}

// A component of the build to install, its key package offered in the repository, and its own packages.
boost::shared_ptr<KwComponent> toInstall(Repository& repository, const boost::shared_ptr<Build>& build,
                                         const std::string& name, const cpkgs_t& packages = {})
{
    const boost::shared_ptr<KwComponent> component = componentInMode(repository, build, name, KwComponent::INSTALL);
    component->packages.insert(component->packages.end(), packages.begin(), packages.end());
    component->requestInstall();
    return component;
}

const std::string& keyOf(const boost::shared_ptr<KwComponent>& component)
{
    return component->keypackages.front().keypackages.front();
}

const char* const SAME_OR_NEWER = " - same or newer version of this package is already installed (in system ";
const char* const OTHER_VENDOR = " - package is shipped by another vendor (in system ";

}  // namespace

TEST(ComponentManagerPackagesTest, BuildPackagesAgainstTheInstalledOnes)
{
    const std::string installed = dpkgVersion("base-files");
    ASSERT_FALSE(installed.empty());
    const std::string newer = installed + "+kw1";
    const std::string older = "0.1";
    ASSERT_TRUE(dpkgCompares(newer, "gt", installed));
    ASSERT_TRUE(dpkgCompares(older, "lt", installed));
    inChild([&] {
        SystemRepository system;
        const Package* inst = system.repository.getInstalledPackage("base-files");
        ASSERT_NE(inst, nullptr);
        const std::string inSystem = printed(*inst);

        struct Case {
            std::string version;
            Package::type_t type;
            bool added;
            std::string skipped;  // the reason logged
        };
        for (const Case& c : std::vector<Case>{{installed, Package::TYPE_BUILD, false, SAME_OR_NEWER},
                                               {newer, Package::TYPE_BUILD, true, ""},
                                               {older, Package::TYPE_BUILD, false, SAME_OR_NEWER},
                                               {older, Package::TYPE_SYSTEM, false, SAME_OR_NEWER},
                                               {newer, Package::TYPE_SYSTEM, false, OTHER_VENDOR}}) {
            Repository repository(system.repository);
            const boost::shared_ptr<Build> build = makeProductBuild(repository);
            Package* offered = offerPackage(repository, "base-files", c.version);
            offered->setType(c.type);
            const boost::shared_ptr<KwComponent> web = toInstall(repository, build, "web", {offered});
            const boost::shared_ptr<KwComponent> mail = toInstall(repository, build, "mail", {offered});
            ComponentManager manager;
            manager.roots = {web, mail};

            LogFile log;
            cpkgs_t out;
            manager.getPackagesToInstall(out, &repository, nullptr);
            const std::string label = c.version + " " + c.type;
            // Each component's key package after its own packages; base-files once at most.
            std::vector<std::string> expected;
            if (c.added)
                expected.push_back("b base-files-" + newer + ".all");
            expected.push_back("b " + keyOf(web) + "-1.0.all");
            expected.push_back("b " + keyOf(mail) + "-1.0.all");
            EXPECT_EQ(listed(out), expected) << label;
            if (c.added) {
                EXPECT_EQ(out.front(), offered) << label;
                EXPECT_TRUE(log.has("  Scheduling the following package for installation: base-files-" + newer));
            } else {
                for (const char* component : {"web", "mail"})
                    EXPECT_TRUE(log.has("  skip package '" + printed(*offered) + "' from component " + component +
                                        c.skipped + inSystem + ")"))
                        << label;
            }
        }
    });
}

TEST(ComponentManagerPackagesTest, RemoversOfSelectedAndRemovedComponents)
{
    const std::string unknown = "kitwright-test-never-installed";
    ASSERT_NE(std::system(("dpkg-query -W " + unknown + " >/dev/null 2>&1").c_str()), 0);
    inChild([&] {
        SystemRepository system;
        Repository& repository = system.repository;
        const Package* baseFiles = repository.getInstalledPackage("base-files");
        ASSERT_NE(baseFiles, nullptr);
        const std::string arch = baseFiles->getArch().c_str();
        ASSERT_EQ(arch, shellOutput("dpkg-query -W -f='${Architecture}' base-files"));
        const boost::shared_ptr<Build> build = makeProductBuild(repository);

        {
            // "rmpackages": a remover for the installed name only, made without an architecture.
            const boost::shared_ptr<KwComponent> web = toInstall(repository, build, "web");
            web->rmpackages = {unknown, "base-files"};
            ComponentManager manager;
            manager.roots = {web};
            LogFile log;
            cpkgs_t out;
            manager.getPackagesToInstall(out, &repository, nullptr);
            EXPECT_EQ(listed(out),
                      (std::vector<std::string>{"d dummy_obsoleter_base-files-0.0", "b " + keyOf(web) + "-1.0.all"}));
            EXPECT_TRUE(isRemoverFor({"base-files", ""}, out[0]));
            EXPECT_TRUE(log.has("Get packages for removal from selected component web (via <rmpackages>)"));
            EXPECT_TRUE(log.has("  Scheduling the following package for remove: base-files"));
        }
        {
            // Installed components to remove: one remover per name and architecture, also when two
            // components list the package; each also has its installed key package as its own. In a
            // radio group whose member to install replaces it, none.
            const boost::shared_ptr<KwComponent> old = componentInMode(repository, build, "old", KwComponent::UP2DATE);
            old->packages.push_back(baseFiles);
            old->requestRemove();
            const boost::shared_ptr<KwComponent> twin =
                componentInMode(repository, build, "twin", KwComponent::UP2DATE);
            twin->packages.push_back(baseFiles);
            twin->requestRemove();
            ComponentManager manager;
            manager.roots = {old, twin};
            LogFile log;
            cpkgs_t out;
            manager.getPackagesToInstall(out, &repository, nullptr);
            ASSERT_EQ(listed(out), (std::vector<std::string>{"d dummy_obsoleter_" + keyOf(old) + "_all-0.0.all",
                                                             "d dummy_obsoleter_base-files_" + arch + "-0.0." + arch,
                                                             "d dummy_obsoleter_" + keyOf(twin) + "_all-0.0.all"}));
            EXPECT_TRUE(isRemoverFor({"base-files", arch}, out[1]));
            EXPECT_TRUE(log.has("  Scheduling the following package for remove: base-files:" + arch));

            const boost::shared_ptr<KwComponent> replacing = toInstall(repository, build, "new");
            manager.roots = {makeRadioGroup(build, "flavour", {old, replacing})};
            cpkgs_t replaced;
            manager.getPackagesToInstall(replaced, &repository, nullptr);
            EXPECT_EQ(listed(replaced), (std::vector<std::string>{"b " + keyOf(replacing) + "-1.0.all"}));
            EXPECT_TRUE(
                log.has("  Skip packages of component old as it is part of radio group and packages should "
                        "be removed via package dependencies (of packages from component new)"));

            // Without a member to install, the group's member is removed as any other.
            replacing->requestLeave();
            cpkgs_t alone;
            manager.getPackagesToInstall(alone, &repository, nullptr);
            EXPECT_EQ(alone, cpkgs_t(out.begin(), out.begin() + 2));
        }
    });
}

TEST(ComponentManagerPackagesTest, KeyPackagesFromTheFirstMatchingSectionWithKeyProvides)
{
    const std::string capability =
        shellOutput("dpkg-query -W -f='${Provides}' base-files | cut -d' ' -f1 | tr -d '\\n'");
    ASSERT_FALSE(capability.empty());
    const std::string newer = dpkgVersion("base-files") + "+kw1";
    inChild([&] {
        SystemRepository system;
        const std::string inSystem = printed(*system.repository.getInstalledPackage("base-files"));
        // The section of the capability holds an installed package with a newer build package, which
        // makes the component one to upgrade.
        const BuildInfFile::keypackages_t provided = keySection({"kitwright-test-upgraded"}, {}, {capability});
        const BuildInfFile::keypackages_t first = keySection({"kitwright-test-first"});
        struct Case {
            std::string label;
            std::vector<BuildInfFile::keypackages_t> sections;
            bool offerNewer;  // a newer build package of base-files in the repository
            std::vector<std::string> listed;
            std::string logged;
        };
        const std::vector<Case> cases = {
            {"provider with a newer build package",
             {first, provided},
             true,
             {"b kitwright-test-upgraded-2.0.all", "b base-files-" + newer + ".all"},
             "  add package from keypackage to install list: base-files-" + newer},
            {"provider without one",
             {first, provided},
             false,
             {"b kitwright-test-upgraded-2.0.all"},
             "  skip keypackage '" + inSystem + "' from component web" + OTHER_VENDOR + inSystem + ")"},
            {"nothing provides the capability: the first section",
             {first, keySection({"kitwright-test-upgraded"}, {}, {"kitwright-test-no-such-capability"})},
             true,
             {"b kitwright-test-first-1.0.all"},
             "  add package from keypackage to install list: kitwright-test-first-1.0"},
            {"a key package without any candidate",
             {keySection({"kitwright-test-nowhere"}), first},
             true,
             {},
             "Warning: key package kitwright-test-nowhere is not available"},
        };
        for (const Case& c : cases) {
            Repository repository(system.repository);
            const boost::shared_ptr<Build> build = makeProductBuild(repository);
            offerPackage(repository, "kitwright-test-first", "1.0");
            addInstalledPackage(repository, "kitwright-test-upgraded", "1.0");
            offerPackage(repository, "kitwright-test-upgraded", "2.0");
            if (c.offerNewer)
                offerPackage(repository, "base-files", newer);
            const boost::shared_ptr<KwComponent> web = makeComponent(build, "web", c.sections);
            web->checkInstalled(&repository, nullptr);
            web->requestInstall();
            ASSERT_TRUE(web->isToInstall()) << c.label;
            ComponentManager manager;
            manager.roots = {web};
            LogFile log;
            cpkgs_t out;
            manager.getPackagesToInstall(out, &repository, nullptr);
            EXPECT_EQ(listed(out), c.listed) << c.label;
            EXPECT_TRUE(log.has(c.logged)) << c.label;
        }
    });
}

TEST(ComponentManagerPackagesTest, AConfiguratorOffersKeyPackages)
{
    Repository repository;
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    const boost::shared_ptr<KwComponent> web = toInstall(repository, build, "web");
    web->keypackages.front().keypackages.push_back("kitwright-test-from-the-system");
    DebPackage offered("kitwright-test-from-the-system", "2.0");
    offered.setType(Package::TYPE_SYSTEM);
    ListConfigurator configurator({&offered});
    ComponentManager manager;
    manager.roots = {web};
    cpkgs_t out;
    manager.getPackagesToInstall(out, &repository, &configurator);
    EXPECT_EQ(listed(out),
              (std::vector<std::string>{"b " + keyOf(web) + "-1.0.all", "u kitwright-test-from-the-system-2.0"}));
    EXPECT_EQ(out[1], &offered);
}

TEST(ComponentManagerPackagesTest, HeadersThatDoNotMatchTheBuildFile)
{
    Repository repository;
    const boost::shared_ptr<Build> build = makeProductBuild(repository);
    const Package* listedBefore = offerPackage(repository, "kitwright-test-a", "1.0");
    DebPackage missing("kitwright-test-missing", "1.0");
    const boost::shared_ptr<KwComponent> web = toInstall(repository, build, "web", {listedBefore, &missing});
    ComponentManager manager;
    manager.roots = {web};
    LogFile log;
    cpkgs_t out;
    const error e = caught([&] { manager.getPackagesToInstall(out, &repository, nullptr); });
    EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
    EXPECT_EQ(e.getText(),
              "The Zanth Installer's configuration files .inf3 and .hdr.gz contain lists of packages that do not "
              "match.\n");
    EXPECT_TRUE(log.has("Package kitwright-test-missing-1.0 from inf3 file not found in build headers (hdr.gz) file."));
    EXPECT_EQ(out, cpkgs_t{listedBefore});

    const error null = caught([&] { manager.getPackagesToInstall(out, nullptr, nullptr); });
    EXPECT_NE(null.getText().find("Try of use NULL pointer: "), std::string::npos);
}

TEST(ComponentManagerPackagesTest, AdditionalPackagesCarryNoComponent)
{
    Repository repository;
    addInstalledPackage(repository, "kitwright-test-old", "1.0");
    addInstalledPackage(repository, "kitwright-test-vendor", "1.0");
    const Package* upgrade = offerPackage(repository, "kitwright-test-old", "2.0");
    Package* vendor = offerPackage(repository, "kitwright-test-vendor", "2.0");
    vendor->setType(Package::TYPE_SYSTEM);
    const Package* installedRemover = repository.addRemoverFor("kitwright-test-old", "");
    const Package* absentRemover = repository.addRemoverFor("kitwright-test-absent", "");
    ComponentManager manager;
    manager.additionalPackages = {installedRemover, vendor, absentRemover};
    manager.additionalPackagesForUpgrade = {upgrade};
    LogFile log;
    cpkgs_t out;
    manager.getPackagesToInstall(out, &repository, nullptr);
    EXPECT_EQ(out, (cpkgs_t{installedRemover, upgrade}));
    EXPECT_TRUE(log.has("  skip package 'kitwright-test-vendor-2.0.all' from component <unknown>" +
                        std::string(OTHER_VENDOR) + "kitwright-test-vendor-1.0.all)"));
    EXPECT_TRUE(
        log.has("Following packages will be installed: dummy_obsoleter_kitwright-test-old-0.0 "
                "kitwright-test-old-2.0.all "));
    EXPECT_TRUE(log.has(" ----------------"));
}

TEST(ComponentManagerPackagesTest, PackagesAreRegisteredForTheComponentsRelease)
{
    const std::string newer = dpkgVersion("base-files") + "+kw1";
    inChild([&] {
        SystemRepository system;
        Repository& repository = system.repository;
        const boost::shared_ptr<Build> build = makeProductBuild(repository);
        const Package* offered = offerPackage(repository, "base-files", newer);
        const boost::shared_ptr<KwComponent> web = toInstall(repository, build, "web", {offered});
        ComponentManager manager;
        manager.roots = {web};
        // The fixture's release has no name, which the log writes as "~empty".
        const std::string release = build->getParent()->get_name().empty() ? "~empty" : build->getParent()->get_name();
        const std::string line = "ProductsProgress::add_product_package: '" + release + "': base-files";
        {
            // None alive: nothing is registered, and nothing fails.
            LogFile log;
            cpkgs_t out;
            manager.getPackagesToInstall(out, &repository, nullptr);
            EXPECT_EQ(out.size(), 2u);
            EXPECT_FALSE(log.has(line));
        }
        ProductsProgress progress;
        LogFile log;
        cpkgs_t out;
        manager.getPackagesToInstall(out, &repository, nullptr);
        EXPECT_TRUE(log.has(line));
        EXPECT_TRUE(log.has("ProductsProgress::add_product_package: '" + release + "': " + keyOf(web)));
        std::vector<ProductsProgress::ReleaseProgress> releases;
        progress.get_progress(releases);
        ASSERT_EQ(releases.size(), 1u);
        EXPECT_EQ(releases[0].release, build->getParent());
    });
}

TEST(ComponentManagerPackagesTest, BootstrapperPackagesOncePerProduct)
{
    Repository repository;
    // Each product's build file names a build-level package.
    const auto productBuild = [&](const std::string& product, const std::string& package) {
        const boost::shared_ptr<Build> build = makeProductBuild(repository, product);
        TempDir fileDir;
        build->setBuildFile(loadedBuild(fileDir, "build_dir=\"d\"")->getBuildFile());
        build->getBuildFile()->bootstrapper_packages = {offerPackage(repository, package, "1.0")};
        return build;
    };
    const boost::shared_ptr<Build> zanth = productBuild("zanth", "kitwright-test-zanth-boot");
    const boost::shared_ptr<Build> other = productBuild("other", "kitwright-test-other-boot");
    const boost::shared_ptr<KwComponent> base = toInstall(repository, zanth, "base");
    const boost::shared_ptr<KwComponent> web = toInstall(repository, zanth, "web");
    web->bootstrapper_packages = {offerPackage(repository, "kitwright-test-web-boot", "1.0")};
    const boost::shared_ptr<KwComponent> left = componentInMode(repository, zanth, "left", KwComponent::INSTALL);
    left->bootstrapper_packages = {offerPackage(repository, "kitwright-test-left-boot", "1.0")};
    const boost::shared_ptr<KwComponent> db = toInstall(repository, other, "db");
    ComponentManager manager;
    manager.roots = {web, left, base, db};

    LogFile log;
    cpkgs_t out;
    manager.getBootstrapperPackagesToInstall(out, &repository);
    EXPECT_EQ(listed(out),
              (std::vector<std::string>{"b kitwright-test-web-boot-1.0.all", "b kitwright-test-zanth-boot-1.0.all",
                                        "b kitwright-test-other-boot-1.0.all"}));
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Get bootstrapper packages to installation from selected product with id zanth"),
              1);
    EXPECT_TRUE(log.has("Get bootstrapper packages to installation from selected product with id other"));
    EXPECT_TRUE(
        log.has("Following bootstrapper packages will be installed: kitwright-test-web-boot-1.0.all "
                "kitwright-test-zanth-boot-1.0.all kitwright-test-other-boot-1.0.all "));
    EXPECT_TRUE(log.has(" ---------------- "));
}

TEST_F(ComponentForestTest, NeedAlsoInstallNamesTheComponentsOfBuildPackagesNotSelected)
{
    const boost::shared_ptr<KwComponent> web = component("web");
    web->requestInstall();
    const boost::shared_ptr<KwComponent> mail = component("mail");
    const boost::shared_ptr<KwComponent> dns = component("dns");
    const boost::shared_ptr<KwComponent> spam = component("spam");
    const Package* shared = offerPackage(repository, "kitwright-test-shared", "1.0");
    const Package* webOwn = offerPackage(repository, "kitwright-test-web", "1.0");
    web->packages.push_back(webOwn);
    mail->packages.push_back(shared);
    spam->packages.push_back(shared);  // visited last: it is named
    Package* fromSystem = offerPackage(repository, keyOf(dns), "2.0");
    fromSystem->setType(Package::TYPE_SYSTEM);
    manager.roots = {web, mail, makeRadioGroup(build, "extras", {dns, spam})};

    {
        // Only packages of selected components: nothing, but the header line.
        LogFile log;
        EXPECT_TRUE(manager.needAlsoInstall({webOwn, repository.findNewest(keyOf(web))}).empty());
        EXPECT_TRUE(
            log.has("The following packages from not selected components will be installed because they "
                    "are required by other components' packages you selected for installation: "));
    }
    LogFile log;
    const cpkgs_t resolved = {shared, webOwn, repository.findNewest(keyOf(mail)), fromSystem, shared};
    EXPECT_EQ(manager.needAlsoInstall(resolved), (std::vector<std::string>{"mail", "spam"}));
    EXPECT_TRUE(
        log.has("The following packages from not selected components will be installed because they are "
                "required by other components' packages you selected for installation:  "
                "'kitwright-test-shared' '" +
                keyOf(mail) + "' 'kitwright-test-shared'"));
}

TEST_F(ComponentForestTest, NeedAlsoRemoveNamesTheInstalledComponentsWhoseKeyPackagesGo)
{
    const boost::shared_ptr<KwComponent> web = component("web", KwComponent::UP2DATE);
    const boost::shared_ptr<KwComponent> mail = component("mail", KwComponent::UPGRADE);
    mail->deny_implicit_removal = true;
    const boost::shared_ptr<KwComponent> dns = component("dns", KwComponent::UP2DATE);
    dns->requestRemove();  // its removal is no surprise
    const boost::shared_ptr<KwComponent> spam = component("spam", KwComponent::INSTALL);
    manager.roots = {web, mail, dns, spam};
    // The remover obsoletes what the repository has of web's key; the second dummy names mail's key
    // in its own obsoletes only.
    const Package* removesWeb = repository.addRemoverFor(keyOf(web), "");
    DebPackage namesMail("kitwright-test-dummy", "1.0");
    namesMail.setType(Package::TYPE_DUMMY);
    namesMail.addObsolete("kitwright-test-unrelated");
    namesMail.addObsolete(keyOf(mail).c_str());
    const cpkgs_t resolved = {removesWeb, &namesMail, repository.addRemoverFor(keyOf(dns), ""),
                              repository.addRemoverFor(keyOf(spam), ""), repository.findNewest(keyOf(mail))};

    LogFile log;
    const std::vector<comp_cptr_t> all = manager.needAlsoRemove(resolved, &repository);
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(std::set<comp_cptr_t>(all.begin(), all.end()), (std::set<comp_cptr_t>{web, mail}));
    bool denied = false;
    EXPECT_EQ(manager.needAlsoRemove(resolved, &repository, &denied), (std::vector<comp_cptr_t>{mail}));
    EXPECT_TRUE(denied);
    EXPECT_TRUE(
        log.has("The following components should be removed due to packages dependencies: "
                "mail component (mail)"));

    // Without a component that denies, all hits, and *denied becomes false.
    mail->deny_implicit_removal = false;
    denied = true;
    EXPECT_EQ(manager.needAlsoRemove({removesWeb}, &repository, &denied), (std::vector<comp_cptr_t>{web}));
    EXPECT_FALSE(denied);
    EXPECT_TRUE(
        log.has("The following components should be removed due to packages dependencies: "
                "web component (web)"));
}
