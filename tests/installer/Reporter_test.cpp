#include "installer/Reporter.h"

#include <tinyxml.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

const std::string DECLARATION = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

struct ReplyCase {
    bool xml;
    std::string prefix;
    std::string status;
    std::string message;
    std::string errorClass;
    std::string out;  // exact bytes on standard output
    std::string err;  // exact bytes on standard error
};

std::vector<std::string> probeArgs(const ReplyCase& c)
{
    std::vector<std::string> args;
    if (c.xml)
        args.push_back("--xml");
    if (!c.prefix.empty())
        args.insert(args.end(), {"--prefix", c.prefix});
    args.insert(args.end(), {c.status, c.message, c.errorClass});
    return args;
}

// xmllint's verdict on a document: its exit code and what it wrote.
ChildResult xmllint(const std::vector<std::string>& args, const std::string& document)
{
    TempDir dir;
    writeWholeFile(dir / "reply.xml", document);
    std::vector<std::string> all = args;
    all.push_back(dir / "reply.xml");
    return runProgram("xmllint", all);
}

TEST(Reporter, RepliesAsTextAndXml)
{
    const std::vector<ReplyCase> cases = {
        // The text form: a blank line, the status word for errors and busy, the message.
        {false, "", "0", "", "", "\n\n", ""},
        {false, "", "0", "Installation started", "", "\nInstallation started\n", ""},
        {false, "", "1", "it failed", "user", "\nERROR: it failed\n", ""},
        {false, "", "2", "locked by 17", "", "\nBUSY: locked by 17\n", ""},
        {false, "install_", "7", "odd", "x", "\nodd\n", ""},
        // The XML form: only the root, attributes in the order status, error_message, error_class.
        {true, "", "0", "", "", DECLARATION + "<kitwright status=\"ok\" />\n\n", ""},
        {true, "install_", "1", "it failed", "internal",
         DECLARATION +
             "<kitwright status=\"install_error\" error_message=\"it failed\" error_class=\"internal\" />\n\n",
         "ERROR: it failed\n"},
        {true, "", "1", "", "user", DECLARATION + "<kitwright status=\"error\" />\n\n", "ERROR: \n"},
        {true, "query_", "2", "locked", "",
         DECLARATION + "<kitwright status=\"query_busy\" error_message=\"locked\" />\n\n", ""},
        {true, "", "0", "", "user", DECLARATION + "<kitwright status=\"ok\" />\n\n", ""},
        {true, "query_", "5", "", "", DECLARATION + "<kitwright status=\"query_\" />\n\n", ""},
        {true, "", "0", "a<b>&c", "",
         DECLARATION + "<kitwright status=\"ok\" error_message=\"a&lt;b&gt;&amp;c\" />\n\n", ""},
    };
    for (const ReplyCase& c : cases) {
        const ChildResult reply = runTool("kw_reply_probe", probeArgs(c));
        const std::string label = "status " + c.status + " '" + c.message + "' xml " + std::to_string(c.xml);
        EXPECT_EQ(reply.exit_code, 0) << label;
        EXPECT_EQ(reply.out, c.out) << label;
        EXPECT_EQ(reply.err, c.err) << label;
        if (c.xml) {
            EXPECT_EQ(xmllint({"--noout"}, reply.out).exit_code, 0) << label;
        }
    }
}

TEST(Reporter, XmlKeepsEveryCharacterOfTheMessage)
{
    const std::vector<std::string> messages = {
        "a <tag> & \"quoted\" 'single'\nsecond line\ttab",
        "UTF-8: \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xe4\xb8\xad",
        "reference-like text &#x41; &#xZZ &amp;",
        "]]> --> <!-- <?pi?>",
    };
    for (const std::string& message : messages) {
        const ChildResult reply = runTool("kw_reply_probe", {"--xml", "1", message, "user"});
        ASSERT_EQ(xmllint({"--noout"}, reply.out).exit_code, 0) << reply.out;
        EXPECT_EQ(xmllint({"--xpath", "string(/kitwright/@error_message)"}, reply.out).out, message + "\n");
        EXPECT_EQ(xmllint({"--xpath", "string(/kitwright/@error_class)"}, reply.out).out, "user\n");
        EXPECT_EQ(reply.err, "ERROR: " + message + "\n");
    }
}

TEST(Reporter, ControlCharactersDoNotBreakTheXmlReply)
{
    // A terminal escape copied from a tool's output into an error text.
    const ChildResult reply = runTool("kw_reply_probe", {"--xml", "1", "apt: \x1b[31mfailed\x1b[0m\x01", ""});
    ASSERT_EQ(xmllint({"--noout"}, reply.out).exit_code, 0) << reply.out;
    EXPECT_EQ(xmllint({"--xpath", "string(/kitwright/@error_message)"}, reply.out).out, "apt: ?[31mfailed?[0m?\n");
}

// A query answer: its own element inside the envelope.
class ListReporter : public Reporter {
public:
    explicit ListReporter(const TiXmlElement* list_) : Reporter(0), list(list_) {}
    std::ostream& put(std::ostream& out) const override { return putXml(out, list); }

    const TiXmlElement* list;
};

TEST(Reporter, SubclassesWrapTheirElementInTheEnvelope)
{
    TiXmlElement list("releases");
    TiXmlElement release("release");
    release.SetAttribute("id", "zanth-18");
    release.LinkEndChild(new TiXmlText("Zanth 18 & more"));
    list.InsertEndChild(release);

    std::ostringstream out;
    const Reporter& reply = ListReporter(&list);
    out << reply;  // the subclass's put, through the base
    EXPECT_EQ(out.str(), DECLARATION +
                             "<kitwright status=\"ok\">\n"
                             "    <releases>\n"
                             "        <release id=\"zanth-18\">Zanth 18 &amp; more</release>\n"
                             "    </releases>\n"
                             "</kitwright>\n\n");
    // The caller's element stays its own, unchanged.
    EXPECT_EQ(list.Parent(), nullptr);
    EXPECT_EQ(list.FirstChildElement("release")->GetText(), std::string("Zanth 18 & more"));
}

TEST(Reporter, ConstructorsLeaveTheRestEmpty)
{
    const Reporter bare(2);
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.message, "");
    EXPECT_EQ(bare.errorClass, "");
    const Reporter text(1, "text");
    EXPECT_EQ(text.message, "text");
    EXPECT_EQ(text.errorClass, "");
    const Reporter full(1, std::string("text"), "user");
    EXPECT_EQ(full.errorClass, "user");
}

}  // namespace
