#include "common/Version.h"

#include <functional>
#include <random>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "common/error.h"
#include "tests/support/ChildProcess.h"

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

std::vector<int> parseSigns(const std::string& text)
{
    std::vector<int> result;
    std::istringstream in(text);
    int value;
    while (in >> value)
        result.push_back(sign(value));
    return result;
}

// Two versions and the sign of their comparison.
struct OrderCase {
    const char* a;
    const char* b;
    int expected;
};

TEST(VersionTest, ParsesEpochVersionAndRelease)
{
    struct Case {
        const char* text;
        int64_t epoch;
        bool hasEpoch;
        const char* version;
        const char* release;
        const char* printed;
    };
    const Case cases[] = {
        {"2:1.0-3", 2, true, "1.0", "3", "2:1.0-3"},
        {"1.0-3-4", 0, false, "1.0", "3-4", "1.0-3-4"},
        {"-1.0", 0, false, "-1.0", "", "-1.0"},
        {"1.0-", 0, false, "1.0", "", "1.0"},
        {":1.0", 0, true, "1.0", "", "0:1.0"},
        {"1:", 1, true, "", "", "1:no_versioning_data"},
        {"1.0-2:3", 0, false, "1.0", "2:3", "1.0-2:3"},
        {"007:1", 7, true, "1", "", "7:1"},
        {"x:1.0", 0, true, "1.0", "", "0:1.0"},
        {"1:2:3", 1, true, "2:3", "", "1:2:3"},
        {" 5:1", 5, true, "1", "", "5:1"},
        {"-", 0, false, "-", "", "-"},
        {"a", 0, false, "a", "", "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Version v(c.text);
        EXPECT_EQ(v.getEpoch(), c.epoch);
        EXPECT_EQ(v.hasEpoch(), c.hasEpoch);
        EXPECT_EQ(v.getVersion(), c.version);
        EXPECT_EQ(v.getRelease(), c.release);
        EXPECT_EQ(v.toString(), c.printed);
        std::ostringstream out;
        v.print(out);
        EXPECT_EQ(out.str(), c.printed);
    }
    EXPECT_EQ(Version("2:1.0-3").getVersionString(), "2:1.0");
    // A '-' in the first place is no release separator; the epoch is read like atol and compared
    // and printed as unsigned.
    Version negative("-5:1.0");
    EXPECT_EQ(negative.getEpoch(), -5);
    EXPECT_EQ(negative.getVersionString(), "18446744073709551611:1.0");
    EXPECT_TRUE(negative > Version("2:1.0"));
}

TEST(VersionTest, EmptyTextThrows)
{
    try {
        Version v("");
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_EQ(e.getText(), Messages().get("err_empty_version") + "\n");
        EXPECT_EQ(e.e_class, 1);
        EXPECT_EQ(e.e_rep, 1);
        EXPECT_EQ(e.e_sys, 1);
        EXPECT_EQ(e.e_supp, 3);
    }
    Version empty;
    EXPECT_FALSE(empty.hasEpoch());
    EXPECT_EQ(empty.toString(), "no_versioning_data");
}

TEST(VersionTest, SegmentOrder)
{
    const OrderCase
        cases[] =
            {
                {"1.01", "1.1", 0},    {"10", "9", 1},       {"1.0a", "1.0", 1},
                {"1.0~rc1", "1.0", 1},  // the tilde is only a separator here
                {"abc", "ABC", 1},     {"1.0_", "1.0+", -1}, {"1.0+", "1.0_", -1},
                {"1.a", "1.", -1},     {"1.", "1.a", -1},    {"1.0.", "1.0", 1},
                {"1.0", "1.0.0", -1},  {"", "1", -1},        {"1", "", 1},
                {"", "", 0},           {"1.1", "1.a", 1},    {"1.a", "1.1", -1},
                {"007", "7", 0},       {"1..0", "1.0", 0},   {"a", "b", -1},
                {"ab", "abc", -1},     {"2.0", "10.0", -1},  {"1.0a", "1.0b", -1},
            };
    const Version v;
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(sign(v.compareSegments(c.a, c.b)), c.expected);
    }
}

TEST(VersionTest, VersionOrder)
{
    const OrderCase cases[] = {
        {"1:1.0", "2.0", 1},     {"0:1.0", "1.0", 1},  // an epoch, even 0, orders above none
        {"1.0-1", "1.0", 1},     {"1.0", "1.00", 0},    {"2:1.0", "10:0.1", -1},
        {"1.0-2", "1.0-10", -1}, {"1.0-1", "1.0-1", 0}, {"1.2", "1.10", -1},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        Version a(c.a);
        Version b(c.b);
        EXPECT_EQ(sign(a.compare(b)), c.expected);
        EXPECT_EQ(a == b, c.expected == 0);
        EXPECT_EQ(a < b, c.expected < 0);
        EXPECT_EQ(a > b, c.expected > 0);
    }
}

TEST(VersionTest, CopyKeepsAllFields)
{
    Version original(":1.0-2");
    Version copy(original);
    EXPECT_TRUE(copy.hasEpoch());
    EXPECT_EQ(copy.toString(), "0:1.0-2");
    EXPECT_TRUE(copy == original);
}

TEST(DebVersionTest, DebianOrder)
{
    const OrderCase cases[] = {
        {"1.0~rc1", "1.0", -1},  {"1.0", "1.0a", -1},        {"1.0a", "1.0+", -1},
        {"1:0.5", "2.0", 1},     {"1.2-3-4", "1.2-3-5", -1},  // upstream 1.2-3, revision 4
        {"1.2-3-4", "1.2-4", 1},                              // upstream 1.2-3 against 1.2
        {"1.0-1", "1.0", 1},     {"01.0", "1.0", 0},         {"1.0~~", "1.0~", -1},
        {"1.0~", "1.0", -1},     {"0:1.0", "1.0", 0},  // unlike the RPM-style order, epoch 0 equals none
        {"-5", "-4", 1},                               // no upstream, revisions 5 and 4
        {"1.0-a-", "1.0-a", 1},  {" 1.0 ", "1.0", 1},  // leading blanks skipped, trailing ones kept in the revision's place
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        DebVersion a(c.a);
        DebVersion b(c.b);
        EXPECT_EQ(sign(a.compare(b)), c.expected);
        EXPECT_EQ(sign(b.compare(a)), -c.expected);
        // A copy, and a version of the RPM class on the right, are read the same way.
        EXPECT_EQ(sign(DebVersion(a).compare(b)), c.expected);
        EXPECT_EQ(sign(a.compare(Version(c.b))), c.expected);
    }
    // Both empty versions print as no_versioning_data and are equal.
    EXPECT_EQ(DebVersion("1:").compare(DebVersion("1:")), 0);
}

TEST(DebVersionTest, BadTextComparesAsLowerAndSaysWhy)
{
    struct Case {
        const char* a;
        const char* b;
        const char* message;
    };
    const Case cases[] = {
        {"1.0 beta", "1.0", "version a has bad syntax: version string has embedded spaces\n"},
        {"1.0", "1.0 beta", "version b has bad syntax: version string has embedded spaces\n"},
        {"1.0-2:3", "1.0", "version a has bad syntax: epoch in version is not number\n"},
        {"<unknown>", "1.0", "version a is noninformative\n"},
        {"1.0", "<unknown>", "version b is noninformative\n"},
        {"-", "1.0", "version a is noninformative\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        DebVersion a(c.a);
        DebVersion b(c.b);
        testing::internal::CaptureStderr();
        const int result = a.compare(b);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(result, -255);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(a < b);
        EXPECT_FALSE(a == b);
        EXPECT_FALSE(a > b);
        testing::internal::GetCapturedStderr();
    }
}

TEST(DebVersionTest, RpmPartComparisonsDoNotExist)
{
    DebVersion deb("1.0");
    const Version rpm("1.0");
    const std::string text = Messages().get("err_no_debpartver") + "\n";
    auto expectThrows = [&](const std::function<void()>& call) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const error& e) {
            EXPECT_EQ(e.getText(), text);
            EXPECT_EQ(e.e_class, 3);
            EXPECT_EQ(e.e_supp, 3);
        }
    };
    expectThrows([&] { deb.compareEpoch(rpm); });
    expectThrows([&] { deb.compareVersion(rpm); });
    expectThrows([&] { deb.compareRelease(rpm); });
    expectThrows([&] { deb.compareSegments("1", "2"); });
}

TEST(DebVersionTest, LeftOperandChoosesTheOrder)
{
    const Version rpm("1.0~rc1");
    const DebVersion deb("1.0");
    EXPECT_TRUE(rpm > deb);  // RPM-style: the tilde is a separator
    EXPECT_TRUE(deb > rpm);  // Debian: the tilde sorts before the end
    EXPECT_TRUE(Version("0:1.0") > DebVersion("1.0"));
    EXPECT_TRUE(DebVersion("1.0") == Version("0:1.0"));
}

// ---- Against the real tools ----

std::string randomText(std::mt19937& random, const std::string& alphabet, int minLength, int maxLength)
{
    std::uniform_int_distribution<int> length(minLength, maxLength);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string text;
    for (int i = length(random); i > 0; --i)
        text += alphabet[pick(random)];
    return text;
}

// A valid Debian version: optional epoch, upstream beginning with a digit, optional revision.
std::string randomDebian(std::mt19937& random)
{
    static const std::string upstreamChars = "0123456789012345678901234567890abzAZ..++~~";
    static const std::string revisionChars = "0123456789abz.+~";
    std::uniform_int_distribution<int> coin(0, 3);
    std::string text;
    if (coin(random) == 0)
        text += std::to_string(coin(random)) + ":";
    text += randomText(random, "0123456789", 1, 2) + randomText(random, upstreamChars, 0, 6);
    if (coin(random) != 0) {
        if (coin(random) == 0)
            text += "-" + randomText(random, "0123456789", 1, 2);  // a '-' inside the upstream part
        text += "-" + randomText(random, "0123456789", 1, 1) + randomText(random, revisionChars, 0, 4);
    }
    return text;
}

// A variant of a version: one character changed, inserted or removed, so that pairs compare deep.
std::string mutate(std::mt19937& random, std::string text, const std::string& alphabet)
{
    std::uniform_int_distribution<size_t> where(1, text.size() - 1);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> how(0, 2);
    if (text.size() < 2)
        return text + alphabet[pick(random)];
    size_t at = where(random);
    switch (how(random)) {
    case 0: text[at] = alphabet[pick(random)]; break;
    case 1: text.insert(at, 1, alphabet[pick(random)]); break;
    default: text.erase(at, 1);
    }
    return text;
}

// Whether dpkg accepts the text: a digits-only epoch, an upstream part beginning with a digit and no
// empty revision.
bool debianValid(const std::string& text)
{
    const size_t colon = text.find(':');
    const size_t upstream = colon == std::string::npos ? 0 : colon + 1;
    for (size_t i = 0; colon != std::string::npos && i < colon; ++i)
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return upstream < text.size() && isdigit(static_cast<unsigned char>(text[upstream])) && text.back() != '-' &&
           text.find(':', upstream) == std::string::npos;
}

TEST(DebVersionTest, AgreesWithDpkg)
{
    std::vector<std::pair<std::string, std::string>> pairs = {
        {"1.0", "1.0"},
        {"1.0~rc1", "1.0"},
        {"1.0", "1.0a"},
        {"1.0a", "1.0+"},
        {"1:0.5", "2.0"},
        {"1.2-3-4", "1.2-3-5"},
        {"0:1.0", "1.0"},
        {"1.0-1", "1.0"},
        {"2.30-1ubuntu1", "2.30-1"},
        {"1.0+dfsg-1", "1.0-1"},
        {"1.0~~a", "1.0~"},
        {"10:1", "9:2"},
        {"1.001", "1.1"},
        {"1.0-0", "1.0"},
        {"1.0.0", "1.0"},
        {"1.0Z", "1.0a"},
        {"3.2.1-1+deb12u1", "3.2.1-1"},
        {"1.0-1~bpo1", "1.0-1"},
        {"2.0", "10.0"},
        {"1a", "1+"},
        {"1.0-a", "1.0-A"},
        {"1~", "1"},
        {"1.0.0~beta2", "1.0.0~beta10"},
    };
    std::mt19937 random(20240607);
    while (pairs.size() < 300) {
        std::string a = randomDebian(random);
        std::string b = (pairs.size() % 2) ? randomDebian(random) : mutate(random, a, "0123456789a.+~");
        if (!debianValid(b))
            continue;
        pairs.emplace_back(a, b);
    }

    // One dpkg run or two per pair, in four parallel chunks whose answers are joined in order.
    const size_t chunks = 4;
    std::string script = "dir=$(mktemp -d)\n";
    for (size_t chunk = 0; chunk < chunks; ++chunk) {
        script += "(\n";
        for (size_t i = chunk * pairs.size() / chunks; i < (chunk + 1) * pairs.size() / chunks; ++i)
            script += "if dpkg --compare-versions '" + pairs[i].first + "' lt '" + pairs[i].second +
                      "'; then echo -1; elif dpkg --compare-versions '" + pairs[i].first + "' eq '" + pairs[i].second +
                      "'; then echo 0; else echo 1; fi\n";
        script += ") > $dir/" + std::to_string(chunk) + " &\n";
    }
    script += "wait\ncat";
    for (size_t chunk = 0; chunk < chunks; ++chunk)
        script += " $dir/" + std::to_string(chunk);
    script += "\nrm -r $dir\n";
    const std::vector<int> expected = parseSigns(shellOutput(script));
    ASSERT_EQ(expected.size(), pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
        SCOPED_TRACE(pairs[i].first + " vs " + pairs[i].second);
        EXPECT_EQ(sign(DebVersion(pairs[i].first).compare(DebVersion(pairs[i].second))), expected[i]);
    }
}

// A version without '~', '^', a trailing separator or a second '-', where this order and rpm's agree.
std::string randomRpm(std::mt19937& random)
{
    static const std::string segmentChars = "0123456789012345abcxyzABC";
    static const std::string separators = "._+";
    std::uniform_int_distribution<int> coin(0, 3);
    std::uniform_int_distribution<size_t> sep(0, separators.size() - 1);
    auto part = [&]() {
        std::string text = randomText(random, segmentChars, 1, 3);
        for (int n = coin(random); n > 0; --n)
            text += separators[sep(random)] + randomText(random, segmentChars, 1, 3);
        return text;
    };
    std::string text;
    if (coin(random) == 0)
        text += std::to_string(1 + coin(random)) + ":";  // epoch 0 against none is where rpm differs
    text += part();
    if (coin(random) != 0)
        text += "-" + part();
    return text;
}

// Whether rpm reads the text as Version does: a digits-only epoch, at most one '-' after it, and no
// separator at the end of the text or of the version part.
bool rpmComparable(const std::string& text)
{
    if (!isalnum(static_cast<unsigned char>(text.back())))
        return false;
    const size_t colon = text.find(':');
    const size_t hyphen = text.find('-');
    if (colon != std::string::npos) {
        if (colon == 0 || text.find(':', colon + 1) != std::string::npos)
            return false;
        for (size_t i = 0; i < colon; ++i)
            if (!isdigit(static_cast<unsigned char>(text[i])))
                return false;
        if (hyphen != std::string::npos && hyphen < colon)
            return false;
    }
    if (hyphen != std::string::npos) {
        if (text.find('-', hyphen + 1) != std::string::npos || hyphen == 0)
            return false;
        if (!isalnum(static_cast<unsigned char>(text[hyphen - 1])))
            return false;
    }
    return true;
}

TEST(VersionTest, AgreesWithRpm)
{
    std::vector<std::pair<std::string, std::string>> pairs = {
        {"1.0", "1.0"},     {"1.0", "1.0a"}, {"1:1.0", "2.0"}, {"1.0-1", "1.0"},        {"1.01", "1.1"},
        {"10", "9"},        {"abc", "ABC"},  {"1.1", "1.a"},   {"1.0-2", "1.0-10"},     {"2:1.0", "10:0.1"},
        {"1.0_1", "1.0.1"}, {"1..0", "1.0"}, {"1.0", "1.0.0"}, {"5.3.28_p1", "5.3.28"}, {"1a", "1.a"},
    };
    std::mt19937 random(4181);
    while (pairs.size() < 400) {
        std::string a = randomRpm(random);
        std::string b = (pairs.size() % 2) ? randomRpm(random) : mutate(random, a, "0123456789ab.");
        if (!rpmComparable(a) || !rpmComparable(b))
            continue;
        // Epoch 0 against no epoch is where the orders differ; a mutation must not make one.
        if ((a.rfind("0:", 0) == 0) != (b.rfind("0:", 0) == 0))
            continue;
        pairs.emplace_back(a, b);
    }

    std::string lua = "%{lua: ";
    for (const auto& pair : pairs)
        lua += "print(rpm.vercmp(\"" + pair.first + "\", \"" + pair.second + "\") .. \" \") ";
    lua += "}";
    const std::vector<int> expected = parseSigns(shellOutput("rpm --eval '" + lua + "'"));
    ASSERT_EQ(expected.size(), pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
        SCOPED_TRACE(pairs[i].first + " vs " + pairs[i].second);
        EXPECT_EQ(sign(Version(pairs[i].first).compare(Version(pairs[i].second))), expected[i]);
    }
}

}  // namespace
