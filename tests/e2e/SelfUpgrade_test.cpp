// A catalogue that requires another version of the program: the built program fetches that copy from
// the mirror (a second build of the program with another version text, and its MD5 in the catalogue),
// restarts into it with the same arguments, and the new copy answers. Inside a throw-away overlay of /.
#include "installer/SelfUpgrade.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/sysutils.h"
#include "tests/support/EndToEnd.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

const std::string NEXT = std::string(KW_TEST_TOOLS_DIR) + "/kitwright_next";
const std::string NEXT_VERSION = "99.0.0";

class SelfUpgradeRun : public EndToEndTest {
protected:
    const std::string product = mirror.list("products", "id").front();
};

// The index requires the version (checked while the catalogue is read), or the build files do (checked
// while the component tree is loaded): either way the answer comes from the new copy.
TEST_F(SelfUpgradeRun, RestartsIntoTheRequiredVersion)
{
    const std::string md5 = shellOutput(shell_command({"md5sum", NEXT})).substr(0, 32);
    struct Case {
        const char* where;
        std::vector<std::string> query;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"index", {"list"}, product},
        {"builds", {"--show-installation-types", "--select-product-id", product, "--select-release-latest"}, "typical"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        TempDir dir;
        writeWholeFile(dir / "model.json", std::string(R"({"required_kitwright": {"version": ")") + NEXT_VERSION +
                                               R"(", "md5": ")" + md5 + R"(", "in": [")" + c.where + R"("]}})");
        const GeneratedMirror own({"--model", dir / "model.json"});
        const std::string copies = own.path() + "/Zanth_Installer";
        runProgram("/bin/sh", {"-c", "mkdir -p \"$1\" && cp \"$2\" \"$1/$3\"", "sh", copies, NEXT,
                               SelfUpgrade::get_binary_name()});
        runProgram("/bin/sh", {"-c", "rm -rf /var/log/zanth \"$1\"", "sh", SelfUpgrade::get_cache_dir()});

        std::vector<std::string> args = c.query;
        args.insert(args.end(), {"--source", own.path() + "/"});
        const ChildResult run = runKitwright(args);
        EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << run.out;
        const std::string log = readWholeFile("/var/log/zanth/install/kitwright3.log");
        EXPECT_NE(log.find("Zanth Installer is ready to restart"), std::string::npos) << log;
        EXPECT_NE(log.find(" " + NEXT_VERSION + " (revision"), std::string::npos) << "the new copy ran";
    }
}

}  // namespace
