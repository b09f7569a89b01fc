#include "common/tinybind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/fileops.h"

namespace tinybind {

namespace {

const char* const NO_ELEMENT = "no element pointer";

void require_node(const element& e)
{
    if (!e.node)
        throw err(0, NO_ELEMENT);
}

// TinyXML in UTF-8 mode steps over a whole multi-byte sequence from its lead byte, and looks a few
// bytes ahead in places, without watching for the end of the text: a text ending in a lead byte is
// read past its NUL. This many zero bytes after the text keep every such step inside the buffer
// (the longest sequence is four bytes).
const size_t PADDING = 8;

// The text up to its first NUL, where TinyXML's parse stops anyway, followed by the zero padding.
std::string padded(const std::string& text)
{
    std::string buffer(text, 0, strnlen(text.data(), text.size()));
    buffer.append(PADDING, '\0');
    return buffer;
}

// TinyXML's own tab size, with which it tracks the row and column of every node.
const int TRACKING_TAB_SIZE = 4;

// Reads the file as TinyXML's own loader does, into one buffer followed by the zero padding: the text
// ends at the first NUL, and line ends CR LF and lone CR become LF (a text without CR is left as it
// was read). Null when the file cannot be opened or read.
std::unique_ptr<char[]> read_padded(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status;
    size_t capacity = fstat(fd, &status) == 0 && status.st_size > 0 ? static_cast<size_t>(status.st_size) : 4096;
    std::unique_ptr<char[]> buffer(new char[capacity + PADDING]);
    size_t length = 0;
    for (;;) {
        if (length == capacity) {
            // The file grew, or its size was unknown.
            std::unique_ptr<char[]> larger(new char[2 * capacity + PADDING]);
            memcpy(larger.get(), buffer.get(), length);
            buffer.swap(larger);
            capacity *= 2;
        }
        const ssize_t got = read(fd, buffer.get() + length, capacity - length);
        if (got > 0) {
            length += static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        close(fd);
        if (got < 0)
            return nullptr;
        break;
    }
    char* text = buffer.get();
    if (const void* nul = memchr(text, '\0', length))
        length = static_cast<size_t>(static_cast<const char*>(nul) - text);
    if (memchr(text, '\r', length)) {
        size_t kept = 0;
        for (size_t i = 0; i < length; ++i) {
            if (text[i] != '\r') {
                text[kept++] = text[i];
                continue;
            }
            text[kept++] = '\n';
            if (i + 1 < length && text[i + 1] == '\n')
                ++i;
        }
        length = kept;
    }
    memset(text + length, 0, PADDING);
    return buffer;
}

// A document loaded from a file is parsed without tracking positions (tab size 0). The position of
// one of its elements is found when a message names it: the file is parsed again with tracking, and
// the element at the same place in the tree gives its row and column.
void tracked_position(const TiXmlNode* node, const TiXmlDocument& document, int& row, int& col)
{
    std::vector<int> path;
    for (const TiXmlNode* n = node; n->Parent(); n = n->Parent()) {
        int index = 0;
        for (const TiXmlNode* sibling = n->PreviousSibling(); sibling; sibling = sibling->PreviousSibling())
            ++index;
        path.push_back(index);
    }
    const std::unique_ptr<char[]> text = read_padded(document.ValueStr());
    if (!text)
        return;
    TiXmlDocument tracked;
    tracked.SetTabSize(TRACKING_TAB_SIZE);
    tracked.Parse(text.get(), nullptr, TIXML_DEFAULT_ENCODING);
    const TiXmlNode* found = &tracked;
    for (auto index = path.rbegin(); index != path.rend() && found; ++index) {
        found = found->FirstChild();
        for (int i = 0; i < *index && found; ++i)
            found = found->NextSibling();
    }
    // A file that changed since it was loaded may hold no such node: the untracked position stays.
    if (found && found->Type() == node->Type() && found->ValueStr() == node->ValueStr()) {
        row = found->Row();
        col = found->Column();
    }
}

std::string position(const TiXmlElement* node)
{
    int row = 0;
    int col = 0;
    get_position(node, row, col);
    return " (row:" + std::to_string(row) + " col:" + std::to_string(col) + ")";
}

}  // namespace

// TinyXML's Row() and Column() already add 1 to the positions it keeps.
void get_position(const TiXmlNode* node, int& row, int& col)
{
    row = node->Row();
    col = node->Column();
    const TiXmlDocument* document = node->GetDocument();
    if (document && document->TabSize() == 0)
        tracked_position(node, *document, row, col);
}

err::err(int32_t code_, const std::string& message_) : code(code_), message(message_) {}

notfound::notfound(const std::string& message_) : err(1, message_) {}

parse_err::parse_err(int32_t code_, const std::string& message_, int32_t row_, int32_t col_)
    : err(code_, message_), row(row_), col(col_)
{
}

element::element(TiXmlElement* node_) : node(node_) {}

element& element::find_child(const std::string& name, const std::string& attr, const std::string& value)
{
    if (!node)
        return *this;
    if (name.empty()) {
        node = nullptr;
        error = "not specified child element name";
        return *this;
    }
    for (TiXmlElement* child = node->FirstChildElement(name); child; child = child->NextSiblingElement(name)) {
        if (attr.empty()) {
            node = child;
            return *this;
        }
        const std::string* found = child->Attribute(attr);
        if (found && *found == value) {
            node = child;
            return *this;
        }
    }
    error = "not found child element " + name + " in element " + node->ValueStr();
    if (!attr.empty())
        error += " with attribute " + attr + "=\"" + value + "\"";
    node = nullptr;
    return *this;
}

iterator::iterator() : node(nullptr) {}

iterator::iterator(const element& parent, const std::string& name_) : name(name_), node(nullptr)
{
    if (parent.node)
        node = name.empty() ? parent.node->FirstChildElement() : parent.node->FirstChildElement(name);
}

iterator& iterator::operator++()
{
    if (node)
        node = name.empty() ? node->NextSiblingElement() : node->NextSiblingElement(name);
    return *this;
}

element iterator::operator*() const
{
    return element(node);
}

bool iterator::operator==(const iterator& other) const
{
    return node == other.node;
}

bool iterator::operator!=(const iterator& other) const
{
    return node != other.node;
}

Document::Document() = default;

Document::Document(const std::string& path) : TiXmlDocument(path)
{
    if (!fileops::exists(path))
        throw err(-1, "File " + path + " not exists");
    if (fileops::is_directory(path))
        throw err(-1, path + " is directory, xml file expected.");
    const std::unique_ptr<char[]> text = read_padded(path);
    if (!text) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        throw parse_err(ErrorId(), ErrorDesc(), ErrorRow(), ErrorCol());
    }
    // Tracking the row and column of every node costs a good part of the parse: the positions are
    // found again when an error or a message needs them (see tracked_position).
    SetTabSize(0);
    Parse(text.get(), nullptr, TIXML_DEFAULT_ENCODING);
    if (Error()) {
        Clear();
        SetTabSize(TRACKING_TAB_SIZE);
        Parse(text.get(), nullptr, TIXML_DEFAULT_ENCODING);
        throw parse_err(ErrorId(), ErrorDesc(), ErrorRow(), ErrorCol());
    }
}

Document::~Document() = default;

TiXmlElement* Document::get_root(const std::string& name)
{
    TiXmlElement* root = FirstChildElement();
    if (!root)
        throw err(ErrorId(), ErrorDesc());
    if (!name.empty() && root->ValueStr() != name)
        throw err(1, "Root element name not match");
    return root;
}

bool Document::parse_text(const std::string& text)
{
    Clear();
    Parse(padded(text).data(), nullptr, TIXML_DEFAULT_ENCODING);
    if (!Error())
        return true;
    // What TinyXML built before the error is a fragment, not the sender's document.
    Clear();
    return false;
}

void Document::save(const std::string& path) const
{
    const std::string temporary = path + ".tmp";
    int id = TIXML_ERROR_OPENING_FILE;
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    FILE* file = fd < 0 ? nullptr : fdopen(fd, "w");
    if (file) {
        id = TIXML_ERROR;
        bool written = SaveFile(file) && fflush(file) == 0 && fsync(fileno(file)) == 0;
        if (fclose(file) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0)
            return;
    }
    const int saved_errno = errno;
    if (fd >= 0 && !file)
        close(fd);
    unlink(temporary.c_str());
    throw err(id, std::string(errorString[id]) + " " + path + ": " + strerror(saved_errno));
}

std::string get_attribute(const element& e, const std::string& name)
{
    require_node(e);
    const std::string* value = e.node->Attribute(name);
    if (!value)
        throw err(1, "There is no attribute '" + name + "' in element " + e.node->ValueStr() + position(e.node));
    return *value;
}

std::string get_optional_attribute(const element& e, const std::string& name)
{
    require_node(e);
    const std::string* value = e.node->Attribute(name);
    return value ? *value : std::string();
}

std::string get_name(const element& e)
{
    require_node(e);
    return e.node->ValueStr();
}

std::string get_tag(const element& e)
{
    return get_name(e);
}

bool get_bool_attribute(const element& e, const std::string& name)
{
    const std::string value = get_attribute(e, name);
    if (value == "true" || value == "yes")
        return true;
    if (value == "false" || value == "no")
        return false;
    throw err(1, "There is incorrect boolean attribute '" + name + "' in element " + e.node->ValueStr() +
                     position(e.node) + ". Must be 'true' or 'false'.");
}

element get_child(const element& parent, const std::string& name)
{
    require_node(parent);
    TiXmlElement* child = parent.node->FirstChildElement(name);
    if (!child)
        throw notfound("There is no child element '" + name + "' in tag '" + parent.node->ValueStr() + "'");
    return element(child);
}

std::string get_text(const element& e, bool allow_empty)
{
    require_node(e);
    const TiXmlText* text = nullptr;
    for (const TiXmlNode* child = e.node->FirstChild(); child; child = child->NextSibling()) {
        if (!child->ToText())
            continue;
        if (text)
            throw err(1, "There is not only text node in element '" + e.node->ValueStr() + "'" + position(e.node));
        text = child->ToText();
    }
    if (text)
        return text->ValueStr();
    if (allow_empty)
        return std::string();
    throw err(1, "Text node not found in element '" + e.node->ValueStr() + "'" + position(e.node));
}

TiXmlText* first_text_node(TiXmlNode* node)
{
    for (TiXmlNode* child = node ? node->FirstChild() : nullptr; child; child = child->NextSibling())
        if (child->ToText())
            return child->ToText();
    return nullptr;
}

void add_text(TiXmlNode* parent, const std::string& text)
{
    parent->InsertEndChild(TiXmlText(text));
}

TiXmlElement* add_text_child(TiXmlNode* parent, const char* name, const std::string& text)
{
    TiXmlElement* element = new TiXmlElement(name);
    add_text(element, text);
    parent->LinkEndChild(element);
    return element;
}

void make_printable(TiXmlNode* node)
{
    // XML 1.0 has no way to write the other control characters, not even as references (TinyXML's
    // printer writes references that readers reject), so each becomes a '?'.
    auto drop_control_chars = [](std::string& text) {
        for (char& c : text) {
            const unsigned char byte = static_cast<unsigned char>(c);
            if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
                c = '?';
        }
    };
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

std::string print_indented(const TiXmlDocument& document)
{
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\n");
    document.Accept(&printer);
    return printer.Str();
}

}  // namespace tinybind
