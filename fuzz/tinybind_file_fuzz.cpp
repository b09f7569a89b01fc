// XML files through tinybind::Document's own loading: the bytes as they lie on the disk.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/tinybind.h"
#include "fuzz/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/kw_fuzz_tinybind_" + std::to_string(getpid()) + ".xml";
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    const bool written = fwrite(data, 1, size, file) == size;
    if (fclose(file) != 0 || !written)
        return 0;
    try {
        tinybind::Document doc(path);
        doc.get_root();
    } catch (const tinybind::err&) {
    }
    unlink(path.c_str());
    return 0;
}
