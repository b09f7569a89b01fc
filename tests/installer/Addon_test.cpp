#include "installer/Addon.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

boost::shared_ptr<Release> releaseOf(const std::string& product_id, const std::string& version,
                                     const std::string& name = "")
{
    boost::shared_ptr<Product> product(
        new Product(product_id, product_id, false, {{"key"}}, {}, {}, "", "", "", "", {}));
    return boost::shared_ptr<Release>(new Release(product, "rel-" + version, name, "", version, "1.0"));
}

struct Case {
    std::string product;
    std::string version;
    bool fits;
    std::vector<std::string> log;  // what applicableTo logs
};

// Decides each case in a child whose log file is read back.
void check(const Addon& addon, const std::vector<Case>& cases)
{
    const ChildResult result = runChecksInChild([&] {
        for (const Case& c : cases) {
            const boost::shared_ptr<Release> release = releaseOf(c.product, c.version);
            const LogFile log;
            EXPECT_EQ(addon.applicableTo(*release), c.fits) << c.product << " " << c.version;
            EXPECT_EQ(log.lines(), c.log) << c.product << " " << c.version;
        }
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

std::string range(const std::string& version, const std::string& from, const std::string& to)
{
    return "Addon::applicableTo: release " + version + ", addon applicable from " + from + " to " + to;
}

TEST(AddonTest, InclusiveBoundsOfOneRecord)
{
    Addon addon("pack", "Pack", "1.2", false);
    addon.addCompatible("P", "1.0", "2.0");
    const std::string low = "DEBUG: Addon::applicableTo: version too low for pack";
    const std::string high = "DEBUG: Addon::applicableTo: version too high for pack";
    auto merge = [](const std::string& version) {
        return "DEBUG: Addon::applicableTo: merge addon pack because it fit for release rel-" + version;
    };
    check(addon, {
                     {"P", "1.0", true, {range("1.0", "1.0", "2.0"), merge("1.0")}},
                     {"P", "1.5", true, {range("1.5", "1.0", "2.0"), merge("1.5")}},
                     {"P", "2.0", true, {range("2.0", "1.0", "2.0"), merge("2.0")}},
                     {"P", "2.0.1", false, {range("2.0.1", "1.0", "2.0"), high}},
                     {"P", "0.9", false, {range("0.9", "1.0", "2.0"), low}},
                     {"Q", "1.5", false, {}},  // records of other products are passed over silently
                 });
}

TEST(AddonTest, TheFirstFittingRecordDecides)
{
    Addon addon("pack", "Pack", "1.2", true);
    addon.addCompatible("P", "1.0", "1.9");
    addon.addCompatible("Q", "1.0", "9.0");
    addon.addCompatible("P", "3.0", "4.0");
    addon.addCompatible("P", "3.5", "3.5");
    const std::string fit = "DEBUG: Addon::applicableTo: merge addon pack because it fit for release rel-3.5";
    check(addon, {
                     {"P",
                      "3.5",
                      true,
                      {range("3.5", "1.0", "1.9"), "DEBUG: Addon::applicableTo: version too high for pack",
                       range("3.5", "3.0", "4.0"), fit}},
                     {"P",
                      "2.5",
                      false,
                      {range("2.5", "1.0", "1.9"), "DEBUG: Addon::applicableTo: version too high for pack",
                       range("2.5", "3.0", "4.0"), "DEBUG: Addon::applicableTo: version too low for pack",
                       range("2.5", "3.5", "3.5"), "DEBUG: Addon::applicableTo: version too low for pack"}},
                 });
}

TEST(AddonTest, ReleaseLabelIsItsNameWhenItHasOne)
{
    Addon addon("pack", "Pack", "1.2", false);
    addon.addCompatible("P", "1.0", "2.0");
    const ChildResult result = runChecksInChild([&] {
        const LogFile log;
        EXPECT_TRUE(addon.applicableTo(*releaseOf("P", "1.5", "Zanth 1.5")));
        EXPECT_TRUE(log.has("DEBUG: Addon::applicableTo: merge addon pack because it fit for release Zanth 1.5"));
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(AddonTest, CompatibilityRecordsAreRequired)
{
    const Addon addon("pack", "Pack", "1.2", false);
    EXPECT_FALSE(addon.hasCompatible());
    const error e = caught([&] { addon.applicableTo(*releaseOf("P", "1.0")); });
    EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
    EXPECT_EQ(e.getText(), internal_error("installer/Addon.cpp", 56).getText());
}

TEST(AddonTest, WrongVersionInARecord)
{
    Addon addon("pack", "Pack", "1.2", false);
    const ChildResult result = runChecksInChild([&] {
        Messages().getLocale();  // the catalog logs its creation
        const LogFile log;
        for (const auto& bounds : std::vector<std::pair<std::string, std::string>>{{"", "2.0"}, {"1.0", ""}}) {
            const error e = caught([&] { addon.addCompatible("P", bounds.first, bounds.second); });
            ASSERT_EQ(e.parts.size(), 2u);
            // The newest part is printed first.
            EXPECT_EQ(e.getText().substr(0, e.getText().find('\n')),
                      "Wrong addon's compat info: P  from " + bounds.first + " to " + bounds.second);
            EXPECT_EQ(e.parts.front(), Messages().get("err_empty_version"));
            EXPECT_EQ(codes(e), std::make_tuple(1, 1, 1, 3));
        }
        EXPECT_FALSE(addon.hasCompatible());
        EXPECT_EQ(log.lines(), (std::vector<std::string>{"DEBUG: Addon::addCompatible: prod_id=P, from=, to=2.0",
                                                         "DEBUG: Addon::addCompatible: prod_id=P, from=1.0, to="}));
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

}  // namespace
