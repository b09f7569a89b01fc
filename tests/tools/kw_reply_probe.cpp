// kw_reply_probe [--xml] [--prefix P] STATUS MESSAGE CLASS: prints that status reply on standard
// output, as the driver does.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "installer/Reporter.h"

int main(int argc, char** argv)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--xml") == 0)
            Reporter::xmlOutput = true;
        else if (std::strcmp(argv[i], "--prefix") == 0 && i + 1 < argc)
            Reporter::statusPrefix = argv[++i];
        else
            break;
    }
    if (argc - i != 3) {
        std::cerr << "usage: kw_reply_probe [--xml] [--prefix P] STATUS MESSAGE CLASS" << std::endl;
        return 64;
    }
    std::cout << Reporter(std::atoi(argv[i]), argv[i + 1], argv[i + 2]);
    return 0;
}
