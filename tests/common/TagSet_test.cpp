#include "common/TagSet.h"

#include <algorithm>
#include <string>
#include <vector>

#include <boost/algorithm/string.hpp>
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

TEST(TagSetTest, AssignedTextsAreTrimmedLowerCasedAndSplitAtEveryComma)
{
    struct Case {
        const char* text;
        std::vector<const char*> contained;
        std::vector<const char*> missing;
        std::vector<std::string> listed;  // toString, split at the commas and sorted
    };
    const Case cases[] = {
        {"BETA, Testing", {"beta", "testing", " TESTING "}, {"stable", ""}, {"beta", "testing"}},
        {"Stable", {"stable"}, {"beta"}, {"stable"}},                     // a new text replaces the old tags
        {"beta,,rc", {"", "   ", "rc"}, {"stable"}, {"", "beta", "rc"}},  // an empty field is a tag
        {" ", {""}, {"stable"}, {""}},                                    // the empty tag alone: the set is not empty
    };
    TagSet tags(true);
    for (const Case& c : cases) {
        tags.assign(c.text);
        for (const char* name : c.contained)
            EXPECT_TRUE(tags.contains(name)) << c.text << ": " << name;
        for (const char* name : c.missing)
            EXPECT_FALSE(tags.contains(name)) << c.text << ": " << name;
        const std::string text = tags.toString();
        std::vector<std::string> listed;
        boost::algorithm::split(listed, text, boost::algorithm::is_any_of(","));
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, c.listed) << c.text;
    }
}

}  // namespace
