#ifndef KW_COMMON_TINYBIND_H
#define KW_COMMON_TINYBIND_H

#include <tinyxml.h>

#include <cstdint>
#include <string>

// The thin binding layer over TinyXML through which every XML document of the program is read.
// Its failures name the element with its row and column in the source, counted from 1.
namespace tinybind {

// The layer's exception, thrown and caught by value.
// Codes: 0 null element; 1 format error; -1 the file is missing or a directory; any other value is
// TinyXML's error id.
struct err {
    err(int32_t code, const std::string& message);

    int32_t code;
    std::string message;
};

// A required child element is missing (code 1).
struct notfound : err {
    explicit notfound(const std::string& message);
};

// The text is not well-formed XML for TinyXML; row and col count from 1.
struct parse_err : err {
    parse_err(int32_t code, const std::string& message, int32_t row, int32_t col);

    int32_t row;
    int32_t col;
};

// A reference to an element of a document (which keeps ownership); node is null when the element
// does not exist.
struct element {
    element(TiXmlElement* node = nullptr);  // implicit: TinyXML pointers are passed as elements

    // Moves onto the first child with the tag `name` (and, when attr is given, with attr="value").
    // When nothing fits, node becomes null and error says why; never throws.
    element& find_child(const std::string& name, const std::string& attr = "", const std::string& value = "");

    TiXmlElement* node;
    std::string error;
};

// Walks the child elements of a parent, only those with the tag `name` when it is not empty.
// The default-constructed iterator is the end.
class iterator {
public:
    iterator();
    iterator(const element& parent, const std::string& name = "");

    iterator& operator++();
    element operator*() const;
    bool operator==(const iterator& other) const;
    bool operator!=(const iterator& other) const;

private:
    std::string name;
    TiXmlElement* node;
};

class Document : public TiXmlDocument {
public:
    // An empty document, to be built or filled by parse_text.
    Document();
    // Loads the file; throws err code -1 for a missing file or a directory, parse_err for bad XML.
    explicit Document(const std::string& path);
    virtual ~Document();

    // The root element; with a non-empty name it must carry that tag.
    TiXmlElement* get_root(const std::string& name = "");

    // Replaces the content by the document in `text`. On malformed XML it returns false and keeps
    // no node, so the document has no root; the error id and description stay recorded.
    bool parse_text(const std::string& text);

    // Writes the document as TinyXML prints it. The file is replaced only once the whole text is
    // written, so a failure leaves the old content; it throws err with TinyXML's id and text.
    void save(const std::string& path) const;
};

std::string get_attribute(const element& e, const std::string& name);
std::string get_optional_attribute(const element& e, const std::string& name);
std::string get_name(const element& e);
std::string get_tag(const element& e);  // the same as get_name
// "true"/"yes" and "false"/"no", exactly.
bool get_bool_attribute(const element& e, const std::string& name);
element get_child(const element& parent, const std::string& name);
// The text of the element's only text child (a CDATA section counts as text).
std::string get_text(const element& e, bool allow_empty);
TiXmlText* first_text_node(TiXmlNode* node);
// The row and column of the node in its source, counted from 1, also in a document loaded without
// tracking them.
void get_position(const TiXmlNode* node, int& row, int& col);
void add_text(TiXmlNode* parent, const std::string& text);
// Appends an element of that name holding the text, and returns it.
TiXmlElement* add_text_child(TiXmlNode* parent, const char* name, const std::string& text);
// Replaces every control character but tab and line ends in the attribute values and texts below the
// node: XML 1.0 cannot carry them, and one stray terminal escape would make a whole reply unreadable.
void make_printable(TiXmlNode* node);
// The document as TinyXML's printer writes it with an indentation of four blanks and "\n" line breaks.
std::string print_indented(const TiXmlDocument& document);

}  // namespace tinybind

#endif
