#include "installer/PackagesReporter.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "installer/Reporter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentTree.h"
#include "tests/support/LogFile.h"
#include "tests/support/XmlLint.h"
#include "tests/support/printed.h"

namespace {

const std::string DECLARATION = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

// A package of the transaction, kept by the repository.
const Package* offered(Repository& repository, const std::string& name, const std::string& version, char type,
                       const std::string& size = "0", const char* obsoletes = nullptr)
{
    Package* package = new DebPackage(name, version);
    package->setType(type);
    package->setArch("amd64");
    package->setSize(size);
    if (obsoletes)
        package->addObsolete(obsoletes);
    repository.addPackage(package, nullptr);
    return package;
}

std::string noPackages()
{
    return Messages().get("packages_no_reqpackages") + "\n";
}

std::string text(const cpkgs_t& packages, Repository& repository)
{
    return printed(PackagesReporter(&packages, &repository, false));
}

std::string xml(const cpkgs_t& packages, Repository& repository)
{
    return printed(PackagesReporter(&packages, &repository, true));
}

// The packages installed on this machine, read as the installer reads them, with a transaction over
// them: installs and upgrades of product ('b') and system ('u') packages, removal markers with and
// without an installed target, a marker without a target, and a package that obsoletes an installed one.
TEST(PackagesReporterTest, TransactionOverThisMachinesPackages)
{
    const ChildResult r = runChecksInChild(
        [] {
            SystemRepository system;
            Repository& repository = system.repository;
            ASSERT_TRUE(repository.getInstalledPackage("dpkg"));
            ASSERT_TRUE(repository.getInstalledPackage("coreutils"));
            // An installed package that a product package obsoletes.
            addInstalledPackage(repository, "kwt-old-tool", "0.9")->addProvide("kwt-old-tool");
            const Package* dpkg = repository.getInstalledPackage("dpkg");
            const Package* coreutils = repository.getInstalledPackage("coreutils");

            const cpkgs_t packages = {
                offered(repository, "zanth-web", "1.2-3", 'b', "1000"),
                offered(repository, "dpkg", "99:1.0-1", 'u', "20"),
                repository.addRemoverFor("coreutils", ""),
                offered(repository, "Zanth-Upper", "2.0", 'b', "4294967295"),
                repository.addRemoverFor("kwt-never-installed", ""),
                offered(repository, "kwt-marker", "1", 'd'),
                offered(repository, "zanth-base", "1.2-3", 'b', "3", "kwt-old-tool"),
                offered(repository, "libkwt", "0.1", 'u', "7"),
            };
            // Installs in byte order of the names (capitals first), then upgrades, then removals;
            // the marker without a target and the install marker get no number.
            EXPECT_EQ(text(packages, repository),
                      "  1. [I] Zanth-Upper-2.0.amd64\n"
                      "  2. [I] libkwt-0.1.amd64\n"
                      "  3. [I] zanth-base-1.2-3.amd64\n"
                      "  4. [I] zanth-web-1.2-3.amd64\n"
                      "  5. [U] dpkg-99:1.0-1.amd64\n"
                      "  6. [R] " +
                          printed(coreutils) + "\n  7. [R] kwt-old-tool-0.9.all\n");
            (void)dpkg;

            // The XML form lists only what is not installed: removals never appear in it.
            const std::string reply = xml(packages, repository);
            EXPECT_EQ(xmlProblems(reply), "");
            EXPECT_EQ(reply, DECLARATION +
                                 "<kitwright status=\"ok\">\n"
                                 "    <packages>\n"
                                 "        <system_packages install_num=\"1\" upgrade_num=\"1\" remove_num=\"0\" "
                                 "bytes=\"27\">\n"
                                 "            <package action=\"install\" name=\"libkwt\" version=\"0.1\" "
                                 "release=\"\" arch=\"amd64\" size=\"7\" />\n"
                                 "            <package action=\"upgrade\" name=\"dpkg\" version=\"99:1.0\" "
                                 "release=\"1\" arch=\"amd64\" size=\"20\" />\n"
                                 "        </system_packages>\n"
                                 "        <kernel_packages install_num=\"0\" bytes=\"0\" />\n"
                                 "        <build_packages install_num=\"3\" upgrade_num=\"0\" remove_num=\"0\" "
                                 "bytes=\"1002\">\n"
                                 "            <package action=\"install\" name=\"Zanth-Upper\" version=\"2.0\" "
                                 "release=\"\" arch=\"amd64\" size=\"4294967295\" />\n"
                                 "            <package action=\"install\" name=\"zanth-base\" version=\"1.2\" "
                                 "release=\"3\" arch=\"amd64\" size=\"3\" />\n"
                                 "            <package action=\"install\" name=\"zanth-web\" version=\"1.2\" "
                                 "release=\"3\" arch=\"amd64\" size=\"1000\" />\n"
                                 "        </build_packages>\n"
                                 "    </packages>\n"
                                 "</kitwright>\n\n");
        },
        privateProgressOptions());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(PackagesReporterTest, NumbersGrowTheirFieldFromOneThousand)
{
    Repository repository;
    cpkgs_t packages;
    char name[32];
    for (int i = 1; i <= 1001; ++i) {
        snprintf(name, sizeof(name), "p%04d", i);
        packages.push_back(offered(repository, name, "1", 'b'));
    }
    const std::string lines = text(packages, repository);
    for (const char* line : {"\n  9. [I] p0009-1.amd64\n", "\n 10. [I] p0010-1.amd64\n", "\n 99. [I] p0099-1.amd64\n",
                             "\n100. [I] p0100-1.amd64\n", "\n999. [I] p0999-1.amd64\n", "\n1000. [I] p1000-1.amd64\n",
                             "\n1001. [I] p1001-1.amd64\n"})
        EXPECT_NE(lines.find(line), std::string::npos) << line;
    EXPECT_EQ(lines.rfind("  1. [I] p0001-1.amd64\n", 0), 0u);
}

TEST(PackagesReporterTest, NothingToDoInBothForms)
{
    Repository repository;
    addInstalledPackage(repository, "zanth-core", "1.0");
    const cpkgs_t none;
    // Markers only: one without a target and one that is not a remover.
    const cpkgs_t markers = {repository.addRemoverFor("kwt-absent", ""), offered(repository, "kwt-marker", "1", 'd')};
    for (const cpkgs_t* packages : {&none, &markers}) {
        EXPECT_EQ(text(*packages, repository), noPackages());
        const std::string reply = xml(*packages, repository);
        EXPECT_EQ(xmlProblems(reply), "");
        EXPECT_EQ(xpath(reply,
                        "concat(//system_packages/@install_num, //system_packages/@upgrade_num, "
                        "//system_packages/@remove_num, //system_packages/@bytes, "
                        "//kernel_packages/@install_num, //kernel_packages/@bytes, "
                        "//build_packages/@install_num, //build_packages/@upgrade_num, "
                        "//build_packages/@remove_num, //build_packages/@bytes, count(//package))"),
                  "00000000000");
    }
}

}  // namespace
