// Version texts in both orders: the RPM-style order of Version and the Debian order of DebVersion.
#include "common/Version.h"
#include "common/error.h"
#include "fuzz/support/FuzzInput.h"

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto texts = inputPair(data, size);
    if (texts.first.empty() || texts.second.empty())
        return 0;  // an empty text throws by design

    // Every version equals itself in the RPM-style order; its texts are rebuilt from the parts.
    const Version a(texts.first);
    const Version b(texts.second);
    if (a.compare(a) != 0 || b.compare(b) != 0)
        __builtin_trap();
    a.compare(b);
    b.compare(a);
    a.toString();

    // The Debian order is total over valid versions: each equals itself and the two directions
    // agree. An invalid one compares -255 ("lower") against anything, itself included.
    const DebVersion da(texts.first);
    const DebVersion db(texts.second);
    const bool valid = da.compare(da) == 0 && db.compare(db) == 0;
    const int ab = da.compare(db);
    const int ba = db.compare(da);
    if (valid && sign(ab) != -sign(ba))
        __builtin_trap();
    return 0;
}
