// The query answers of the built program against the generated mirror, in text and in XML (xmllint
// judges the XML). Several queries configure the product's package sources on the way: every one must
// leave /etc/apt byte-identical (sha256sum over the tree).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/textutils.h"
#include "tests/support/EndToEnd.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

class Queries : public EndToEndTest {
protected:
    const std::string product = mirror.list("products", "id").front();
    const std::string second = mirror.list("products", "id").back();
    const std::string newer = mirror.release(product, 1).get<std::string>("id");

    struct Query {
        std::vector<std::string> args;
        std::vector<std::string> shown;  // texts the answer holds
        bool xml = true;                 // also asked in XML (settings have no XML form)
    };

    // Each query in text and in XML: code 0, the texts shown, well-formed XML with status "ok", and
    // /etc/apt as it was.
    void check(const std::vector<Query>& queries)
    {
        for (const Query& query : queries) {
            for (const bool xml : {false, true}) {
                if (xml && !query.xml)
                    continue;
                std::vector<std::string> args = query.args;
                // The command syntax names the XML switch apart from the long options.
                if (xml)
                    args.push_back(args.front()[0] == '-' ? "--enable-xml-output" : "--xml");
                std::string line;
                for (const std::string& arg : args)
                    line += arg + " ";
                SCOPED_TRACE(line);
                const std::string before = treeFingerprint("/etc/apt");
                const ChildResult run = kitwright(args);
                EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
                for (const std::string& shown : query.shown)
                    EXPECT_NE(run.out.find(shown), std::string::npos) << shown << " in\n" << run.out;
                EXPECT_EQ(run.out.find("ERROR"), std::string::npos) << run.out;
                if (xml) {
                    TempDir dir;
                    writeWholeFile(dir / "reply.xml", run.out);
                    EXPECT_EQ(runProgram("xmllint", {"--noout", dir / "reply.xml"}).exit_code, 0) << run.out;
                    std::string status =
                        runProgram("xmllint", {"--xpath", "string(/kitwright/@status)", dir / "reply.xml"}).out;
                    status = trim(status);
                    EXPECT_EQ(status, "ok") << run.out;
                }
                EXPECT_EQ(treeFingerprint("/etc/apt"), before);
            }
        }
    }

    std::vector<std::string> componentNames(bool inTypesOnly) const
    {
        std::vector<std::string> names;
        for (const auto& item : mirror.owner(product).get_child("components"))
            if (!item.second.get<bool>("hidden") && item.second.get<std::string>("environment").empty() &&
                (!inTypesOnly || item.second.get<bool>("in_types")))
                names.push_back(item.second.get<std::string>("name"));
        return names;
    }
};

TEST_F(Queries, CatalogueAnswers)
{
    check({
        {{"list", "all"}, {product, newer}},
        {{"--show-all-releases"}, {newer}},
        {{"--show-releases", "--select-product-id", product, "--select-release-latest"}, {newer}},
        {{"list"}, {product, second}},
        {{"list", product}, {newer}},
        // The operating-system list has no XML form.
        {{"--show-os-list", "--select-product-id", product, "--select-release-latest"}, {"Debian"}, false},
    });
}

// Answers that need the component tree, some of them after the sources were configured and the
// installed states computed.
TEST_F(Queries, ComponentAnswers)
{
    const std::vector<std::string> components = componentNames(false);
    check({
        {{"--show-components", "--select-product-id", product, "--select-release-latest"}, components},
        {{"--show-components", "--show-options", "--select-product-id", product, "--select-release-latest"},
         components,
         false},
        {{"list", product, newer, "--components"}, components},
        {{"list", product, newer, "--components", "--options"}, components, false},
        {{"--show-installation-types", "--select-product-id", product, "--select-release-latest"}, {"typical"}},
        {{"list", product, newer, "--presets"}, {"typical"}},
        {{"list", product, newer, "--sources"}, {mirror.path()}},
    });
}

// Without a release selector only the catalogue-wide listings answer; --show-releases with a selector
// that cannot be resolved still lists the releases.
TEST_F(Queries, SelectorRules)
{
    const ChildResult unselected = kitwright({"--show-os-list"});
    EXPECT_EQ(unselected.exit_code, 1);
    EXPECT_NE(unselected.out.find(text("releases_no_selected")), std::string::npos) << unselected.out;

    const ChildResult current =
        kitwright({"--show-releases", "--select-product-id", product, "--select-release-current"});
    EXPECT_EQ(current.exit_code, 0) << current.out << current.err;
    EXPECT_NE(current.out.find(newer), std::string::npos) << current.out;
}

}  // namespace
