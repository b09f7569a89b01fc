#include "installer/SourceSysZanthExt.h"

#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "common/ExtCatalogPackage.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/fileops.h"
#include "installer/ComponentManager.h"
#include "installer/ExtensionTool.h"
#include "tests/support/LoggedRun.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

const Messages messages;

// A listing as the extension tool prints it: accepted lines, refused ones, and one of more than
// 4096 bytes, which arrives in pieces. It exits with $STATUS.
const char* const LISTING =
    "backup - Backup manager\n"
    "  site-builder   -   Site Builder  \n"
    "abc-\n"
    "only -\n"
    "no_underscore - Refused\n"
    "nodash Refused\n"
    "dup - One\n"
    "dup - Two\n";

void writeTool(const std::string& path)
{
    fileops::create_directory(fileops::dirname(path));
    writeWholeFile(path, std::string("#!/bin/sh\n"
                                     "[ \"$1\" = --list ] || exit 9\n"
                                     "echo \"variable=$ZANTH_INTERNAL_PHP_EXEC\" >&2\n"
                                     "cat <<'EOF'\n") +
                             LISTING +
                             "EOF\n"
                             "printf 'long - %05000d\\n' 0\n"
                             "exit ${STATUS:-0}\n");
    chmod(path.c_str(), 0755);
}

// code=display name of every package, in order.
std::string described(const std::vector<std::unique_ptr<Package>>& packages)
{
    std::string text;
    for (const auto& pkg : packages) {
        const ExtCatalogPackage* extension = dynamic_cast<const ExtCatalogPackage*>(pkg.get());
        EXPECT_TRUE(extension);
        EXPECT_EQ(pkg->getName().c_str(), "ext-" + extension->getCode());
        EXPECT_EQ(std::string(pkg->getArch().c_str()), "noarch");
        text += extension->getCode() + "=" + extension->getDisplayName().substr(0, 20) + ";";
    }
    return text;
}

const char* const FOUND = "backup=Backup manager;site-builder=Site Builder;dup=One;dup=Two;long=00000000000000000000;";

}  // namespace

TEST(SourceSysZanthExtTest, ListsTheExtensionsOfTheWholeLinesThatMatch)
{
    TempDir dir;
    LoggedRun run = runLogged([&dir] {
        writeTool(dir / "extension");
        ExtensionTool::setPath(dir / "extension");
        setenv("ZANTH_INTERNAL_PHP_EXEC", "7", 1);
        EXPECT_EQ(described(SourceSysZanthExt::detectInstalledExtensions()), FOUND);
        EXPECT_STREQ(getenv("ZANTH_INTERNAL_PHP_EXEC"), "1");  // it stays for later children

        // A failing listing keeps what came before it and takes the variable away.
        setenv("STATUS", "3", 1);
        EXPECT_EQ(described(SourceSysZanthExt::detectInstalledExtensions()), FOUND);
        EXPECT_FALSE(getenv("ZANTH_INTERNAL_PHP_EXEC"));

        // No tool, no extensions.
        ExtensionTool::setPath(dir / "absent");
        EXPECT_TRUE(SourceSysZanthExt::detectInstalledExtensions().empty());
    });
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
    const std::string detected = "2 Detected installed extensions:  'backup' 'site-builder' 'dup' 'dup' 'long'\n";
    // The tool saw the variable both times; the failure is a warning, never an error.
    EXPECT_EQ(linesMatching(run.log, "^(variable=|Detected|WARNING|DEBUG skip)"),
              "0 variable=1\n" + detected + "0 variable=1\n" +
                  "1 WARNING: failed to detect installed extensions, error: Error 3 in execution of " +
                  (dir / "extension") + "\n" + detected +
                  "3 DEBUG skip detecting installed extensions: " + (dir / "absent") + " does not exist\n");
    // The tail of the long line is a piece of its own, which the pattern refuses.
    EXPECT_NE(run.log.find("3 DEBUG: output: 0000"), std::string::npos);
    EXPECT_NE(run.log.find("3 DEBUG: output: only -\n"), std::string::npos);
}

TEST(SourceSysZanthExtTest, TheInstalledExtensionsEnterTheRepositoryFromTheToolsOwnPlace)
{
    ChildOptions options;
    options.tmpfs = {"/usr/local"};
    LoggedRun run = runLogged(
        [] {
            writeTool(std::string(ExtensionTool::PATH));
            Repository repository;
            const error refused = caught([&repository] { SourceSysZanthExt(&repository, nullptr).loadBrief(); });
            EXPECT_EQ(refused.getText(), messages.get("err_no_cm") + "\n");
            EXPECT_EQ(codes(refused), std::make_tuple(3, 1, 1, 3));

            ComponentManager components;
            SourceSysZanthExt source(&repository, &components);
            source.loadBrief();
            ASSERT_EQ(repository.getPackages().size(), 5u);
            for (const Package* pkg : repository.getPackages()) {
                EXPECT_EQ(pkg->getType(), 's');
                EXPECT_EQ(pkg->getSource(), &source);
            }
            EXPECT_EQ(repository.getPackages()[1]->getName().c_str(), std::string("ext-site-builder"));
            source.loadFull();  // nothing more to read
            EXPECT_EQ(repository.getPackages().size(), 5u);
        },
        options);
    ASSERT_EQ(run.exit_code, 0) << run.out << run.console;
}
