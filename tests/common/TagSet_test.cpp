#include "common/TagSet.h"

#include <gtest/gtest.h>

namespace {

TEST(TagSetTest, EmptySetStandsForStable)
{
    TagSet fresh(true);
    TagSet assignedEmpty(true);
    assignedEmpty.assign("");
    for (const TagSet* tags : {&fresh, &assignedEmpty}) {
        for (const char* name : {"stable", "STABLE", " Stable\t"})
            EXPECT_TRUE(tags->contains(name)) << name;
        for (const char* name : {"", "beta", "stable,beta"})
            EXPECT_FALSE(tags->contains(name)) << name;
        EXPECT_EQ(tags->toString(), "stable");
    }

    TagSet plain(false);
    plain.assign("");
    EXPECT_FALSE(plain.contains("stable"));
    EXPECT_EQ(plain.toString(), "");
}

TEST(TagSetTest, TagsAreTrimmedAndLowerCased)
{
    TagSet tags(true);
    tags.assign("BETA, Testing");
    EXPECT_TRUE(tags.contains("beta"));
    EXPECT_TRUE(tags.contains("testing"));
    EXPECT_TRUE(tags.contains(" TESTING "));
    EXPECT_FALSE(tags.contains("stable"));
    EXPECT_FALSE(tags.contains(""));
    const std::string text = tags.toString();
    EXPECT_TRUE(text == "beta,testing" || text == "testing,beta") << text;

    tags.assign("Stable");  // a new text replaces the old tags
    EXPECT_TRUE(tags.contains("stable"));
    EXPECT_FALSE(tags.contains("beta"));
    EXPECT_EQ(tags.toString(), "stable");
}

TEST(TagSetTest, EmptyPiecesAreTags)
{
    TagSet tags(true);
    tags.assign("beta,,rc");
    EXPECT_TRUE(tags.contains(""));
    EXPECT_TRUE(tags.contains("   "));
    EXPECT_TRUE(tags.contains("rc"));
    EXPECT_FALSE(tags.contains("stable"));

    tags.assign(" ");  // one blank piece: the empty tag alone, so the set is not empty
    EXPECT_TRUE(tags.contains(""));
    EXPECT_FALSE(tags.contains("stable"));
    EXPECT_EQ(tags.toString(), "");
}

}  // namespace
