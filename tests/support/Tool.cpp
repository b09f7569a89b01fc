#include "tests/support/Tool.h"

#include <unistd.h>

ChildResult runProgram(const std::string& path, const std::vector<std::string>& args, const ChildOptions& options)
{
    return runInChild(
        [&] {
            std::vector<char*> argv{const_cast<char*>(path.c_str())};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execvp(path.c_str(), argv.data());
            return 127;
        },
        options);
}

ChildResult runTool(const std::string& name, const std::vector<std::string>& args, const ChildOptions& options)
{
    return runProgram(std::string(KW_TEST_TOOLS_DIR) + "/" + name, args, options);
}
