// Installation source texts as the user, the run-control file or the web interface give them.
#include "common/error.h"
#include "fuzz/support/FuzzInput.h"
#include "installer/SourceUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = inputCString(data, size);
    SourceUrl source;
    try {
        source.assign(text);
    } catch (const error&) {
        return 0;
    }
    const std::string base = source.getBaseUrl();
    // The base ends in "/", and base plus file name is the source itself whenever it has a "/".
    if (base.empty() || base.back() != '/')
        __builtin_trap();
    if (source.url.find('/') != std::string::npos && base + source.getFileName() != source.url)
        __builtin_trap();
    if (source.isLocal() != (!source.url.empty() && source.url[0] == '/'))
        __builtin_trap();
    // An absolute path stays as given.
    if (!text.empty() && text[0] == '/' && source.url.compare(0, text.size(), text) != 0)
        __builtin_trap();
    return 0;
}
