#include "tests/support/RpmDatabase.h"

#include <sys/stat.h>

#include "common/sysutils.h"
#include "common/textutils.h"
#include "tests/support/ChildProcess.h"

RpmDatabase::RpmDatabase() : dir("/var/tmp"), home_(dir / "home")
{
    mkdir(home_.c_str(), 0755);
}

std::string RpmDatabase::install(const std::vector<Recipe>& recipes)
{
    const std::string top = dir / "top";
    std::string commands = "{ true";
    for (const Recipe& recipe : recipes) {
        const std::string spec = dir / ("recipe-" + std::to_string(++built) + ".spec");
        writeWholeFile(spec, recipe.spec);
        std::vector<std::string> words = {"rpmbuild", "--quiet", "--define", "_topdir " + top, "-bb"};
        if (!recipe.target.empty())
            words.insert(words.end(), {"--target", recipe.target});
        words.push_back(spec);
        commands += " && " + shell_command(words);
    }
    // Only the packages of this call: the RPMS tree moves aside once they are in.
    const std::string rpms = top + "/RPMS";
    const std::string output =
        shellOutput(commands + "; } >/dev/null 2>&1 && " + shell_command({"env", "HOME=" + home_, "rpm", "-i"}) +
                    " --justdb --nodeps --ignorearch --replacefiles $(find " + shell_word(rpms) +
                    " -name '*.rpm') 2>/dev/null && " +
                    shell_command({"mv", rpms, rpms + "-" + std::to_string(built)}) + " && echo ready");
    return output == "ready\n" ? std::string() : "the test packages could not be built or entered: " + output;
}

void RpmDatabase::useIn(ChildOptions& options) const
{
    options.env.push_back({"HOME", home_.c_str()});
}

std::string RpmDatabase::rpm(const std::string& arguments) const
{
    return shellOutput(shell_command({"env", "HOME=" + home_, "rpm"}) + " " + arguments);
}
