#include "installer/InstallYum.h"

#include <sys/stat.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Package.h"
#include "common/Repository.h"
#include "installer/ComponentManager.h"
#include "installer/Options.h"
#include "installer/ReportError.h"
#include "installer/YumConfigurator.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/YumProduct.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

const std::string HELPER = "/opt/zorv/bin/dnf_install";

// A package of the product's repositories as the build's headers describe it; listed in the
// repository when one is given, as the headers read by a flow would list it.
const Package* productPackage(const std::string& name, const std::string& version, Package::type_t type,
                              Repository* repository = nullptr)
{
    Package* package = new Package(name, version);
    package->setArch("noarch");
    package->setType(type);
    if (repository)
        repository->addPackage(package, nullptr);
    return package;
}

// The installed fixture packages, "name-version-release" sorted.
std::string installed()
{
    return shellOutput("rpm -qa 'kwt-*' --queryformat '%{NAME}-%{EVR}\\n' | sort");
}

std::string described(const cpkgs_t& list)
{
    std::string text;
    for (const Package* package : list)
        text += std::string(package->getName().c_str()) + ":" + package->getArch().c_str() + "=" +
                package->getVersion().toString() + " " + package->getType() + "\n";
    return text;
}

// A configured yum configurator over the fixture, and the backend it creates.
struct Backend {
    explicit Backend(const TempDir& dir) : product(dir.path()), configurator("", &product.sources, &product.repository)
    {
        Options::instance().skipGpgCheck = true;
        configurator.configure();
        installer.reset(configurator.createInstaller(&manager));
    }
    InstallYum& yum() { return dynamic_cast<InstallYum&>(*installer); }

    YumProduct product;
    YumConfigurator configurator;
    ComponentManager manager;
    std::unique_ptr<Installer> installer;
};

}  // namespace

TEST(InstallYum, SolvesAndPerformsWithRealDnf)
{
    TempDir dir("/var/tmp");
    runChecksOnDnfSystem([&] {
        {
            Backend before(dir);
            cpkgs_t first = {productPackage("kwt-c", "1.0-1", Package::TYPE_BUILD),
                             productPackage("kwt-y", "1.0-1", Package::TYPE_SYSTEM)};
            before.installer->installPackages(first);
            EXPECT_EQ(installed(), "kwt-c-1.0-1\nkwt-y-1.0-1\n");
        }
        Backend backend(dir);
        Repository* known = &backend.product.repository;
        backend.manager.additionalPackages = {productPackage("kwt-a", "1.0-1", Package::TYPE_SYSTEM, known),
                                              productPackage("kwt-c", "2.0-1", Package::TYPE_BUILD, known),
                                              productPackage("kwt-x", "1.0-1", Package::TYPE_SYSTEM, known),
                                              productPackage("kwt-e", "1:3.0-1", Package::TYPE_BUILD, known)};
        cpkgs_t& list = backend.installer->resolve();
        // The request, then what dnf adds: the dependency kwt-b, and the removal of kwt-y that kwt-x
        // conflicts with.
        ASSERT_EQ(list.size(), 6u) << described(list);
        EXPECT_EQ(described(cpkgs_t(list.begin() + 4, list.end())),
                  "kwt-b:noarch=0:1.0-1 u\ndummy_obsoleter_kwt-y_noarch:noarch=0.0 d\n");
        EXPECT_TRUE(isRemoverFor({"kwt-y", "noarch"}, list[5]));
        // dnf itself agrees about what comes on top of the request.
        EXPECT_EQ(shellOutput("LANG=C dnf-3 --assumeno --allowerasing --setopt=install_weak_deps=0 "
                              "--enablerepo=zanth-10 install kwt-a kwt-c-2.0 kwt-x kwt-e 2>/dev/null | awk "
                              "'/^Installing dependencies:/ {s=\"+\"; next} /^Removing/ {s=\"-\"; next} "
                              "/^[^ ]/ {s=\"\"} /^ / && s {print s, $1}'"),
                  "+ kwt-b\n- kwt-y\n");

        backend.installer->installPackages(list);
        EXPECT_EQ(installed(), "kwt-a-1.0-1\nkwt-b-1.0-1\nkwt-c-2.0-1\nkwt-e-1:3.0-1\nkwt-x-1.0-1\n");

        // A removal through its marker.
        cpkgs_t removal = {backend.product.repository.addRemoverFor("kwt-e", "noarch")};
        backend.installer->installPackages(removal);
        EXPECT_EQ(installed(), "kwt-a-1.0-1\nkwt-b-1.0-1\nkwt-c-2.0-1\nkwt-x-1.0-1\n");

        // A package whose "%pre" fails: the helper fails, and so does the installation.
        cpkgs_t failing = {productPackage("kwt-f", "1.0-1", Package::TYPE_BUILD)};
        const error e = caught([&] { backend.installer->installPackages(failing); });
        EXPECT_EQ(codes(e), std::make_tuple(6, 1, 3, 3));
        EXPECT_NE(ReportError::collected().find("Transaction failed"), std::string::npos);
    });
}

TEST(InstallYum, HelperArgumentsSolveLinesAndFailures)
{
    TempDir dir("/var/tmp");
    runChecksOnDnfSystem([&] {
        Backend backend(dir);
        Repository& repository = backend.product.repository;
        // A stand-in helper: it records its arguments and answers as the case says.
        const auto helper = [](const std::string& script) {
            writeWholeFile(HELPER, "#!/bin/sh\necho \"$@\" > /var/tmp/kw-helper-args\n" + script + "\n");
            chmod(HELPER.c_str(), 0700);
        };
        const auto arguments = [] {
            std::string text = readWholeFile("/var/tmp/kw-helper-args");
            return text.empty() ? text : text.substr(0, text.size() - 1);
        };
        // The log file changes with each LogFile.
        const auto common = [] { return "-e zanth-10 -e zanth-10-thirdparty -l " + Log::getFileName() + " --tries=3"; };

        // Solve lines: one without an architecture for a package nobody knows, a removal twice, and
        // a line for a requested package.
        helper(
            "echo '+ kwt-n:=1.0-1'; echo '- kwt-y:noarch=0:1.0-1'; echo '- kwt-y:noarch=0:1.0-1'; "
            "echo '+ kwt-a:noarch=0:1.0-1'; echo 'not a solve line'");
        // The removal marker counts only for an installed package.
        productPackage("kwt-q", "1.0-1", Package::TYPE_INSTALLED, &repository);
        Package* extension = new ExtCatalogPackage("ext");
        repository.addPackage(extension, nullptr);
        backend.manager.additionalPackages = {productPackage("kwt-a", "1.0-1", Package::TYPE_SYSTEM, &repository),
                                              productPackage("kwt-e", "1:3.0-1", Package::TYPE_BUILD, &repository),
                                              repository.addRemoverFor("kwt-q", ""), extension};
        {
            LogFile log;
            const cpkgs_t& list = backend.installer->resolve();
            EXPECT_EQ(arguments(), "--solve " + common() + " -i kwt-a:noarch -i kwt-e:noarch=1:3.0-1 -r kwt-q");
            ASSERT_EQ(list.size(), 6u) << described(list);
            EXPECT_EQ(described(cpkgs_t(list.begin() + 4, list.end())),
                      "kwt-n:noarch=1.0-1 u\ndummy_obsoleter_kwt-y_noarch:noarch=0.0 d\n");
            EXPECT_TRUE(log.has("DEBUG: output: not a solve line"));
            EXPECT_TRUE(log.has("  add to install list " + printed(*list[4])));
            EXPECT_TRUE(log.has("  add to remove list " + printed(*list[5])));
        }
        // A second resolution finds the list filled.
        EXPECT_EQ(codes(caught([&] { backend.installer->resolve(); })), std::make_tuple(3, 1, 1, 3));

        // Debug output asks the helper for its own.
        Options::instance().debug = true;
        helper("exit 0");
        cpkgs_t one = {repository.addRemoverFor("kwt-y", "noarch")};
        backend.yum().runHelper("perform", one, nullptr);
        EXPECT_EQ(arguments(),
                  "--perform " + common().substr(0, common().find(" --tries")) + " -v --tries=3 -r kwt-y:noarch");
        Options::instance().debug = false;

        struct Case {
            const char* name;
            std::string script;
            std::tuple<int, int, int, int> codes;
            std::string text;
        };
        const std::vector<Case> cases = {
            {"no repositories", "echo out; echo err >&2; exit 2", std::make_tuple(6, 1, 1, 2),
             "There are no enabled Yum repositories. Installation is not possible.\n"},
            {"failure", "echo out; echo err >&2; exit 1", std::make_tuple(6, 1, 3, 3),
             "The Yum utility failed to install the required packages.\n"},
            {"signal", "echo out; echo err >&2; kill -9 $PPID", std::make_tuple(6, 1, 3, 3),
             "The Yum utility failed to install the required packages.\n"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            helper(c.script);
            LogFile log;
            const std::string reported = ReportError::collected();
            const error e = caught([&] { backend.yum().runHelper("solve", one, nullptr); });
            EXPECT_EQ(codes(e), c.codes);
            EXPECT_EQ(e.getText(), c.text);
            const std::string command = HELPER + " --solve " + common() + " -r kwt-y:noarch";
            EXPECT_EQ(ReportError::collected().substr(reported.size()),
                      "Yum failed to solve packages:\nError: " + c.text + "Command line: " + command +
                          "\nOutput:\nout\nerr\n\n");
            EXPECT_EQ(log.has("Error: The Yum utility was terminated by signal 9 while executing command 'solve'."),
                      std::string(c.name) == "signal");
        }
    });
}
