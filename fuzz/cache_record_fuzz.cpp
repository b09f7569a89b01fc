// Installed-package cache records, read one after another as the repository reads a cache file.
#include <cctype>
#include <cstdio>
#include <memory>
#include <sstream>

#include "common/Package.h"
#include "common/error.h"
#include "fuzz/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;  // fmemopen refuses an empty buffer
    std::string text = inputText(data, size);
    FILE* in = fmemopen(&text[0], text.size(), "r");
    if (!in)
        return 0;
    int lines = 0;
    try {
        for (int c; (c = fgetc(in)) != EOF;) {
            if (isspace(c))
                continue;
            ungetc(c, in);
            std::unique_ptr<Package> package(Package::createFromCache(in, &lines));
            package->getVersion().toString();
            std::ostringstream printed;
            for (uint32_t i = 0; package->getRequire(i); ++i)
                package->getRequire(i)->print(printed);
        }
    } catch (const error&) {
    }
    fclose(in);
    return 0;
}
