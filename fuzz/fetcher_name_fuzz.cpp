// The file fetcher's check of names from the mirror: what it lets through stays in its directory.
#include <boost/filesystem/path.hpp>

#include "common/FileFetcher.h"
#include "common/error.h"
#include "fuzz/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name = inputCString(data, size);
    const std::string dir = "/target/";
    try {
        FileFetcher::checkInside(name, dir);
    } catch (const error&) {
        return 0;
    }
    // Boost's own normalisation of the joined path keeps it under the directory.
    const std::string normal = boost::filesystem::path(dir + name).lexically_normal().string();
    if (normal != "/target" && normal.compare(0, dir.size(), dir) != 0)
        __builtin_trap();
    return 0;
}
