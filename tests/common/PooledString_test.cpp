#include "common/PooledString.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(PooledStringTest, EqualTextsShareOnePointer)
{
    const std::string text = "libfoo-dev";
    PooledString a("libfoo-dev");
    PooledString b(text);
    PooledString c(text.substr(0, 6));
    EXPECT_EQ(a.c_str(), b.c_str());
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
    EXPECT_TRUE(a != c);
    EXPECT_STREQ(c.c_str(), "libfoo");
    EXPECT_NE(a.c_str(), text.c_str());  // a pooled copy, not the caller's text

    PooledString empty1("");
    PooledString empty2(std::string{});
    EXPECT_EQ(empty1.c_str(), empty2.c_str());
    EXPECT_TRUE(empty1.empty());
    EXPECT_STREQ(empty1.c_str(), "");
    EXPECT_EQ(std::hash<PooledString>()(a), std::hash<const char*>()(a.c_str()));
}

TEST(PooledStringTest, TextsStayValidAcrossBlocks)
{
    // Well over one arena block of 65,536 bytes, plus texts longer than a block.
    std::vector<std::string> texts;
    for (int i = 0; i < 20000; ++i)
        texts.push_back("package-name-" + std::to_string(i));
    texts.push_back(std::string(65535, 'a'));
    texts.push_back(std::string(65536, 'b'));
    texts.push_back(std::string(200000, 'c'));

    std::vector<const char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(PooledString(text).c_str());
    std::unordered_set<const char*> distinct(pointers.begin(), pointers.end());
    EXPECT_EQ(distinct.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(texts[i], pointers[i]);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(pointers[i]) % 4, 0u) << i;  // positions are rounded to 4
        EXPECT_EQ(PooledString(texts[i]).c_str(), pointers[i]);
    }
}

}  // namespace
