// XML texts through tinybind::Document::parse_text and the accessors over whatever tree results.
#include <functional>

#include "common/tinybind.h"
#include "fuzz/support/FuzzInput.h"

namespace {

// Reads every element the way the program's readers do; format errors are expected answers.
void walk(const tinybind::element& e, int depth)
{
    if (depth > 64)
        return;
    const std::function<void()> reads[] = {
        [&] { tinybind::get_text(e, true); },
        [&] { tinybind::get_attribute(e, "id"); },
        [&] { tinybind::get_bool_attribute(e, "enabled"); },
        [&] { tinybind::get_child(e, "name"); },
    };
    for (const auto& read : reads) {
        try {
            read();
        } catch (const tinybind::err&) {
        }
    }
    tinybind::get_optional_attribute(e, "version");
    tinybind::element child(e);
    child.find_child("package", "name", "foo");
    for (tinybind::iterator it(e); it != tinybind::iterator(); ++it)
        walk(*it, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tinybind::Document doc;
    if (!doc.parse_text(inputText(data, size)))
        return 0;
    try {
        walk(doc.get_root(), 0);
    } catch (const tinybind::err&) {
    }
    return 0;
}
