#include "installer/InstTypes.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installer/Build.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "tests/support/thrown.h"

namespace {

boost::shared_ptr<Build> buildOf(const std::string& product_id, const std::string& product_name)
{
    boost::shared_ptr<Product> product(
        new Product(product_id, product_name, false, {{"key"}}, {}, {}, "", "", "", "", {}));
    boost::shared_ptr<Release> release(new Release(product, product_id + "-18", "", "", "18.0", "17.0"));
    boost::shared_ptr<Build> build(new Build(release, "Linux", "Debian", "12", "x86_64", "", "", "b.inf3", ""));
    release->add_build(build);
    return build;
}

InstTypes::type_t declared(const std::vector<std::string>& names, const std::string& description)
{
    return {names, description, InstTypes::DECLARED, {"base", "panel"}};
}

// The types a first installation registers: the build file's, then the generated ones.
InstTypes registered()
{
    InstTypes table;
    const boost::shared_ptr<Build> zanth = buildOf("zanth", "Zanth Panel");
    table.addType(*zanth, declared({"Typical", "Standard"}, "typical"));
    table.addType(*zanth, declared({"Custom"}, "declared custom"));
    table.addType(*zanth, {{"Full"}, "Install all components.", InstTypes::FULL, {}});
    table.addType(*zanth, {{"Custom"}, "generated custom", InstTypes::CUSTOM, {}});
    table.addType(*buildOf("zud", "ZUD"), {{"Full"}, "zud full", InstTypes::FULL, {}});
    // A second build of the same product joins its record.
    table.addType(*buildOf("zanth", "Other name"), declared({"Mail"}, "mail"));
    return table;
}

TEST(InstTypesTest, ProductsInOrderOfFirstRegistration)
{
    const InstTypes table = registered();
    ASSERT_EQ(table.getProducts().size(), 2u);
    EXPECT_EQ(table.findProduct("zanth"), table.getProducts().begin());
    EXPECT_EQ(table.findProduct("zud"), table.getProducts().begin() + 1);
    EXPECT_EQ(table.findProduct("ZUD"), table.getProducts().end());  // ids compare exactly
    EXPECT_EQ(table.findProduct(""), table.getProducts().end());

    const InstTypes::product_t& zanth = table.getProduct("zanth");
    EXPECT_EQ(zanth.name, "Zanth Panel");
    std::vector<std::string> descriptions;
    for (const InstTypes::type_t& type : zanth.types)
        descriptions.push_back(type.description);
    EXPECT_EQ(descriptions, (std::vector<std::string>{"typical", "declared custom", "Install all components.",
                                                      "generated custom", "mail"}));
    EXPECT_EQ(table.getProduct("zud").types.size(), 1u);
}

TEST(InstTypesTest, TypesByNameIgnoringCase)
{
    const InstTypes table = registered();
    const InstTypes::product_t& zanth = table.getProduct("zanth");
    struct Case {
        const char* name;
        const char* description;
    };
    for (const Case& c : std::vector<Case>{{"Full", "Install all components."},
                                           {"FULL", "Install all components."},
                                           {"full", "Install all components."},
                                           {"standard", "typical"},
                                           {"TYPICAL", "typical"},
                                           {"custom", "declared custom"},  // registered before the generated one
                                           {"mAIL", "mail"}})
        EXPECT_EQ(InstTypes::getType(zanth, c.name).description, c.description) << c.name;
    EXPECT_EQ(InstTypes::getType(table.getProduct("zud"), "full").description, "zud full");
}

TEST(InstTypesTest, LookupErrors)
{
    const InstTypes table = registered();
    const InstTypes::product_t& zanth = table.getProduct("zanth");
    struct Case {
        std::function<void()> call;
        std::string text;
    };
    const std::vector<Case> cases = {
        {[&] { InstTypes::getType(zanth, ""); }, "InstTypes data: tname is empty in request"},
        {[&] { InstTypes::getType(zanth, "Ful"); }, "InstTypes data: can't get install type from product: zanth/Ful"},
        {[&] { InstTypes::getType(zanth, "Fullx"); },
         "InstTypes data: can't get install type from product: zanth/Fullx"},
        {[&] { InstTypes::getType(zanth, "Typical,Standard"); },
         "InstTypes data: can't get install type from product: zanth/Typical,Standard"},
        {[&] { table.getProduct("folioforge"); }, "InstTypes data: can't get product by id='folioforge'"},
        // A product that registered no types, as in an upgrade.
        {[&] { InstTypes().getProduct("zanth"); }, "InstTypes data: can't get product by id='zanth'"},
    };
    for (const Case& c : cases) {
        const error e = caught(c.call);
        EXPECT_EQ(e.getText(), c.text + "\n");
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3)) << c.text;
    }
}

TEST(InstTypesTest, MalformedTypesAreInternalErrors)
{
    InstTypes table;
    const boost::shared_ptr<Build> build = buildOf("zanth", "Zanth");
    const boost::shared_ptr<Build> orphan(
        new Build(boost::shared_ptr<Release>(), "Linux", "Debian", "12", "x86_64", "", "", "a.inf3", ""));
    struct Case {
        std::function<void()> call;
        std::string text;
    };
    const Case cases[] = {
        {[&] {
             table.addType(*build, {{}, "no names", InstTypes::FULL, {}});
         },
         internal_error("installer/InstTypes.cpp", 83).getText()},
        {[&] {
             table.addType(*build, {{"Mail"}, "no components", InstTypes::DECLARED, {}});
         },
         internal_error("installer/InstTypes.cpp", 84).getText()},
        // A build outside any release has no fixed line: only the source file is known.
        {[&] {
             table.addType(*orphan, {{"Full"}, "no release", InstTypes::FULL, {}});
         },
         ""},
    };
    for (const Case& c : cases) {
        const error e = caught(c.call);
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        if (c.text.empty())
            EXPECT_NE(e.getText().find(", installer/InstTypes.cpp, line "), std::string::npos) << e.getText();
        else
            EXPECT_EQ(e.getText(), c.text);
    }
    EXPECT_TRUE(table.getProducts().empty());
}

}  // namespace
