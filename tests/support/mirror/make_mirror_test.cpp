#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/GeneratedMirror.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> filesUnder(const std::string& root)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string xpath(const std::string& file, const std::string& expression)
{
    std::string out = runProgram("xmllint", {"--xpath", expression, file}).out;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

}  // namespace

TEST(MakeMirror, WritesWellFormedCatalogueListedInItsManifest)
{
    GeneratedMirror mirror;
    std::vector<std::string> xml = mirror.list("xml_files");
    ASSERT_FALSE(xml.empty());
    std::vector<std::string> args{"--noout"};
    for (const auto& file : xml)
        args.push_back(mirror.path() + "/" + file);
    const ChildResult lint = runProgram("xmllint", args);
    EXPECT_EQ(lint.exit_code, 0) << lint.err;

    // The manifest names every file written, and every build file it names exists.
    std::vector<std::string> listed = xml;
    listed.push_back("mirror.json");
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(filesUnder(mirror.path()), listed);
    for (const auto& product : mirror.manifest().get_child("products"))
        for (const auto& release : product.second.get_child("releases"))
            for (const auto& build : release.second.get_child("builds"))
                EXPECT_TRUE(fs::exists(mirror.path() + "/" + build.second.get<std::string>("config")));
}

TEST(MakeMirror, IndexFilesDifferAndCarryTheCatalogueFeatures)
{
    GeneratedMirror mirror;
    const std::string products = mirror.path() + "/products.inf3";
    const std::string versions = mirror.path() + "/versions.inf3";
    EXPECT_EQ(xpath(products, "count(//products/product)"), "2");
    EXPECT_EQ(xpath(versions, "count(//products/product)"), "1");
    EXPECT_EQ(xpath(products, "string(//product[@id='folioforge']/incompatible_with/@prod_id)"), "zud");
    EXPECT_EQ(xpath(products, "count(//addon) + count(//lazy_addon)"), "2");

    const std::string zanth = mirror.path() + "/zanth/products.inf3";
    EXPECT_EQ(xpath(zanth, "count(//release[@promoted_tags])"), "1");
    EXPECT_EQ(xpath(zanth, "count(//release[@hide_tags])"), "2");
    EXPECT_EQ(xpath(zanth, "count(//release/caution)"), "1");
    EXPECT_EQ(xpath(zanth, "count(//best_with/version)"), "3");
    EXPECT_EQ(xpath(zanth, "count(//release[1]/build)"), "2");
    EXPECT_EQ(xpath(zanth, "string(//release[1]/build[2]/@os_vendor)"), "AlmaLinux");

    const auto& firstRelease = mirror.manifest().get_child("products").front().second.get_child("releases");
    const std::string build =
        mirror.path() + "/" + firstRelease.front().second.get_child("builds").front().second.get<std::string>("config");
    for (const char* expression :
         {"count(//component/keypackages/keyprovide)", "count(//component/keypackages/nokeypackage)",
          "count(//component[@environment='qz'])", "count(//component[@hidden='true'])",
          "count(//group[@type='radio']/switch_rules/allow)", "count(//group/group)",
          "count(/build/thirdparty/package)", "count(/build/extras)", "count(/build/bootstrapper)",
          "count(/build/examine)", "count(//package/settings)", "count(/build/installation_types/type)"})
        EXPECT_NE(xpath(build, expression), "0") << expression;
}

TEST(MakeMirror, IsDeterministicAndTakesAModelOverride)
{
    GeneratedMirror first;
    GeneratedMirror second;
    for (const auto& file : first.list("xml_files"))
        EXPECT_EQ(readWholeFile(first.path() + "/" + file), readWholeFile(second.path() + "/" + file)) << file;
    EXPECT_EQ(readWholeFile(first.path() + "/mirror.json").size(),
              readWholeFile(second.path() + "/mirror.json").size());

    TempDir dir;
    writeWholeFile(dir / "model.json", R"({"addons": [], "builds_per_release": 1})");
    GeneratedMirror small({"--model", dir / "model.json", "--phase", "products", "--phase", "index"});
    EXPECT_TRUE(small.list("addons", "id").empty());
    EXPECT_EQ(xpath(small.path() + "/zanth/products.inf3", "count(//release[1]/build)"), "1");
    EXPECT_FALSE(fs::exists(small.path() + "/zanth/builds"));
    EXPECT_TRUE(fs::exists(small.path() + "/products.inf3"));
}
