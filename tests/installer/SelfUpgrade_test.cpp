#include "installer/SelfUpgrade.h"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include "common/Opsys.h"
#include "common/ProgramVersion.h"
#include "installer/Options.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

// A catalogue root with the given child.
struct Root {
    explicit Root(const std::string& child) { document.Parse(("<build>" + child + "</build>").c_str()); }
    const TiXmlElement* element() const { return document.FirstChildElement(); }
    TiXmlDocument document;
};

// The system is detected once per process: each case in a child of its own.
TEST(SelfUpgrade, BinaryNameOfTheRunningSystem)
{
    struct Case {
        const char* vendor;
        const char* version;
        const char* arch;
        const char* name;
    };
    const Case cases[] = {
        {"Debian", "12.5", "x86_64", "quillfern_installer_Debian_12.0_x86_64"},
        {"Debian", "11", "x86_64", "quillfern_installer_Debian_11.0_x86_64"},
        {"Ubuntu", "22.04", "x86_64", "quillfern_installer_Ubuntu_22.04_x86_64"},
        {"Ubuntu", "24.04.1", "i686", "quillfern_installer_Ubuntu_24.04_i386"},
        {"Ubuntu", "24", "i586", "quillfern_installer_Ubuntu_24.0_i386"},
        {"AlmaLinux", "8.9", "i486", "quillfern_installer_AlmaLinux_8_i386"},
        {"CentOS", "7", "x86_64", "quillfern_installer_CentOS_7_x86_64"},
        {"Oracle", "9.3", "aarch64", "quillfern_installer_Oracle_9.3_aarch64"},
    };
    for (const Case& c : cases) {
        const ChildResult r = runChecksOnSystem({"Linux", c.vendor, c.version, c.arch, ""},
                                                [&] { EXPECT_EQ(SelfUpgrade::get_binary_name(), c.name); });
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    }
}

TEST(SelfUpgrade, RequiredVersionIsReadAndCompared)
{
    const std::string own = ProgramVersion::version;
    SelfUpgrade::check_required_KW_version(Root("<other/>").element());
    SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"" + own +
                                                "\" binary_directory=\"bin\" binary_name=\"kw\" md5=\"abc\"/>")
                                               .element());
    EXPECT_EQ(SelfUpgrade::requirement().version, own);
    EXPECT_EQ(SelfUpgrade::requirement().binaryDirectory, "bin");
    EXPECT_EQ(SelfUpgrade::requirement().binaryName, "kw");
    EXPECT_EQ(SelfUpgrade::requirement().md5, "abc");

    // Without a version the requirement goes and nothing else changes.
    SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright binary_name=\"other\"/>").element());
    EXPECT_EQ(SelfUpgrade::requirement().version, "");
    EXPECT_EQ(SelfUpgrade::requirement().binaryName, "kw");

    // Equal as versions, not as texts.
    SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"0" + own + "\"/>").element());
    EXPECT_TRUE(thrown<SelfUpgrade::NeedSelfUpgrade>([] {
        SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"99.0.0\"/>").element());
    }));

    Options::instance().disableSelfUpgrade = true;
    LogFile log(1);
    SelfUpgrade::check_required_KW_version(Root("<exact_required_kitwright version=\"99.0.0\"/>").element());
    Options::instance().disableSelfUpgrade = false;
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Current kitwright version '" + own +
                                                    "', required = '99.0.0', but won't upgrade self due "
                                                    "--disable-self-upgrade"});
}

}  // namespace
