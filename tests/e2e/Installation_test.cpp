// Installations from the generated mirror as an administrator runs them: the built program installs,
// adds, removes, upgrades and updates a product for real inside a throw-away overlay of / (the whole
// program runs in scripts/overlay-root.sh). dpkg-query, apt-cache, gpg, sha256sum over /etc/apt and
// python3's xml.etree on the action-time record judge each run.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/EndToEnd.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

const std::string ETC_APT = "/etc/apt";
const std::string KEYRING = "/etc/apt/keyrings/zanth.gpg";

class Installation : public EndToEndTest {
protected:
    // The product, its older and newer releases, and the package of the "tools" component, which
    // depends on the core's packages and changes its own version between the two releases.
    const std::string product = mirror.list("products", "id").front();
    const std::string older = mirror.release(product, 0).get<std::string>("id");
    const std::string newer = mirror.release(product, 1).get<std::string>("id");
    const std::string tools = mirror.component(product, "tools").get_child("packages").front().second.data();

    std::vector<std::string> packagesOf(const std::string& component) const
    {
        std::vector<std::string> names;
        for (const auto& item : mirror.component(product, component).get_child("packages"))
            names.push_back(item.second.data());
        return names;
    }

    std::string listFile() const { return ETC_APT + "/sources.list.d/" + product + ".list"; }

    // The apt line of the release's Debian build, relative to the product's directory.
    std::string aptSource(const std::string& release) const
    {
        for (const auto& item : mirror.owner(product).get_child("releases"))
            if (item.second.get<std::string>("id") == release)
                for (const auto& build : item.second.get_child("builds"))
                    if (build.second.get<std::string>("family") == "deb")
                        return build.second.get<std::string>("apt_source");
        return "";
    }

    // What /etc/apt holds after a run that installed the release: the product's list file with the
    // release's repository behind the product's keyring, the mirror's key in it, and nothing left over.
    void expectConfiguredFor(const std::string& release) const
    {
        const std::string list = readWholeFile(listFile());
        EXPECT_NE(list.find("signed-by=" + KEYRING), std::string::npos) << list;
        const std::string source = aptSource(release);
        EXPECT_NE(list.find(mirror.path() + "/" + product + "/" + source.substr(0, source.find(' '))),
                  std::string::npos)
            << list;
        EXPECT_EQ(keyringFingerprints(KEYRING),
                  std::vector<std::string>{mirror.manifest().get<std::string>("key_fingerprint")});
        EXPECT_EQ(filesEndingWith(ETC_APT, "50mk_kitwright.list"), std::vector<std::string>{});
        EXPECT_EQ(filesEndingWith(ETC_APT, ".kw_back"), std::vector<std::string>{});
    }

    void expectSucceeded(const ChildResult& run) const
    {
        EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
        // Logged at level 0, which reaches the terminal on standard error.
        EXPECT_NE(run.err.find(text("install_ok")), std::string::npos) << run.out << run.err;
    }
};

// The commands, one after the other on one server: install the older release with a component whose
// package needs the core's, refuse a second install, add and remove a component, upgrade to the newer
// release, refuse the same upgrade again, and find nothing to update.
TEST_F(Installation, ByTheCommands)
{
    const std::string core = packagesOf("core").front();
    const std::string web = packagesOf("web").front();

    const ChildResult installed = kitwright({"install", older, "--components", "tools"});
    expectSucceeded(installed);
    auto states = dpkgStates({tools, core, web});
    EXPECT_EQ(states[tools], "ii " + mirror.debVersion(product, 0, tools));
    EXPECT_EQ(states[core], "ii " + mirror.debVersion(product, 0, core)) << "the core comes with what needs it";
    EXPECT_EQ(states.count(web), 0u);
    expectConfiguredFor(older);
    RecordedAction action = lastRecordedAction();
    EXPECT_EQ(action.action["status"], "success");
    EXPECT_EQ(action.release["version"], "");
    EXPECT_EQ(action.release["new_version"], older);
    EXPECT_EQ(action.release["mode"], "install");
    const AptPolicy policy = aptPolicy(tools);
    EXPECT_EQ(policy.installed, mirror.debVersion(product, 0, tools)) << policy.table;
    EXPECT_NE(policy.table.find(mirror.path()), std::string::npos) << policy.table;

    // A second install of the installed product is refused and changes nothing.
    const std::string before = treeFingerprint(ETC_APT);
    const ChildResult again = kitwright({"install", older, "--components", "web"});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_TRUE(holdsMessage(again.out, "err_prod_ver_already_installed")) << again.out;
    EXPECT_EQ(treeFingerprint(ETC_APT), before);
    EXPECT_EQ(dpkgStates({web}).count(web), 0u);

    expectSucceeded(kitwright({"add", product, "--components", "web"}));
    EXPECT_EQ(dpkgStates({web})[web], "ii " + mirror.debVersion(product, 0, web));
    action = lastRecordedAction();
    EXPECT_EQ(action.release["version"], older);
    EXPECT_EQ(action.release.count("new_version"), 0u);
    EXPECT_EQ(action.release["mode"], "update") << "the installed release with component changes";

    expectSucceeded(kitwright({"remove", product, "--components", "web"}));
    EXPECT_EQ(dpkgStates({web}).count(web), 0u);
    EXPECT_EQ(lastRecordedAction().components.size(), 1u);
    EXPECT_EQ(lastRecordedAction().components.front()["mode"], "R");

    const ChildResult upgraded = kitwright({"upgrade", newer});
    expectSucceeded(upgraded);
    states = dpkgStates({tools, core});
    EXPECT_EQ(states[tools], "ii " + mirror.debVersion(product, 1, tools));
    EXPECT_EQ(states[core], "ii " + mirror.debVersion(product, 1, core));
    expectConfiguredFor(newer);
    action = lastRecordedAction();
    EXPECT_EQ(action.action["status"], "success");
    EXPECT_EQ(action.release["version"], older);
    EXPECT_EQ(action.release["new_version"], newer);
    EXPECT_EQ(action.release["mode"], "upgrade");
    const AptPolicy upgradedPolicy = aptPolicy(tools);
    EXPECT_EQ(upgradedPolicy.installed, mirror.debVersion(product, 1, tools));
    EXPECT_EQ(upgradedPolicy.candidate, upgradedPolicy.installed);

    const std::string upgradedApt = treeFingerprint(ETC_APT);
    const ChildResult sameUpgrade = kitwright({"upgrade", newer});
    EXPECT_EQ(sameUpgrade.exit_code, 1);
    EXPECT_TRUE(holdsMessage(sameUpgrade.out, "err_prod_ver_already_installed")) << sameUpgrade.out;

    const int actions = lastRecordedAction().actions;
    const ChildResult update = kitwright({"update", product});
    EXPECT_EQ(update.exit_code, 0) << update.out << update.err;
    EXPECT_NE(update.err.find(text("components_allready_installed")), std::string::npos) << update.out << update.err;
    EXPECT_EQ(update.out.find("ERROR"), std::string::npos) << update.out;
    EXPECT_EQ(lastRecordedAction().actions, actions) << "nothing installed, nothing recorded";
    EXPECT_EQ(treeFingerprint(ETC_APT), upgradedApt);
}

// The same road by the long options: install the older release, then move the installed components to
// the newer one, then remove one.
TEST_F(Installation, ByTheLongOptions)
{
    expectSucceeded(
        kitwright({"--select-product-id", product, "--select-release-id", older, "--install-component", "tools"}));
    EXPECT_EQ(dpkgStates({tools})[tools], "ii " + mirror.debVersion(product, 0, tools));

    expectSucceeded(
        kitwright({"--select-product-id", product, "--select-release-id", newer, "--upgrade-installed-components"}));
    EXPECT_EQ(dpkgStates({tools})[tools], "ii " + mirror.debVersion(product, 1, tools));
    expectConfiguredFor(newer);
    RecordedAction upgraded = lastRecordedAction();
    EXPECT_EQ(upgraded.release["new_version"], newer);
    bool toolsUpgraded = false;
    for (const auto& component : upgraded.components)
        toolsUpgraded = toolsUpgraded || (component.at("name") == product + "/tools" && component.at("mode") == "U");
    EXPECT_TRUE(toolsUpgraded);

    expectSucceeded(
        kitwright({"--select-product-id", product, "--select-release-current", "--remove-component", "tools"}));
    EXPECT_EQ(dpkgStates({tools}).count(tools), 0u);
}

// --dry-run and --show-packages list what apt would install for the same packages, and change nothing.
TEST_F(Installation, DryRunsListWhatAptWouldInstall)
{
    std::string source;
    for (const auto& build : mirror.release(product, 1).get_child("builds"))
        if (build.second.get<std::string>("family") == "deb")
            source = "deb [signed-by=" + mirror.path() + "/" + mirror.manifest().get<std::string>("keyring") +
                     "] file://" + mirror.path() + "/" + build.second.get<std::string>("repository") + "/ ./";
    std::vector<std::string> wanted = packagesOf("tools");
    for (const std::string& name : packagesOf("core"))
        wanted.push_back(name);
    // The build's bootstrapper package comes with every installation of the product.
    wanted.push_back(product + "-bootstrap");
    const std::vector<std::string> expected = aptSimulatedInstall(source, wanted);
    ASSERT_FALSE(expected.empty());

    const std::string before = treeFingerprint(ETC_APT);
    const std::vector<std::vector<std::string>> runs = {
        {"install", newer, "--components", "tools", "--dry-run", "--xml"},
        {"--select-product-id", product, "--select-release-id", newer, "--install-component", "tools",
         "--show-packages", "--enable-xml-output"},
    };
    for (const auto& args : runs) {
        const ChildResult run = kitwright(args);
        SCOPED_TRACE(args.front());
        EXPECT_EQ(run.exit_code, 0) << run.err;
        TempDir dir;
        writeWholeFile(dir / "reply.xml", run.out);
        EXPECT_EQ(runProgram("xmllint", {"--noout", dir / "reply.xml"}).exit_code, 0) << run.out;
        const std::string names =
            runProgram("python3",
                       {"-c",
                        "import sys, xml.etree.ElementTree as ET\n"
                        "print(' '.join(sorted(p.get('name') for p in ET.parse(sys.argv[1]).iter('package'))))",
                        dir / "reply.xml"})
                .out;
        std::string joined;
        for (const std::string& name : expected)
            joined += (joined.empty() ? "" : " ") + name;
        EXPECT_EQ(names, joined + "\n");
        EXPECT_EQ(treeFingerprint(ETC_APT), before);
        EXPECT_TRUE(dpkgStates(wanted).empty());
    }
    EXPECT_EQ(lastRecordedAction().actions, 0);
}

}  // namespace
