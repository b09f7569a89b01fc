#include "tests/support/DebBuilder.h"

#include <gtest/gtest.h>

#include "common/sysutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// Runs a shell command that prints nothing, failing the test when it fails.
void run(const std::string& command)
{
    EXPECT_EQ(shellOutput("{ " + command + "; } && echo done"), "done\n") << command;
}

}  // namespace

std::string DebBuilder::build(const std::string& control_text, const std::string& file_name) const
{
    const TempDir root(dir);
    run(shell_command({"mkdir", "-p", root / "DEBIAN", root / "usr/share/kw"}));
    writeWholeFile(root / "usr/share/kw" + "/" + file_name, "data\n");
    writeWholeFile(root / "DEBIAN/control", control_text);
    const std::string path = dir + "/" + file_name;
    // Package files hold the root user's ownership, whoever builds them.
    run(shell_command({"dpkg-deb", "--root-owner-group", "--build", root.path(), path}) + " >/dev/null");
    return path;
}

std::string DebBuilder::assemble(const std::string& control_text, const std::string& file_name) const
{
    const TempDir parts(dir);
    writeWholeFile(parts / "control", control_text);
    writeWholeFile(parts / "debian-binary", "2.0\n");
    const std::string path = dir + "/" + file_name;
    run(shell_command({"rm", "-f", path}) + " && " + shell_command({"cd", parts.path()}) +
        " && tar -czf control.tar.gz ./control && " + "tar -czf data.tar.gz -T /dev/null && " +
        shell_command({"ar", "rc", path, "debian-binary", "control.tar.gz", "data.tar.gz"}));
    return path;
}

std::string DebBuilder::control(const std::string& name, const std::string& version, const std::string& arch,
                                const std::string& more)
{
    return "Package: " + name + "\nVersion: " + version + "\nArchitecture: " + arch +
           "\nMaintainer: t <t@example.org>\n" + more + "Description: a test package\n";
}
