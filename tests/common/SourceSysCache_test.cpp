#include "common/SourceSysCache.h"

#include <iostream>
#include <string>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/format_message.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

TEST(SourceSysCacheTest, ReadsInstalledPackagesFromTheFile)
{
    TempDir dir;
    const std::string path = dir / "packages.cache";
    writeWholeFile(path, "F:foo_installed.deb\nN:foo\nV:1:2.0-1\nA:amd64\nP:bar\nX:\n\nN:baz\nV:3\nX:\n");

    Repository repository;
    SourceSysCache source(&repository, path);
    repository.getBriefPackagesInfo();
    ASSERT_EQ(repository.getPackages().size(), 2u);
    const Package* foo = repository.getInstalledPackage("foo");
    ASSERT_NE(foo, nullptr);
    EXPECT_EQ(foo->getSource(), &source);
    EXPECT_EQ(foo->getVersion().toString(), "1:2.0-1");
    EXPECT_NE(dynamic_cast<const DebVersion*>(&foo->getVersion()), nullptr);
    EXPECT_EQ(repository.findNewestProvider("bar"), foo);
    EXPECT_EQ(repository.getInstalledPackage("baz")->getType(), 's');
    source.loadFull();
    EXPECT_EQ(repository.getPackages().size(), 2u);
}

TEST(SourceSysCacheTest, MissingFile)
{
    const std::string path = "/nonexistent/kw-packages.cache";
    const ChildResult result = runInChild([&] {
        Log::consoleLevel = 1;
        Repository repository;
        SourceSysCache source(&repository, path);
        try {
            source.loadBrief();
        } catch (const error& e) {
            std::cout << e.e_class << e.e_rep << e.e_sys << e.e_supp << "|" << e.getText();
        }
        return 0;
    });
    const std::string text = format_message(Messages().get("err_syscache_open"), path);
    EXPECT_EQ(result.out, "4112|" + text + "\n");
    EXPECT_NE(result.err.find(text + ": No such file or directory\n"), std::string::npos) << result.err;
}

}  // namespace
