#include "installer/Detector.h"

#include "common/error.h"
#include "common/format_message.h"
#include "installer/ExecXmlOutputDetector.h"

namespace Detecting {

Detector::~Detector() = default;

boost::shared_ptr<Detector> Detector::create(const tinybind::element& element)
{
    const std::string tag = tinybind::get_tag(element);
    if (tag == "read-exec-xml-output") {
        const std::string valueAttr = tinybind::get_attribute(element, "value-attr");
        const std::string commandLine = tinybind::get_attribute(element, "command-line");
        return boost::shared_ptr<Detector>(new ExecXmlOutputDetector(commandLine, valueAttr));
    }
    throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
        << format_message("Unknown detection type '%s' has been occured", tag);
}

std::string detect(const tinybind::element& parent, bool& found)
{
    found = false;
    for (tinybind::iterator child(parent), end; child != end; ++child) {
        const std::string value = Detector::create(*child)->detect(found);
        if (found)
            return value;
    }
    return std::string();
}

}  // namespace Detecting
