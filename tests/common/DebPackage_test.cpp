#include "common/DebPackage.h"

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DebBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

// The trimmed output of a shell command.
std::string output(const std::string& command)
{
    return trim(shellOutput(command));
}

// A directory of package files, removed with the fixture.
class DebPackageFileTest : public testing::Test {
protected:
    TempDir temp;
    const std::string dir = temp.path();
    const DebBuilder builder{dir};
};

TEST_F(DebPackageFileTest, ReadsWhatTheToolsReport)
{
    const std::string path = builder.build(DebBuilder::control("kw-tiny", "2:1.0~rc1-3"));
    // A file name from a mirror may hold blanks and shell syntax; dpkg gets it as it is.
    const std::string odd = dir + "/a b;touch pwned;$(touch pwned2)'q'.deb";
    ASSERT_EQ(rename(path.c_str(), odd.c_str()), 0);

    DebPackage pkg("placeholder", "0");
    pkg.setFileName(odd);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);  // where an injected command would leave its mark
    pkg.readInfo();
    ASSERT_EQ(chdir(cwd), 0);
    const std::string quoted = shell_quote(odd);
    EXPECT_STREQ(pkg.getName().c_str(), output("dpkg-deb -f " + quoted + " Package").c_str());
    EXPECT_EQ(pkg.getVersion().toString(), output("dpkg-deb -f " + quoted + " Version"));
    EXPECT_STREQ(pkg.getArch().c_str(), output("dpkg-deb -f " + quoted + " Architecture").c_str());
    EXPECT_EQ(pkg.getSize(), std::stol(output("stat -c %s " + quoted)));
    EXPECT_EQ(pkg.getInstallTime(), std::stol(output("stat -c %Y " + quoted)));
    EXPECT_EQ(md5_to_hex(pkg.getMd5()), output("md5sum < " + quoted + " | cut -d' ' -f1"));
    EXPECT_EQ(pkg.getFileName(), odd);
    EXPECT_EQ(output("ls " + shell_quote(dir)), "a b;touch pwned;$(touch pwned2)'q'.deb");
    // The version compares by the Debian rules.
    EXPECT_TRUE(pkg.getVersion() < DebVersion("2:1.0-3"));
}

TEST_F(DebPackageFileTest, ControlLinesAreTrimmedAndNeedTheirBlank)
{
    DebPackage pkg("placeholder", "7.0");
    pkg.setFileName(builder.assemble("Package:foo\nPackage: \n  Version: 1:2.3-4  \nArchitecture: i386\n"));
    pkg.readInfo();
    EXPECT_STREQ(pkg.getName().c_str(), "placeholder");
    EXPECT_EQ(pkg.getVersion().toString(), "1:2.3-4");
    EXPECT_STREQ(pkg.getArch().c_str(), "i386");
    EXPECT_NE(dynamic_cast<const DebVersion*>(&pkg.getVersion()), nullptr);
}

TEST_F(DebPackageFileTest, WithoutVersionLineTheVersionStays)
{
    DebPackage pkg("placeholder", "7.0");
    pkg.setFileName(builder.assemble("Package: bar\nVersion: \nArchitecture: noarch-no-rule\n"));
    pkg.readInfo();
    EXPECT_STREQ(pkg.getName().c_str(), "bar");
    EXPECT_EQ(pkg.getVersion().toString(), "7.0");
    EXPECT_STREQ(pkg.getArch().c_str(), "noarch-no-rule");
}

TEST_F(DebPackageFileTest, FailingDpkgNamesTheFile)
{
    const std::string path = dir + "/missing.deb";
    DebPackage pkg("placeholder", "1.0");
    pkg.setFileName(path);
    const std::optional<error> e = thrown<error>([&] { pkg.readInfo(); });
    ASSERT_TRUE(e);
    ASSERT_EQ(e->parts.size(), 2u);
    EXPECT_EQ(e->parts.back(), format_message(Messages().get("err_pkgread"), path));
    EXPECT_EQ(e->parts.front().find("Error 2 in execution of dpkg"), 0u) << e->parts.front();
    // The codes of the command's error stand; only unset ones would come from the file's.
    EXPECT_EQ(codes(*e), std::make_tuple(4, 2, 2, 2));
    EXPECT_STREQ(pkg.getName().c_str(), "placeholder");
}

}  // namespace
