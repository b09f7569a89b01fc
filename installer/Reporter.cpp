#include "installer/Reporter.h"

#include <tinyxml.h>

#include <iostream>

bool Reporter::xmlOutput = false;
std::string Reporter::statusPrefix;

namespace {

// XML 1.0 has no way to write the other control characters, not even as references, and TinyXML's
// printer would write them as references that readers reject: an error text that carries one (such as
// a terminal escape from a tool's output) becomes a '?' instead of making the whole reply unreadable.
void drop_control_chars(std::string& text)
{
    for (char& c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
            c = '?';
    }
}

// Every attribute value and text below `node`, the subclasses' elements included.
void make_printable(TiXmlNode* node)
{
    if (TiXmlElement* element = node->ToElement()) {
        for (TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
            std::string value = a->ValueStr();
            drop_control_chars(value);
            a->SetValue(value);
        }
    } else if (TiXmlText* text = node->ToText()) {
        std::string value = text->ValueStr();
        drop_control_chars(value);
        text->SetValue(value);
    }
    for (TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling())
        make_printable(child);
}

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
    make_printable(root);

    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\n");
    document.Accept(&printer);
    out << printer.CStr() << std::endl;
    return out;
}

std::ostream& operator<<(std::ostream& out, const Reporter& reporter)
{
    return reporter.put(out);
}
