#include "tests/support/CommandLine.h"

Options optionsFromCommandLine(std::vector<std::string> args)
{
    args.insert(args.begin(), "kw");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return Options(static_cast<int>(args.size()), argv.data());
}
