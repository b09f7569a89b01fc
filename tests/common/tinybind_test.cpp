#include "common/tinybind.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const std::string DATA = std::string(KW_TEST_DATA_DIR) + "/tinybind/";

int lineEnds(const std::string& file)
{
    const std::string text = readWholeFile(DATA + file);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The 1-based line and column at which `needle` first occurs in the fixture.
std::pair<int, int> positionIn(const std::string& file, const std::string& needle)
{
    const std::string text = readWholeFile(DATA + file);
    const size_t at = text.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    const size_t line_start = text.rfind('\n', at == 0 ? 0 : at - 1);
    const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
    const int col = static_cast<int>(line_start == std::string::npos ? at + 1 : at - line_start);
    return {line, col};
}

std::string at(const std::pair<int, int>& pos)
{
    return " (row:" + std::to_string(pos.first) + " col:" + std::to_string(pos.second) + ")";
}

class TinybindTest : public ::testing::Test {
protected:
    TinybindTest() : doc(DATA + "products.xml") {}

    tinybind::element product(const std::string& id)
    {
        tinybind::element e(doc.get_root("products"));
        return e.find_child("product", "id", id);
    }

    tinybind::Document doc;
};

TEST(TinybindLoadTest, MissingFileAndDirectoryAreCodeMinusOne)
{
    const std::string missing = DATA + "no-such.xml";
    const std::pair<std::string, std::string> cases[] = {
        {missing, "File " + missing + " not exists"},
        // Never fetched: a remote address is not a local file.
        {"http://127.0.0.1/products.xml", "File http://127.0.0.1/products.xml not exists"},
        {"ftp://127.0.0.1/products.xml", "File ftp://127.0.0.1/products.xml not exists"},
        {DATA, DATA + " is directory, xml file expected."},
    };
    for (const auto& c : cases) {
        try {
            tinybind::Document doc(c.first);
            ADD_FAILURE() << c.first << " loaded";
        } catch (const tinybind::parse_err&) {
            ADD_FAILURE() << c.first << " gave a parse error";
        } catch (const tinybind::err& e) {
            EXPECT_EQ(e.code, -1);
            EXPECT_EQ(e.message, c.second);
        }
    }
}

TEST(TinybindLoadTest, TruncatedFilesGiveTheirPositionAndXmllintRejectsThem)
{
    struct Case {
        const char* file;
        int code;
        const char* text;
        std::pair<int, int> where;
    };
    const Case cases[] = {
        // Input ends inside the start tag: TinyXML points at the unfinished attribute.
        {"truncated-in-tag.xml", TiXmlBase::TIXML_ERROR_PARSING_ELEMENT, "Error parsing Element.",
         positionIn("truncated-in-tag.xml", "id=\"7\"")},
        // The closing tags are missing: the error stands at the end of the file, on the line after
        // the last line end.
        {"truncated-before-end-tags.xml",
         TiXmlBase::TIXML_ERROR_READING_END_TAG,
         "Error reading end tag.",
         {1 + lineEnds("truncated-before-end-tags.xml"), 1}},
    };
    for (const Case& c : cases) {
        const std::string path = DATA + c.file;
        try {
            tinybind::Document doc(path);
            ADD_FAILURE() << c.file << " loaded";
        } catch (const tinybind::parse_err& e) {
            EXPECT_EQ(e.code, c.code) << c.file;
            EXPECT_EQ(e.message, c.text) << c.file;
            EXPECT_EQ(e.row, c.where.first) << c.file;
            EXPECT_EQ(e.col, c.where.second) << c.file;
        }
        const std::string xmllint = "xmllint --noout '" + path + "' 2>/dev/null";
        EXPECT_NE(std::system(xmllint.c_str()), 0) << c.file;
    }
    const std::string good = "xmllint --noout '" + DATA + "products.xml'";
    EXPECT_EQ(std::system(good.c_str()), 0);
}

TEST_F(TinybindTest, RootByNameOrAny)
{
    EXPECT_EQ(tinybind::get_name(doc.get_root("")), "products");
    EXPECT_EQ(doc.get_root("products"), doc.RootElement());
    try {
        doc.get_root("product");
        ADD_FAILURE();
    } catch (const tinybind::err& e) {
        EXPECT_EQ(e.code, 1);
        EXPECT_EQ(e.message, "Root element name not match");
    }

    tinybind::Document empty;
    try {
        empty.get_root("");
        ADD_FAILURE();
    } catch (const tinybind::err& e) {
        EXPECT_EQ(e.code, 0);  // nothing recorded
        EXPECT_EQ(e.message, "");
    }
}

TEST_F(TinybindTest, Attributes)
{
    const tinybind::element first = product("5");
    ASSERT_TRUE(first.node);
    EXPECT_EQ(tinybind::get_attribute(first, "id"), "5");
    EXPECT_EQ(tinybind::get_attribute(first, "label"), "");  // present though empty
    EXPECT_EQ(tinybind::get_optional_attribute(first, "label"), "");
    EXPECT_EQ(tinybind::get_optional_attribute(first, "absent"), "");
    EXPECT_EQ(tinybind::get_optional_attribute(first, "enabled"), "yes");
    EXPECT_EQ(tinybind::get_name(first), "product");
    EXPECT_EQ(tinybind::get_tag(first), "product");

    try {
        tinybind::get_attribute(first, "absent");
        ADD_FAILURE();
    } catch (const tinybind::err& e) {
        EXPECT_EQ(e.code, 1);
        EXPECT_EQ(e.message, "There is no attribute 'absent' in element product" +
                                 at(positionIn("products.xml", "<product id=\"5\"")));
    }

    const tinybind::element null;
    const std::pair<const char*, std::function<void()>> uses[] = {
        {"get_attribute", [&null] { tinybind::get_attribute(null, "id"); }},
        {"get_optional_attribute", [&null] { tinybind::get_optional_attribute(null, "id"); }},
        {"get_name", [&null] { tinybind::get_name(null); }},
        {"get_tag", [&null] { tinybind::get_tag(null); }},
        {"get_bool_attribute", [&null] { tinybind::get_bool_attribute(null, "id"); }},
    };
    for (const auto& use : uses) {
        const std::optional<tinybind::err> e = thrown<tinybind::err>(use.second);
        ASSERT_TRUE(e) << use.first;
        EXPECT_EQ(e->code, 0) << use.first;
        EXPECT_EQ(e->message, "no element pointer") << use.first;
    }
}

TEST_F(TinybindTest, BooleanAttributes)
{
    const tinybind::element first = product("5");
    EXPECT_TRUE(tinybind::get_bool_attribute(first, "enabled"));
    EXPECT_FALSE(tinybind::get_bool_attribute(first, "hidden"));
    EXPECT_TRUE(tinybind::get_bool_attribute(first, "visible"));
    EXPECT_FALSE(tinybind::get_bool_attribute(first, "beta"));

    const tinybind::element second = product("7");
    const std::string where = at(positionIn("products.xml", "<product id=\"7\""));
    for (const char* name : {"enabled", "hidden", "visible"}) {  // "True", "1" and ""
        try {
            tinybind::get_bool_attribute(second, name);
            ADD_FAILURE() << name;
        } catch (const tinybind::err& e) {
            EXPECT_EQ(e.code, 1);
            EXPECT_EQ(e.message, std::string("There is incorrect boolean attribute '") + name + "' in element product" +
                                     where + ". Must be 'true' or 'false'.");
        }
    }
    try {
        tinybind::get_bool_attribute(second, "beta");
        ADD_FAILURE();
    } catch (const tinybind::err& e) {
        EXPECT_EQ(e.message, "There is no attribute 'beta' in element product" + where);
    }
}

TEST_F(TinybindTest, RequiredChild)
{
    EXPECT_EQ(tinybind::get_text(tinybind::get_child(product("5"), "name"), false), "Zanth Panel");
    try {
        tinybind::get_child(doc.get_root(""), "release");
        ADD_FAILURE();
    } catch (const tinybind::notfound& e) {
        EXPECT_EQ(e.code, 1);
        EXPECT_EQ(e.message, "There is no child element 'release' in tag 'products'");
    }
}

TEST_F(TinybindTest, FindChildByAttributeSkipsOtherTags)
{
    tinybind::element e(doc.get_root(""));
    e.find_child("product", "id", "7");
    ASSERT_TRUE(e.node);
    EXPECT_EQ(tinybind::get_name(e), "product");  // not the note with the same id
    // A loaded document keeps no positions in its nodes; the messages find the element's own.
    const std::optional<tinybind::err> missing = thrown<tinybind::err>([&e] { tinybind::get_attribute(e, "absent"); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->message, "There is no attribute 'absent' in element product" +
                                    at(positionIn("products.xml", "<product id=\"7\"")));
    EXPECT_EQ(e.error, "");

    tinybind::element plain(doc.get_root(""));
    EXPECT_EQ(plain.find_child("note").node, doc.get_root("")->FirstChildElement("note"));

    struct Case {
        const char* name;
        const char* attr;
        const char* value;
        const char* error;
    };
    const Case misses[] = {
        {"", "", "", "not specified child element name"},
        {"release", "", "", "not found child element release in element products"},
        {"product", "id", "9", "not found child element product in element products with attribute id=\"9\""},
        {"product", "label", "x", "not found child element product in element products with attribute label=\"x\""},
    };
    for (const Case& c : misses) {
        tinybind::element miss(doc.get_root(""));
        miss.find_child(c.name, c.attr, c.value);
        EXPECT_EQ(miss.node, nullptr) << c.error;
        EXPECT_EQ(miss.error, c.error);
        miss.find_child("product");  // a null element stays as it is
        EXPECT_EQ(miss.node, nullptr);
        EXPECT_EQ(miss.error, c.error);
    }
}

TEST_F(TinybindTest, IteratorVisitsChildElementsOnly)
{
    std::vector<std::string> all;
    for (tinybind::iterator it(doc.get_root(""), ""); it != tinybind::iterator(); ++it)
        all.push_back(tinybind::get_name(*it));  // the comment is skipped
    EXPECT_EQ(all, (std::vector<std::string>{"product", "note", "product"}));

    std::vector<std::string> ids;
    for (tinybind::iterator it(doc.get_root(""), "product"); it != tinybind::iterator(); ++it)
        ids.push_back(tinybind::get_attribute(*it, "id"));
    EXPECT_EQ(ids, (std::vector<std::string>{"5", "7"}));

    tinybind::iterator end;
    EXPECT_TRUE(++end == tinybind::iterator());  // stepping the end stays at the end
    EXPECT_TRUE(tinybind::iterator(product("7"), "release") == tinybind::iterator());
    EXPECT_TRUE(tinybind::iterator(tinybind::element(), "") == tinybind::iterator());
}

TEST_F(TinybindTest, Texts)
{
    const tinybind::element second = product("7");
    EXPECT_EQ(tinybind::get_text(tinybind::get_child(second, "name"), false), "<Zanth> & more");  // CDATA
    EXPECT_EQ(tinybind::get_text(tinybind::get_child(second, "mixed"), false), "text");
    EXPECT_EQ(tinybind::get_text(tinybind::get_child(second, "empty"), true), "");
    EXPECT_EQ(tinybind::get_text(tinybind::get_child(product("5"), "notes"), true), "");  // a comment only

    struct Case {
        const char* child;
        std::string message;
    };
    const Case failures[] = {
        {"split", "There is not only text node in element 'split'" + at(positionIn("products.xml", "<split>"))},
        {"empty", "Text node not found in element 'empty'" + at(positionIn("products.xml", "<empty/>"))},
    };
    for (const Case& c : failures) {
        try {
            tinybind::get_text(tinybind::get_child(second, c.child), false);
            ADD_FAILURE() << c.child;
        } catch (const tinybind::err& e) {
            EXPECT_EQ(e.code, 1);
            EXPECT_EQ(e.message, c.message);
        }
    }
}

TEST(TinybindBuildTest, AddTextAndFirstTextNode)
{
    tinybind::Document doc;
    TiXmlElement* root = static_cast<TiXmlElement*>(doc.InsertEndChild(TiXmlElement("reply")));
    EXPECT_EQ(tinybind::first_text_node(root), nullptr);
    root->InsertEndChild(TiXmlElement("status"));
    tinybind::add_text(root, "a < b & \"c\"");
    tinybind::add_text(root, "second");
    ASSERT_NE(tinybind::first_text_node(root), nullptr);
    EXPECT_EQ(tinybind::first_text_node(root)->ValueStr(), "a < b & \"c\"");
    EXPECT_EQ(root->LastChild()->ValueStr(), "second");
    EXPECT_EQ(root->LastChild()->Type(), TiXmlNode::TINYXML_TEXT);
}

TEST(TinybindParseTest, ParsedTextAndMalformedText)
{
    tinybind::Document doc;
    ASSERT_TRUE(doc.parse_text("<request><command value=\"list\"/></request>"));
    EXPECT_EQ(tinybind::get_attribute(tinybind::get_child(doc.get_root("request"), "command"), "value"), "list");

    // A second parse replaces the first document.
    ASSERT_TRUE(doc.parse_text("<reply status=\"ok\"/>"));
    EXPECT_EQ(tinybind::get_name(doc.get_root("")), "reply");
    EXPECT_EQ(doc.FirstChildElement()->NextSiblingElement(), nullptr);

    struct Case {
        const char* text;
        int code;
    };
    const Case malformed[] = {
        {"", TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY},
        {"<request><command value=\"list\"/>", TiXmlBase::TIXML_ERROR_READING_ELEMENT_VALUE},  // would leave a root
        {"not xml", TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY},
    };
    for (const Case& c : malformed) {
        EXPECT_FALSE(doc.parse_text(c.text)) << c.text;
        EXPECT_EQ(doc.RootElement(), nullptr) << c.text;
        try {
            doc.get_root("");
            ADD_FAILURE() << c.text;
        } catch (const tinybind::err& e) {
            EXPECT_EQ(e.code, c.code) << c.text;
            EXPECT_EQ(e.message, doc.ErrorDesc()) << c.text;
            EXPECT_NE(e.message, "") << c.text;
        }
    }
}

std::string errorOf(int code, const std::string& message, int row, int col)
{
    return "error " + std::to_string(code) + " " + message + " " + std::to_string(row) + ":" + std::to_string(col);
}

// Everything a reader can see of a document: its printed form, or the recorded error.
std::string outcome(const TiXmlDocument& doc)
{
    if (doc.Error())
        return errorOf(doc.ErrorId(), doc.ErrorDesc(), doc.ErrorRow(), doc.ErrorCol());
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return printer.Str();
}

// The document loaded from the file, or its error.
std::string loaded(const std::string& path)
{
    try {
        return outcome(tinybind::Document(path));
    } catch (const tinybind::parse_err& e) {
        return errorOf(e.code, e.message, e.row, e.col);
    }
}

TEST(TinybindLoadTest, FilesLoadAsTinyXmlLoadsThem)
{
    TempDir dir;
    const std::pair<const char*, std::string> files[] = {
        {"crlf.xml", "<?xml version=\"1.0\"?>\r\n<r a=\"x\r\ny\">\r\n one\rtwo\r\n</r>\r\n"},
        {"crlf-error.xml", "<r>\r\n\r\n<a></b>\r\n</r>"},
        {"nul.xml", std::string("<r>x</r>\0<garbage", 17)},
        {"nul-inside.xml", std::string("<r>x\0</r>", 9)},
        {"empty.xml", ""},
        {"blank.xml", "  \n"},
        {"bom.xml", "\xef\xbb\xbf<r>\xc3\xa9</r>"},
        {"latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9</r>"},
    };
    for (const auto& f : files) {
        writeWholeFile(dir / f.first, f.second);
        TiXmlDocument reference;
        reference.LoadFile(dir / f.first);
        EXPECT_EQ(loaded(dir / f.first), outcome(reference)) << f.first;
    }
    for (const char* fixture : {"products.xml", "truncated-in-tag.xml", "truncated-before-end-tags.xml"}) {
        TiXmlDocument reference;
        reference.LoadFile(DATA + fixture);
        EXPECT_EQ(loaded(DATA + fixture), outcome(reference)) << fixture;
    }

    // A file that cannot be read gives TinyXML's opening error.
    writeWholeFile(dir / "closed.xml", "<r/>");
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod((dir / "closed.xml").c_str(), 0), 0);
    const ChildResult unreadable = runChecksInChild([&dir] {
        ASSERT_EQ(setresuid(65534, 65534, 65534), 0);  // root reads every file
        const std::optional<tinybind::parse_err> e =
            thrown<tinybind::parse_err>([&dir] { tinybind::Document doc(dir / "closed.xml"); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->code, TiXmlBase::TIXML_ERROR_OPENING_FILE);
        EXPECT_EQ(e->message, "Failed to open file");
    });
    EXPECT_EQ(unreadable.exit_code, 0) << unreadable.out;
}

// Loading parses without tracking positions; the messages that name an element's position, and the
// error of a malformed file, still give TinyXML's own tracked row and column, line ends rewritten or not.
TEST(TinybindLoadTest, PositionsAreThoseOfATrackedParse)
{
    TempDir dir;
    const std::string body =
        "<?xml version=\"1.0\"?>\n<!-- c -->\n<r>\n\t<a x=\"1\"/>  <b>\n  text\n  <c/>\n  "
        "<d>t</d><!--x--><d>u</d>\n</b>\n</r>\n";
    std::string crlf;
    for (char c : body)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const auto& file : {std::make_pair("lf.xml", body), std::make_pair("crlf.xml", crlf)}) {
        SCOPED_TRACE(file.first);
        writeWholeFile(dir / file.first, file.second);
        TiXmlDocument reference;
        ASSERT_TRUE(reference.LoadFile(dir / file.first));
        tinybind::Document doc(dir / file.first);
        // Every element of both trees, in the same order.
        std::vector<std::pair<TiXmlElement*, TiXmlElement*>> elements;
        std::function<void(TiXmlElement*, TiXmlElement*)> walk = [&](TiXmlElement* ours, TiXmlElement* theirs) {
            for (; ours && theirs; ours = ours->NextSiblingElement(), theirs = theirs->NextSiblingElement()) {
                elements.emplace_back(ours, theirs);
                walk(ours->FirstChildElement(), theirs->FirstChildElement());
            }
        };
        walk(doc.get_root(), reference.RootElement());
        ASSERT_EQ(elements.size(), 6u);
        for (const auto& pair : elements) {
            const std::string where =
                " (row:" + std::to_string(pair.second->Row()) + " col:" + std::to_string(pair.second->Column()) + ")";
            const tinybind::element e(pair.first);
            const std::optional<tinybind::err> missing =
                thrown<tinybind::err>([&e] { tinybind::get_attribute(e, "no"); });
            ASSERT_TRUE(missing);
            EXPECT_EQ(missing->message, "There is no attribute 'no' in element " + pair.first->ValueStr() + where);
        }
        // The same position in the other messages: a is empty.
        const std::optional<tinybind::err> empty =
            thrown<tinybind::err>([&] { tinybind::get_text(tinybind::element(elements[1].first), false); });
        ASSERT_TRUE(empty);
        EXPECT_EQ(empty->message,
                  "Text node not found in element 'a' (row:" + std::to_string(elements[1].second->Row()) +
                      " col:" + std::to_string(elements[1].second->Column()) + ")");
    }

    // A malformed file: the error comes from the parse that tracks positions.
    const std::string bad = "<r>\n\t<a>\r\n  <b x='1' y>\n</a></r>";
    writeWholeFile(dir / "bad.xml", bad);
    TiXmlDocument reference;
    EXPECT_FALSE(reference.LoadFile(dir / "bad.xml"));
    const std::optional<tinybind::parse_err> e =
        thrown<tinybind::parse_err>([&dir] { tinybind::Document doc(dir / "bad.xml"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, reference.ErrorId());
    EXPECT_EQ(e->message, reference.ErrorDesc());
    EXPECT_EQ(std::make_pair(e->row, e->col), std::make_pair(reference.ErrorRow(), reference.ErrorCol()));
    EXPECT_GT(e->row, 1);
}

// Texts that end inside a multi-byte sequence: TinyXML in UTF-8 mode steps over the whole sequence
// from its lead byte, past the end of the text.
const char* const CUT_SEQUENCES[] = {
    "<?xml><r>\xf3",
    "<?xml><r>\xef",
    "<?xml><r>a\xe3",
    "<?xml><r>\xef\x41",
    "<?xml><r a='\xf3",
    "<?xml><r a=\"\xc3",
    "<?xml><?xml version='\xf3",
    "\xef\xbb\xbf<r>\xf0\x9f",
};

TEST(TinybindParseTest, TextEndingInsideASequenceReadsNothingBeyondIt)
{
    for (const char* cut : CUT_SEQUENCES) {
        // Whatever lies in memory after the text: a quote and a close that would end the element.
        std::string text;
        text.reserve(200);
        text.assign(199, 'A');
        text.replace(40, 4, "'/>\"");
        text.resize(0);
        text += cut;
        tinybind::Document doc;
        doc.parse_text(text);
        const std::string seen = outcome(doc);
        EXPECT_EQ(seen.find('A'), std::string::npos) << cut << ": " << seen;
        if (const TiXmlElement* root = doc.RootElement()) {
            for (const TiXmlAttribute* a = root->FirstAttribute(); a; a = a->Next())
                EXPECT_EQ(a->ValueStr().find('A'), std::string::npos) << cut;
        }
    }
    tinybind::Document doc;
    EXPECT_FALSE(doc.parse_text("<?xml><r>\xf3"));
    EXPECT_EQ(doc.ErrorId(), TiXmlBase::TIXML_ERROR_READING_ELEMENT_VALUE);
}

TEST(TinybindLoadTest, FileEndingInsideASequenceIsAParseError)
{
    TempDir dir;
    for (const char* cut : CUT_SEQUENCES) {
        writeWholeFile(dir / "cut.xml", cut);
        tinybind::Document text;
        text.parse_text(cut);
        EXPECT_EQ(loaded(dir / "cut.xml"), outcome(text)) << cut;  // the same document or error as the text
    }
}

TEST(TinybindSaveTest, SavesAndReloads)
{
    TempDir dir;
    const std::string path = dir / "kw_action_time.xml";
    {
        tinybind::Document doc;
        doc.InsertEndChild(TiXmlDeclaration("1.0", "UTF-8", "yes"));
        TiXmlElement reports("reports");
        TiXmlElement action("action");
        action.SetAttribute("status", "success");
        reports.InsertEndChild(action);
        doc.InsertEndChild(reports);
        doc.save(path);
    }
    tinybind::Document loaded(path);
    EXPECT_EQ(tinybind::get_attribute(tinybind::get_child(loaded.get_root("reports"), "action"), "status"), "success");
    EXPECT_FALSE(boost::filesystem::exists(path + ".tmp"));

    // TinyXML's own file output, byte for byte.
    const std::string twin = dir / "twin.xml";
    ASSERT_TRUE(loaded.SaveFile(twin));
    EXPECT_EQ(readWholeFile(path), readWholeFile(twin));
}

TEST(TinybindSaveTest, FailureKeepsTheOldFile)
{
    TempDir dir;
    tinybind::Document doc;
    ASSERT_TRUE(doc.parse_text("<reports/>"));

    const std::string missing_dir = dir / "none/kw.xml";
    try {
        doc.save(missing_dir);
        ADD_FAILURE();
    } catch (const tinybind::err& e) {
        EXPECT_EQ(e.code, TiXmlBase::TIXML_ERROR_OPENING_FILE);
        EXPECT_EQ(e.message, "Failed to open file " + missing_dir + ": No such file or directory");
    }

    // The target cannot be replaced (it is a directory): it stays, and no temporary is left.
    const std::string blocked = dir / "blocked";
    boost::filesystem::create_directory(blocked);
    boost::filesystem::create_directory(blocked + "/keep");
    try {
        doc.save(blocked);
        ADD_FAILURE();
    } catch (const tinybind::err& e) {
        EXPECT_EQ(e.code, TiXmlBase::TIXML_ERROR);
        EXPECT_EQ(e.message.rfind("Error " + blocked + ": ", 0), 0u) << e.message;
    }
    EXPECT_TRUE(boost::filesystem::is_directory(blocked + "/keep"));
    EXPECT_FALSE(boost::filesystem::exists(blocked + ".tmp"));
}

}  // namespace
