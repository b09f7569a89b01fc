#include "common/Opsys.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ForcedSystem.h"

namespace {

const std::string DATA = std::string(KW_TEST_DATA_DIR) + "/opsys/";

// The first line of what the command writes, without its line end.
std::string commandLine(const char* command)
{
    const std::string output = shellOutput(command);
    EXPECT_FALSE(output.empty()) << command;
    return output.substr(0, output.find('\n'));
}

std::string describe(const Opsys& os)
{
    std::ostringstream out;
    out << os->name << "|" << os->vendor << "|" << os->version << "|" << os->arch << "|" << os->environment << "|"
        << (os->vendor.empty()   ? ""
            : os.isDebianBased() ? "deb"
            : os.isRedHatBased() ? "rh"
                                 : "other");
    return out.str();
}

// Detects the running system in a child that sees the fixture's etc directory as /etc and, when
// given, the fixture's proc directory as /proc. Standard output gets the description, standard
// error the log.
ChildResult detect(const std::string& etc, const std::string& proc = "", const ForcedSystem& forced = ForcedSystem())
{
    ChildOptions options;
    if (!etc.empty())
        options.binds.push_back({DATA + etc + "/etc", "/etc"});
    if (!proc.empty())
        options.binds.push_back({DATA + proc, "/proc"});
    return runInChild(
        [&] {
            Log::consoleLevel = 2;
            forced.apply();
            std::cout << describe(Opsys());
            return 0;
        },
        options);
}

TEST(OpsysDetectTest, ThisDebian)
{
    std::ifstream in("/etc/debian_version");
    std::string release;
    std::getline(in, release);
    ASSERT_FALSE(release.empty());
    ASSERT_NE(release.find_first_of("0123456789"), std::string::npos) << "a testing release: " << release;
    const std::string arch = commandLine("uname -m");
    const std::string name = commandLine("uname -s");

    const ChildResult result = detect("");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, name + "|Debian|" + release + "|" + arch + "||deb");
    EXPECT_NE(result.err.find("Got OS name " + name + ", vendor Debian, version " + release + ", arch " + arch +
                              ", environment \n"),
              std::string::npos)
        << result.err;
}

TEST(OpsysDetectTest, DistributionsFromReleaseFiles)
{
    const std::string machine = commandLine("uname -s") + "|";
    const std::string arch = commandLine("uname -m");
    struct Case {
        const char* fixture;
        const char* vendor;
        const char* version;
        const char* family;
    };
    const Case cases[] = {
        {"ubuntu-lsb", "Ubuntu", "22.04", "deb"},   // /etc/debian_version is not read
        {"lsb-id-only", "Debian", "11.9", "deb"},   // the release file fills both
        {"lsb-quoted", "\"Ubuntu\"", "", "other"},  // values unchanged; the key runs to the last '='
        {"debian-testing", "Debian", "", "deb"},    // no digits in the line
        {"centos", "CentOS", "7.9.2009", "rh"},
        {"rhel", "RedHat", "el7.9", "rh"},
        {"rhel-es", "RedHat", "es3.1", "rh"},
        {"alma", "AlmaLinux", "9.3", "rh"},  // its own file comes before redhat-release
        {"rocky", "Rocky", "8.9", "rh"},
        {"cloudlinux", "CloudLinux", "8.9", "rh"},
        {"cloudlinux-redhat", "CloudLinux", "6.10", "rh"},
        {"oracle", "Oracle", "8.9", "other"},
        {"cubbyvale", "QZLinux", "7.1", "rh"},
        {"none", "", "", ""},
    };
    for (const Case& c : cases) {
        const ChildResult result = detect(c.fixture);
        ASSERT_EQ(result.exit_code, 0) << c.fixture << ": " << result.err;
        EXPECT_EQ(result.out, machine + c.vendor + "|" + c.version + "|" + arch + "||" + c.family) << c.fixture;
    }
}

TEST(OpsysDetectTest, CubbyvaleContainer)
{
    struct Case {
        const char* etc;
        const char* proc;
        const char* environment;
    };
    const Case cases[] = {
        {"centos", "proc-qz-101", "qz"},   {"centos", "proc-qz-0", ""},  // the platform's host
        {"centos", "proc-qz-noid", ""},    {"centos", "proc-no-qz", ""},
        {"cloudlinux", "proc-qz-101", ""},  // CloudLinux has markers of its own
    };
    for (const Case& c : cases) {
        const ChildResult result = detect(c.etc, c.proc);
        ASSERT_EQ(result.exit_code, 0) << c.proc << ": " << result.err;
        const std::string out = result.out;
        const size_t env_start = out.rfind('|', out.rfind('|') - 1) + 1;
        EXPECT_EQ(out.substr(env_start, out.rfind('|') - env_start), c.environment) << c.etc << " " << c.proc;
    }
}

TEST(OpsysDetectTest, Overrides)
{
    const std::string name = commandLine("uname -s");
    const std::string arch = commandLine("uname -m");
    ForcedSystem vendor_only;
    vendor_only.vendor = "RedHat";
    ChildResult result = detect("ubuntu-lsb", "", vendor_only);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, name + "|RedHat|22.04|" + arch + "||rh");

    ForcedSystem version_only;
    version_only.version = "13";
    result = detect("debian-testing", "", version_only);
    EXPECT_EQ(result.out, name + "|Debian|13|" + arch + "||deb");

    const ForcedSystem all = {"FreeBSD", "Microsoft", "2019-1", "i386", "qz"};
    result = detect("centos", "proc-qz-0", all);
    EXPECT_EQ(result.out, "FreeBSD|Microsoft|2019-1|i386|qz|other");
    EXPECT_NE(result.err.find("Got OS name FreeBSD, vendor Microsoft, version 2019-1, arch i386, environment qz\n"),
              std::string::npos)
        << result.err;
}

TEST(OpsysDetectTest, DetectedOnceAndShared)
{
    const ChildResult result = runInChild([] {
        Opsys first;
        Opsys::overrideVendor = "Rocky";  // too late: the system is known already
        Opsys second;
        Opsys copy(second);
        return (&*first == &*second && &*copy == &*first && first->vendor != "Rocky") ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
}

TEST(OpsysTest, Families)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Debian", "deb"},    {"Ubuntu", "deb"},      {"CentOS", "rh"},    {"RedHat", "rh"},
        {"CloudLinux", "rh"}, {"QZLinux", "rh"},      {"AlmaLinux", "rh"}, {"Rocky", "rh"},
        {"Oracle", "other"},  {"Microsoft", "other"}, {"debian", "other"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(Opsys("Linux", c.first, "1", "x86_64", "")),
                  std::string("Linux|") + c.first + "|1|x86_64||" + c.second);
}

TEST(OpsysTest, Matches)
{
    struct Side {
        const char* name;
        const char* vendor;
        const char* version;
        const char* arch;
    };
    struct Case {
        Side build;
        Side system;
        bool strict;
        bool lenient;
    };
    const Case cases[] = {
        {{"Linux", "Debian", "12", "x86_64"}, {"Linux", "Debian", "12", "x86_64"}, true, true},
        {{"Linux", "Debian", "12", "x86_64"}, {"Linux", "Debian", "12.11", "x86_64"}, true, true},  // major part
        {{"Linux", "Debian", "12.5", "x86_64"}, {"Linux", "Debian", "12.11", "x86_64"}, true, true},
        {{"Linux", "Debian", "11", "x86_64"}, {"Linux", "Debian", "12.11", "x86_64"}, false, false},
        {{"Linux", "CentOS", "7", "x86_64"}, {"Linux", "CentOS", "7.9.2009", "x86_64"}, true, true},
        {{"Linux", "RedHat", "el7", "x86_64"}, {"Linux", "RedHat", "el7.9", "x86_64"}, true, true},
        {{"Linux", "Ubuntu", "22", "x86_64"}, {"Linux", "Ubuntu", "22.04", "x86_64"}, false, false},  // exact
        {{"Linux", "Oracle", "8", "x86_64"}, {"Linux", "Oracle", "8.9", "x86_64"}, false, false},
        {{"Windows", "Microsoft", "2019-1", "x86_64"}, {"Windows", "Microsoft", "2019-7", "x86_64"}, true, true},
        {{"Windows", "Microsoft", "2019.1", "x86_64"}, {"Windows", "Microsoft", "2019.7", "x86_64"}, false, false},
        {{"Linux", "Debian", "12", "x86_64"}, {"Linux", "Ubuntu", "12", "x86_64"}, false, false},
        {{"Linux", "Debian", "12", "x86_64"}, {"FreeBSD", "Debian", "12", "x86_64"}, false, false},
        {{"Linux", "Debian", "12", "x86_64"}, {"Linux", "Debian", "12", "i686"}, false, false},
        {{"Linux", "Debian", "12", "i386"}, {"Linux", "Debian", "12", "i686"}, true, true},  // older x86 runs
        {{"Linux", "Debian", "12", "i586"}, {"Linux", "Debian", "12", "i686"}, true, true},
        {{"Linux", "Debian", "12", "i486"}, {"Linux", "Debian", "12", "i586"}, true, true},
        {{"Linux", "Debian", "12", "i686"}, {"Linux", "Debian", "12", "i586"}, false, false},
        {{"Linux", "Debian", "12", "i386"}, {"Linux", "Debian", "12", "x86_64"}, false, false},
        // Empty fields pass only when lenient, on either side.
        {{"Linux", "Debian", "12", ""}, {"Linux", "Debian", "12", "i686"}, false, true},
        {{"", "", "", ""}, {"Linux", "Debian", "12", "x86_64"}, false, true},
        {{"Linux", "Debian", "12", "x86_64"}, {"", "", "", ""}, false, true},
        {{"Linux", "Ubuntu", "", "x86_64"}, {"Linux", "Ubuntu", "22.04", "x86_64"}, false, true},
    };
    for (const Case& c : cases) {
        const Opsys build(c.build.name, c.build.vendor, c.build.version, c.build.arch, "");
        const Opsys system(c.system.name, c.system.vendor, c.system.version, c.system.arch, "qz");
        EXPECT_EQ(build.matches(system, false), c.strict) << describe(build) << " / " << describe(system);
        EXPECT_EQ(build.matches(system, true), c.lenient) << describe(build) << " / " << describe(system);
    }
}

TEST(OpsysTest, Print)
{
    std::ostringstream plain;
    Opsys("Linux", "Debian", "12.11", "x86_64", "")->print(plain);
    EXPECT_EQ(plain.str(), "'Debian' 'Linux' '12.11' 'x86_64'");
    std::ostringstream container;
    (*Opsys("Linux", "CentOS", "7.9", "x86_64", "qz")).print(container);
    EXPECT_EQ(container.str(), "'CentOS' 'Linux' '7.9' 'x86_64' under qz");
}

}  // namespace
