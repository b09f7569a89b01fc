// Package records of build files and the extension catalogue: "package" elements in XML.
#include <memory>

#include "common/Package.h"
#include "common/error.h"
#include "common/tinybind.h"
#include "fuzz/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tinybind::Document doc;
    if (!doc.parse_text(inputText(data, size)) || !doc.RootElement())
        return 0;
    // The root itself, or each "package" child of it.
    std::vector<tinybind::element> records{doc.RootElement()};
    for (tinybind::iterator it(doc.RootElement(), "package"); it != tinybind::iterator(); ++it)
        records.push_back(*it);
    for (const tinybind::element& record : records) {
        for (Package::type_t type : {Package::TYPE_BUILD, Package::TYPE_EXTENSION}) {
            try {
                std::unique_ptr<Package> package(Package::createFromXml(record, type));
                package->getFileName();
                for (uint32_t i = 0; package->getRequire(i); ++i)
                    package->getRequire(i)->getName();
            } catch (const error&) {
            } catch (const tinybind::err&) {
            }
        }
    }
    return 0;
}
