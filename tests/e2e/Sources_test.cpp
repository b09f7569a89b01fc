// The built program against the generated mirror served over HTTP on the loopback interface, against
// the mirror's RPM-family build on a system without dnf and yum, and in the background, inside a
// throw-away overlay of /.
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/textutils.h"
#include "tests/support/EndToEnd.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

const std::string ETC_APT = "/etc/apt";

class Sources : public EndToEndTest {
protected:
    const std::string product = mirror.list("products", "id").front();
    const std::string older = mirror.release(product, 0).get<std::string>("id");
    const std::string tools = mirror.component(product, "tools").get_child("packages").front().second.data();

    // The attribute of the XML record's root element.
    static std::string status(const std::string& document, const char* attribute = "status")
    {
        TempDir dir;
        writeWholeFile(dir / "reply.xml", document);
        return trim(
            runProgram("xmllint", {"--xpath", std::string("string(/kitwright/@") + attribute + ")", dir / "reply.xml"})
                .out);
    }
};

// python3 -m http.server serves the mirror inside the namespace: apt fetches the product's packages over
// HTTP and the list file names the served repository.
TEST_F(Sources, InstallsFromAServedMirror)
{
    const LoopbackServer server = LoopbackServer::files(mirror.path());
    const ChildResult run = runKitwright({"install", older, "--components", "tools", "--source", server.url()});
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_EQ(dpkgStates({tools})[tools], "ii " + mirror.debVersion(product, 0, tools));
    EXPECT_NE(readWholeFile(ETC_APT + "/sources.list.d/" + product + ".list").find(server.url()), std::string::npos);
    EXPECT_NE(aptPolicy(tools).table.find(server.url()), std::string::npos);
}

// The mirror's RPM-family build, on a system that has neither dnf nor yum.
TEST_F(Sources, AnotherFamilyWithoutItsPackageTool)
{
    for (const char* tool : {"/usr/bin/dnf", "/usr/bin/yum", "/usr/bin/dnf-3"})
        unlink(tool);
    std::string vendor;
    std::string version;
    for (const auto& build : mirror.release(product, 0).get_child("builds"))
        if (build.second.get<std::string>("family") == "rpm") {
            vendor = build.second.get<std::string>("os_vendor");
            version = build.second.get<std::string>("os_version");
        }
    const std::string before = treeFingerprint(ETC_APT);
    const ChildResult run = kitwright(
        {"install", older, "--components", "tools", "--override-os-vendor", vendor, "--override-os-version", version});
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    EXPECT_NE(run.out.find(text("err_yum_not_found")), std::string::npos) << run.out;
    EXPECT_EQ(treeFingerprint(ETC_APT), before);
}

// A background installation returns at once with its start record; the status query sees the detached
// run end, with the packages installed. A second one, for the installed product, ends with its refusal.
TEST_F(Sources, BackgroundInstallation)
{
    const auto finished = [this] {
        std::string record;
        for (int i = 0; i < 1200; ++i) {
            record = runKitwright({"--query-status", "--enable-xml-output"}).out;
            if (status(record).find("busy") == std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return record;
    };
    const ChildResult started = kitwright({"install", older, "--components", "tools", "--xml"});
    EXPECT_EQ(started.exit_code, 0) << started.err;
    EXPECT_EQ(status(started.out, "error_message"), "Installation started") << started.out;
    const std::string record = finished();
    EXPECT_EQ(status(record).find("error"), std::string::npos) << record;
    EXPECT_EQ(dpkgStates({tools})[tools], "ii " + mirror.debVersion(product, 0, tools));

    const ChildResult again = kitwright({"install", older, "--components", "tools", "--xml"});
    EXPECT_EQ(status(again.out, "error_message"), "Installation started") << again.out;
    const std::string refused = finished();
    TempDir dir;
    writeWholeFile(dir / "status.xml", refused);
    const std::string error =
        runProgram("xmllint", {"--xpath", "string(/kitwright/progress/error)", dir / "status.xml"}).out;
    EXPECT_TRUE(holdsMessage(error, "err_prod_ver_already_installed")) << refused;
}

}  // namespace
