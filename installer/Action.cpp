#include "installer/Action.h"

#include <tinyxml.h>

#include "common/Package.h"
#include "common/checked_pointer.h"
#include "common/tinybind.h"

Action::~Action() = default;

std::string BaseAction::expand(const std::string& text) const
{
    return checked_pointer<const Package>(package)->evaluateString(text);
}

void BaseAction::loadBase(TiXmlElement* element, const Package* package_)
{
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    element->Accept(&printer);
    xml = printer.Str();
    package = package_;
    critical = tinybind::get_optional_attribute(element, "critical") != "false";
    displayname = expand(tinybind::get_optional_attribute(element, "displayname"));
}
