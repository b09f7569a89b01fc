#include "installer/Reporter.h"

#include <tinyxml.h>

#include <iostream>

#include "common/Messages.h"
#include "common/tinybind.h"

bool Reporter::xmlOutput = false;
std::string Reporter::statusPrefix;

namespace {

const char* status_word(int status)
{
    switch (status) {
    case 0: return "ok";
    case 1: return "error";
    case 2: return "busy";
    default: return "";
    }
}

}  // namespace

Reporter::Reporter(int status_, const std::string& message_, const char* errorClass_)
    : status(status_), message(message_), errorClass(errorClass_ ? errorClass_ : "")
{
}

Reporter::Reporter(int status_) : Reporter(status_, std::string(), nullptr) {}

Reporter::Reporter(int status_, const char* message_)
    : Reporter(status_, std::string(message_ ? message_ : ""), nullptr)
{
}

Reporter::~Reporter() = default;

std::ostream& Reporter::put(std::ostream& out) const
{
    if (xmlOutput) {
        if (status == 1)
            std::cerr << "ERROR: " << message << std::endl;
        return putXml(out, nullptr);
    }
    out << (status == 1 ? "\nERROR: " : status == 2 ? "\nBUSY: " : "\n") << message << std::endl;
    return out;
}

std::ostream& Reporter::putXml(std::ostream& out, const TiXmlNode* child) const
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", "yes"));
    TiXmlElement* root = new TiXmlElement("kitwright");
    root->SetAttribute("status", statusPrefix + status_word(status));
    if (!message.empty()) {
        root->SetAttribute("error_message", message);
        if (!errorClass.empty())
            root->SetAttribute("error_class", errorClass);
    }
    if (child)
        root->InsertEndChild(*child);
    document.LinkEndChild(root);
    tinybind::make_printable(root);
    out << tinybind::print_indented(document) << std::endl;
    return out;
}

error Reporter::upgradeTargetMissing(const char* key)
{
    const Messages messages;
    return error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE)
           << messages.get("err_cmd_upgrade_no_smth") << messages.get(key);
}

std::ostream& operator<<(std::ostream& out, const Reporter& reporter)
{
    return reporter.put(out);
}
