#include "common/SourceSysRPM.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DependencyFile.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/textutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RpmDatabase.h"
#include "tests/support/printed.h"

namespace {

// The lines of a text, each with its runs of blanks made single and trimmed, sorted.
std::string normalised(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string squeezed;
        for (char c : trim(line))
            if (c != ' ' || squeezed.empty() || squeezed.back() != ' ')
                squeezed += c;
        lines.push_back(squeezed);
    }
    std::sort(lines.begin(), lines.end());
    std::string result;
    for (const std::string& line : lines)
        result += line + "\n";
    return result;
}

// Tiny packages built with rpmbuild and entered into a database of their own, which the children see
// in place of the system's.
class SourceSysRPMTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        database = new RpmDatabase;
        problem = database->install({
            {"Name: kwtiny\nVersion: 1.2\nRelease: 3\nEpoch: 4\nSummary: s\n"
             "License: MIT\nBuildArch: noarch\nProvides: kwtiny-virtual = 7\n"
             "Requires: /bin/sh\nRequires: kwplain >= 1.0\nConflicts: kwother < 2\n"
             "Obsoletes: kwold < 1.0\n%description\nd\n%install\n"
             "mkdir -p %{buildroot}/opt/kwtiny\necho hi > %{buildroot}/opt/kwtiny/file\n"
             "ln -s file %{buildroot}/opt/kwtiny/link\n%files\n/opt/kwtiny\n",
             ""},
            {"Name: kwplain\nVersion: 1.0\nRelease: 1\nSummary: s\nLicense: MIT\n"
             "BuildArch: noarch\n%description\nd\n%install\n"
             "mkdir -p %{buildroot}/opt/kwplain\necho x > %{buildroot}/opt/kwplain/f\n"
             "%files\n/opt/kwplain/f\n",
             ""},
            {kMulti, "i686"},
            {kMulti, "x86_64"},
        });
    }
    void SetUp() override { ASSERT_EQ(problem, ""); }
    static void TearDownTestSuite() { delete database; }

    // In a child that sees the test database; /tmp and the shared progress record are private.
    static ChildResult run(const std::function<int()>& body)
    {
        ChildOptions options = privateProgressOptions();
        database->useIn(options);
        return runInChild(body, options);
    }

    static std::string rpm(const std::string& arguments) { return database->rpm(arguments); }

    static constexpr const char* kMulti =
        "Name: kwmulti\nVersion: 3.0\nRelease: 1\nSummary: s\nLicense: MIT\n"
        "%description\nd\n%install\nmkdir -p %{buildroot}/opt/kwmulti\n"
        "echo same > %{buildroot}/opt/kwmulti/f\n%files\n/opt/kwmulti/f\n";

    static RpmDatabase* database;
    static std::string problem;  // empty once the database holds the packages
};

RpmDatabase* SourceSysRPMTest::database = nullptr;
std::string SourceSysRPMTest::problem;

TEST_F(SourceSysRPMTest, BriefListMatchesTheDatabase)
{
    const std::string expected =
        rpm("-qa --queryformat 'system_installed_brief_%{NAME}-%{VERSION}-%{RELEASE}.rpm %{NAME} "
            "%|EPOCH?{%{EPOCH}:}|%{VERSION}-%{RELEASE} %{ARCH}[ P:%{PROVIDENAME} %{PROVIDEFLAGS:depflags} "
            "%{PROVIDEVERSION}]\n'");
    const ChildResult result = run([] {
        Repository repository;
        SourceSysRPM source(&repository);
        repository.getBriefPackagesInfo();
        for (const Package* pkg : repository.getPackages()) {
            std::cout << pkg->getFileName() << " " << pkg->getName() << " " << pkg->getVersion().toString() << " "
                      << pkg->getArch();
            for (uint32_t i = 0; boost::shared_ptr<Dependency> provide = pkg->getProvide(i); ++i)
                std::cout << " P:" << printed(provide);
            std::cout << "\n";
            if (pkg->getType() != 's' || pkg->getSource() != &source || pkg->getRequire(0))
                return 2;
        }
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(normalised(result.out), normalised(expected));
    EXPECT_NE(result.out.find(" kwplain 1.0-1 noarch"), std::string::npos);  // no epoch from rpm's "(none)"
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 4);
}

TEST_F(SourceSysRPMTest, FullListReplacesTheBriefOne)
{
    const std::string files = rpm("-q --queryformat '[%{FILENAMES} %{FILEMODES} %{FILEMD5S}%{FILELINKTOS}\n]' kwtiny");
    const ChildResult result = run([] {
        Repository repository;
        SourceSysRPM source(&repository);
        source.loadBrief();
        Package* brief = repository.findNewest("kwtiny");
        // Root's query must not write through a link that someone planted under the fixed name.
        std::ofstream("/tmp/victim") << "precious";
        if (symlink("/tmp/victim", SourceSysRPM::CACHE_FILE) != 0)
            return 2;
        source.loadFull();
        const Package* full = repository.findNewest("kwtiny");
        std::cout << (full != brief) << " " << repository.getPackages().size() << " " << full->getFileName() << "\n";
        for (const Package* pkg : {static_cast<const Package*>(brief), full}) {
            for (uint32_t i = 0; boost::shared_ptr<Dependency> dep = pkg->getRequire(i); ++i)
                std::cout << "R:" << printed(dep) << "\n";
            for (uint32_t i = 0; boost::shared_ptr<Dependency> dep = pkg->getConflict(i); ++i)
                std::cout << "C:" << printed(dep) << "\n";
            for (uint32_t i = 0; boost::shared_ptr<Dependency> dep = pkg->getObsolete(i); ++i)
                std::cout << "O:" << printed(dep) << "\n";
        }
        for (uint32_t i = 0; boost::shared_ptr<Dependency> dep = full->getProvide(i); ++i)
            if (const DependencyFile* file = dynamic_cast<const DependencyFile*>(dep.get()))
                std::cerr << "F:" << printed(dep) << " " << file->getMode() << " " << file->getMd5String() << "\n";
        struct stat st;
        lstat(SourceSysRPM::CACHE_FILE, &st);
        std::ifstream victim("/tmp/victim");
        std::string kept;
        victim >> kept;
        std::cout << kept << " " << S_ISREG(st.st_mode) << " " << std::oct << (st.st_mode & 0777) << "\n";
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "1 4 system_installed_kwtiny-1.2-3.noarch.rpm\n"
              "R:/bin/sh\nR:kwplain >= 1.0\nC:kwother < 2\nO:kwold < 1.0\n"
              "R:/bin/sh\nR:kwplain >= 1.0\nC:kwother < 2\nO:kwold < 1.0\n"
              "precious 1 600\n");
    // Each file as rpm lists it: a regular file keeps the leading 16 bytes of its digest, a link its target.
    std::istringstream in(files);
    int count = 0;
    for (std::string path, digest; in >> path;) {
        int mode;
        in >> mode;
        std::getline(in, digest);
        digest = trim(digest);
        if ((mode & 0xF000) == 0x8000)
            digest = digest.substr(0, 32);
        EXPECT_NE(result.err.find("F:" + path + " " + std::to_string(mode) + " " + digest + "\n"), std::string::npos)
            << path;
        ++count;
    }
    EXPECT_EQ(count, 3);
}

TEST_F(SourceSysRPMTest, VersionStraightFromTheDatabase)
{
    const ChildResult result = run([] {
        Log::consoleLevel = 3;
        Repository repository;
        SourceSysRPM source(&repository);
        for (const char* name : {"kwtiny", "kwplain", "kwmulti", "nosuch", "kwtiny; touch /tmp/pwned"})
            std::cout << name << "=" << source.getPkgVersionFromSystemDirectly(name) << "|";
        std::cout << repository.getPkgVersionFromSystemDirectly("kwplain") << "|" << access("/tmp/pwned", F_OK);
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    // Installed in two architectures there is no one answer.
    EXPECT_EQ(result.out, "kwtiny=1.2|kwplain=1.0|kwmulti=|nosuch=|kwtiny; touch /tmp/pwned=|1.0|-1");
    EXPECT_NE(result.err.find("DEBUG: SourceSysRPM::getPkgVersionFromSystemDirectly kwtiny version 1.2 installed in "
                              "system\n"),
              std::string::npos);
    EXPECT_NE(result.err.find("DEBUG: SourceSysRPM::getPkgVersionFromSystemDirectly kwmulti not installed in system\n"),
              std::string::npos);
}

TEST_F(SourceSysRPMTest, FailingQueries)
{
    const ChildResult result = run([] {
        Repository repository;
        SourceSysRPM source(&repository);
        // Without its database rpm finds no packages and fails on none of the queries; a database
        // that cannot be opened fails both.
        if (mkdir("/tmp/home", 0755) != 0 || setenv("HOME", "/tmp/home", 1) != 0)
            return 2;
        std::ofstream("/tmp/home/.rpmdb") << "not a directory";
        try {
            source.loadBrief();
        } catch (const error& e) {
            std::cout << e.e_class << e.e_rep << e.e_sys << e.e_supp << "|" << e.parts.back() << "|";
        }
        try {
            source.readPackagesFull();
        } catch (const error& e) {
            std::cout << e.e_class << e.e_rep << e.e_sys << e.e_supp << "|" << e.parts.back() << "|";
        }
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "4222|" + Messages().get("err_rpm_info_brief") + "|4112|" + Messages().get("err_rpm_info_full") + "|");
}

}  // namespace
