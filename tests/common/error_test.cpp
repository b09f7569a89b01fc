#include "common/error.h"

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/ProgramVersion.h"
#include "common/checked_pointer.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

TEST(ErrorTest, NewErrorHoldsOneEmptyPart)
{
    EXPECT_EQ(error().getText(), "\n");
    EXPECT_EQ(error(1, 1, 1, 3).getText(), "\n");
    EXPECT_EQ(error().getFullText(), "\n");  // no codes, no advice
}

TEST(ErrorTest, AddedMessageIsPrintedFirstAndKeepsSetCodes)
{
    error e(1, 1, 1, 3);
    e << "A";
    e.addMessage(4, 2, 0, 2) << "B";
    EXPECT_EQ(e.getText(), "B\nA\n");
    EXPECT_EQ(e.e_class, 1);
    EXPECT_EQ(e.e_rep, 1);
    EXPECT_EQ(e.e_sys, 1);
    EXPECT_EQ(e.e_supp, 3);

    error unset;
    unset.addMessage(4, 1, 1, 2);
    EXPECT_EQ(unset.e_class, 4);
    EXPECT_EQ(unset.e_rep, 1);
    EXPECT_EQ(unset.e_sys, 1);
    EXPECT_EQ(unset.e_supp, 2);
    EXPECT_EQ(unset.getText(), "\n\n");  // empty parts still give their line ends
}

TEST(ErrorTest, StreamsValuesLikeAnOutputStringStream)
{
    error e;
    e << "n=" << 42 << ' ' << -7 << 'x' << std::string("!") << 2.5;
    EXPECT_EQ(e.getText(), "n=42 -7x!2.5\n");
}

TEST(ErrorTest, FullTextAdvice)
{
    struct Case {
        int codes[4];
        std::string expected;
    };
    const std::string stable = messages.get("error_sys_stable");
    const std::string unsure = messages.get("error_sys_unsure");
    const std::string broken = messages.get("error_sys_broken");
    const std::string again = messages.get("error_rep_again");
    const std::string none = messages.get("error_supp_none");
    const std::string maybe = messages.get("error_supp_maybe");
    const std::string need = messages.get("error_supp_need");
    const Case cases[] = {
        {{2, 2, 3, 3}, "X\n"},  // user errors get no advice
        {{3, 1, 1, 3}, "X\n" + stable + "\n" + need},
        {{4, 2, 0, 0}, "X\n\n" + again},
        {{4, 2, 2, 1}, "X\n" + unsure + "\n" + again + "\n" + none},
        {{6, 1, 3, 2}, "X\n" + broken + "\n" + maybe},
        {{1, 7, 9, 4}, "X\n"},  // out-of-range codes add nothing
        {{0, 0, 0, 0}, "X\n"},
    };
    for (const Case& c : cases) {
        error e(c.codes[0], c.codes[1], c.codes[2], c.codes[3]);
        e << "X";
        EXPECT_EQ(e.getFullText(), c.expected) << c.codes[0] << c.codes[1] << c.codes[2] << c.codes[3];
    }
    EXPECT_EQ(stable, "Not all packages were installed.");
    EXPECT_EQ(again, "Please try to install packages again later.");
}

TEST(ErrorTest, ClassNames)
{
    const std::pair<int, const char*> cases[] = {
        {1, "repository"}, {2, "user"},           {3, "internal"},       {4, "system"},         {5, "dependencies"},
        {6, "packages"},   {0, "e_class broken"}, {7, "e_class broken"}, {8, "e_class broken"}, {-1, "e_class broken"}};
    for (const auto& c : cases)
        EXPECT_STREQ(error(c.first, 1, 1, 1).getClassName(), c.second) << c.first;
}

TEST(ErrorTest, CopiesAreIndependent)
{
    error original(5, 1, 1, 2);
    original << "first";
    original.setReported(1);
    error copy(original);
    copy.addMessage(1, 1, 1, 1) << "second";
    copy.setSupportCode(3);
    copy.setReported(0);
    EXPECT_EQ(original.getText(), "first\n");
    EXPECT_EQ(copy.getText(), "second\nfirst\n");
    EXPECT_EQ(original.e_supp, 2);
    EXPECT_EQ(copy.e_supp, 3);
    EXPECT_TRUE(copy.isReported(1));
    EXPECT_TRUE(copy.isReported(0));
    EXPECT_FALSE(original.isReported(0));
}

TEST(ErrorTest, ReportedChannelsStartEmpty)
{
    error e(3, 1, 1, 3);
    EXPECT_FALSE(e.isReported(0));
    EXPECT_FALSE(e.isReported(1));
    e.setReported(1);
    EXPECT_FALSE(e.isReported(0));
    EXPECT_TRUE(e.isReported(1));
}

TEST(ErrorTest, InternalErrorNamesVersionRevisionFileAndLine)
{
    const int line = __LINE__ + 1;
    error e = KW_INTERNAL_ERROR();
    EXPECT_EQ(e.getText(), std::string("An internal error occured in Zanth Installer ") + ProgramVersion::version +
                               ", revision " + ProgramVersion::revision + ", tests/common/error_test.cpp, line " +
                               std::to_string(line) + ".\n");
    EXPECT_EQ(e.e_class, 3);
    EXPECT_EQ(e.e_rep, 1);
    EXPECT_EQ(e.e_sys, 1);
    EXPECT_EQ(e.e_supp, 3);
    EXPECT_EQ(std::string(ProgramVersion::revision).size(), 12u);
    EXPECT_EQ(std::string(ProgramVersion::revision).find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(ErrorTest, ErrorIsNotAStandardException)
{
    bool caught_as_error = false;
    try {
        try {
            throw error(3, 1, 1, 3);
        } catch (const std::exception&) {
            FAIL() << "a handler for standard exceptions caught an error";
        }
    } catch (const error&) {
        caught_as_error = true;
    }
    EXPECT_TRUE(caught_as_error);
}

struct Widget {
    int value = 5;
};

TEST(CheckedPointerTest, NullUseThrowsWithHeaderAndLine)
{
    checked_pointer<Widget> empty;
    for (int use = 0; use < 2; ++use) {
        const error e = caught([&] {
            if (use == 0)
                (void)empty->value;
            else
                (void)(*empty).value;
        });
        const std::string text = e.getText();
        EXPECT_EQ(text.rfind("Try of use NULL pointer: common/checked_pointer.h:", 0), 0u) << text;
        EXPECT_NE(text.find_first_of("0123456789", 48), std::string::npos);
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 0, 3));
    }
    Widget w;
    checked_pointer<Widget> full(&w);
    EXPECT_EQ(full->value, 5);
}

struct Counted {
    explicit Counted(int* c) : count(c) { ++*count; }
    ~Counted() { --*count; }
    int* count;
};

TEST(CheckedPointerTest, AutocleanOwnsAndDeletes)
{
    int alive = 0;
    {
        checked_autoclean_pointer<Counted> holder(new Counted(&alive));
        EXPECT_EQ(alive, 1);
        holder.reset(new Counted(&alive));
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);
    checked_autoclean_pointer<Counted> empty;
    EXPECT_THROW((void)empty->count, error);
}

}  // namespace
