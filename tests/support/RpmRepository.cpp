#include "tests/support/RpmRepository.h"

#include "common/fileops.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

std::string RpmRepository::build(const std::string& dir, const std::vector<Recipe>& recipes)
{
    fileops::create_directory(dir);
    const TempDir work("/var/tmp");
    std::string commands = "{ true";
    int count = 0;
    for (const Recipe& recipe : recipes) {
        const std::string spec = work / ("recipe-" + std::to_string(++count) + ".spec");
        writeWholeFile(spec, "Name: " + recipe.name + "\nVersion: " + recipe.version +
                                 "\nRelease: 1\nSummary: test package\nLicense: none\nBuildArch: noarch\n" +
                                 recipe.header + "\n%description\ntest package\n" + recipe.body + "\n%files\n");
        commands += " && " + shell_command({"rpmbuild", "--quiet", "--define", "_topdir " + work.path() + "/top",
                                            "--define", "_rpmdir " + dir, "--define",
                                            "_build_name_fmt %{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}.rpm", "-bb", spec});
    }
    const std::string output =
        shellOutput(commands + " && " + shell_command({"createrepo_c", "-q", dir}) + "; } 2>&1 && echo ready");
    return output == "ready\n" ? std::string() : "the test repository could not be built: " + output;
}
