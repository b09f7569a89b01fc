#include "installer/SourceUrl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

struct Case {
    std::string text;
    std::string url;
    bool local;
};

// Relative texts are resolved against the working directory, which only a child may change.
TEST(SourceUrlTest, AssignNormalisesUrlsAndLocalPaths)
{
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "dist").c_str(), 0755), 0);
    writeWholeFile(dir / "file.txt", "x");
    const std::string d = dir.path();
    const std::vector<Case> cases = {
        {"file://" + d + "/dist", d + "/dist/", true},
        {"dist", d + "/dist/", true},
        {"./dist", d + "/./dist/", true},
        {d + "/dist/", d + "/dist/", true},
        // Absolute paths stay as given, a leading "//" too (not a network root name).
        {"//", "//", true},
        {"//tmp", "//tmp/", true},
        {"/" + d + "/dist", "/" + d + "/dist/", true},
        {"file:////tmp", "//tmp/", true},
        {"file.txt", d + "/file.txt", true},
        {"nodir", "http://nodir/", false},
        {"h", "http://h/", false},
        {"http://h/dist", "http://h/dist/", false},
        {"http://h/dist/", "http://h/dist/", false},
        {"http://h/dist/products.inf3", "http://h/dist/products.inf3", false},
        {"http://h.inf3", "http://h.inf3/", false},
        {"ftp://m/x", "ftp://m/x/", false},
        {"https://m/x", "https://m/x/", false},
        {"http://", "", false},
        {"", "", false},
        {"/no/such/dir", "/no/such/dir", true},
        {"file:///no/such/dir", "/no/such/dir", true},
        {"C:\\dist", "C:\\dist", false},
    };
    ChildResult r = runInChild([&] {
        if (chdir(d.c_str()) != 0)
            return 1;
        for (const Case& c : cases) {
            SourceUrl source(c.text);
            std::cout << c.text << " -> " << source.url << (source.isLocal() ? " local" : "") << "\n";
        }
        return 0;
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string expected;
    for (const Case& c : cases)
        expected += c.text + " -> " + c.url + (c.local ? " local" : "") + "\n";
    EXPECT_EQ(r.out, expected);
}

TEST(SourceUrlTest, TheClassificationIsLogged)
{
    ChildResult r = runInChild([] {
        Log::consoleLevel = 3;
        for (const char* text : {"https://m/x", "C:\\dist", "file:///mnt", "/mnt", "http://m"})
            SourceUrl source(text);
        return 0;
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const char* const lines[] = {
        "SourceUrl: original source url is https://m/x",
        "DEBUG: SourceUrl: process as network with hope on success.",
        "SourceUrl: fixed url is https://m/x/",
        "DEBUG: SourceUrl: process as local, <drive> letter and ':\\\\' at begin, seems windows path.",
        "SourceUrl: fixed url is C:\\dist",
        "DEBUG: SourceUrl: process as local source, 'file://' proto specified.",
        "DEBUG: SourceUrl: process as local, '/' at begin is unix path.",
        "DEBUG: SourceUrl: process as network source, 'http://' or 'ftp://' proto specified.",
    };
    for (const char* line : lines)
        EXPECT_NE(("\n" + r.err).find("\n" + std::string(line) + "\n"), std::string::npos) << line << "\n" << r.err;
}

TEST(SourceUrlTest, BaseUrlAndFileName)
{
    const struct {
        std::string url, base, name;
    } cases[] = {
        {"/mnt/dist/", "/mnt/dist/", ""},
        {"http://h/dist/products.inf3", "http://h/dist/", "products.inf3"},
        {"abc", "/", "abc"},
        {"", "/", ""},
    };
    for (const auto& c : cases) {
        SourceUrl source;
        source.url = c.url;
        EXPECT_EQ(source.getBaseUrl(), c.base) << c.url;
        EXPECT_EQ(source.getFileName(), c.name) << c.url;
    }
}

}  // namespace
