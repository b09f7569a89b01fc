#include "installer/SystemSpecificConfigurator.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "common/Downloader.h"
#include "common/Messages.h"
#include "common/Package.h"
#include "common/SystemCmd.h"
#include "common/fileops.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/thrown.h"

namespace {

// A configurator whose set-up writes the given files as persistent files, each registered before
// it is written, and which can fail half-way.
class FileConfigurator : public SystemSpecificConfigurator {
public:
    std::map<std::string, std::string> writes;  // path -> new content, written in path order
    bool failAfterWrites = false;
    int checks = 0;
    std::string checkResult;
    int temporaryRemovals = 0;

    void configureSources() override {}
    Installer* createInstaller(ComponentManager*) override { return nullptr; }

    using SystemSpecificConfigurator::appendToSourcesFile;
    using SystemSpecificConfigurator::sources_files_t;

    // Registers and rewrites one more file after the set-up, as a later source change does.
    void rewrite(const std::string& path, const std::string& content)
    {
        addPersistentFile(path);
        writeWholeFile(path, content);
    }

protected:
    const Package* doGetAvailablePackage(const std::string& name) override
    {
        static Package offered("offered", "1.0");
        return name == "offered" ? &offered : nullptr;
    }
    void doConfigure() override
    {
        for (const auto& w : writes)
            rewrite(w.first, w.second);
        if (failAfterWrites)
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "set-up failed";
    }
    std::string doCheckConfiguration() override
    {
        ++checks;
        return checkResult;
    }
    void doRemoveTemporarySources() override { ++temporaryRemovals; }
};

// The same bytes, as cmp judges them.
bool sameBytes(const std::string& a, const std::string& b)
{
    return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
}

struct Files {
    TempDir dir;
    std::string existing = dir / "zanth.list";  // there before the run
    std::string created = dir / "extra.list";   // made by the run
    std::string before = dir / "before";        // the content of `existing` before the run

    Files()
    {
        // Bytes a text comparison could miss: a NUL, no final line end.
        writeWholeFile(existing, std::string("deb old\0 x", 10));
        writeWholeFile(before, std::string("deb old\0 x", 10));
    }
    void plan(FileConfigurator& c) const
    {
        c.writes[existing] = "deb new\n";
        c.writes[created] = "deb created\n";
    }
};

}  // namespace

TEST(SystemSpecificConfiguratorTest, RollbackRestoresBytesAndRemovesCreatedFiles)
{
    Files f;
    FileConfigurator c;
    f.plan(c);
    c.configure();
    EXPECT_TRUE(sameBytes(f.existing + ".kw_back", f.before));
    EXPECT_FALSE(fileops::exists(f.created + ".kw_back"));
    // A second registration later in the run keeps the copy from before the first one.
    c.rewrite(f.existing, "deb newer\n");
    EXPECT_TRUE(sameBytes(f.existing + ".kw_back", f.before));

    LogFile log;
    c.finish();
    EXPECT_TRUE(sameBytes(f.existing, f.before));
    EXPECT_FALSE(fileops::exists(f.existing + ".kw_back"));
    EXPECT_FALSE(fileops::exists(f.created));
    EXPECT_TRUE(log.has("SystemSpecificConfigurator: rollback persistent configuration"));

    // A second finish, as the owner's release after the wizard's rollback, keeps the restored file.
    c.finish();
    EXPECT_TRUE(sameBytes(f.existing, f.before));
}

TEST(SystemSpecificConfiguratorTest, CommitKeepsNewContentAndRemovesBackups)
{
    Files f;
    FileConfigurator c;
    f.plan(c);
    c.configure();
    LogFile log;
    c.setCommitChanges();
    c.finish();
    EXPECT_EQ(readWholeFile(f.existing), "deb new\n");
    EXPECT_EQ(readWholeFile(f.created), "deb created\n");
    EXPECT_FALSE(fileops::exists(f.existing + ".kw_back"));
    EXPECT_FALSE(fileops::exists(f.created + ".kw_back"));
    EXPECT_TRUE(log.has("SystemSpecificConfigurator: set commitChanges flag = true"));
    EXPECT_TRUE(log.has("SystemSpecificConfigurator: commit persistent configuration"));
    c.finish();  // finds no backups
    EXPECT_EQ(readWholeFile(f.existing), "deb new\n");

    // rollback() clears the commit flag: the files written since are undone.
    c.rewrite(f.existing, "deb third\n");
    c.rollback();
    EXPECT_EQ(readWholeFile(f.existing), "deb new\n");
    EXPECT_EQ(readWholeFile(f.created), "deb created\n");
    EXPECT_TRUE(log.has("SystemSpecificConfigurator: rollback"));
}

TEST(SystemSpecificConfiguratorTest, LeftoverBackupOfAnEarlierRunIsKept)
{
    Files f;
    writeWholeFile(f.existing + ".kw_back", "from the interrupted run\n");
    FileConfigurator c;
    f.plan(c);
    c.configure();
    EXPECT_EQ(readWholeFile(f.existing + ".kw_back"), "from the interrupted run\n");
    c.finish();
    EXPECT_EQ(readWholeFile(f.existing), "from the interrupted run\n");
    EXPECT_FALSE(fileops::exists(f.existing + ".kw_back"));
}

TEST(SystemSpecificConfiguratorTest, UnconfiguredObjectsAndGuards)
{
    const std::string sequence = Messages().get("err_sysconf_init") + "\n";
    struct Case {
        const char* name;
        std::function<void(FileConfigurator&)> call;
        bool internal;  // the internal error, else the lookup's sequence error
    };
    const Case cases[] = {
        {"check before configure", [](FileConfigurator& c) { c.checkConfiguration(); }, true},
        {"lookup before configure", [](FileConfigurator& c) { c.getAvailablePackage("offered"); }, false},
        {"configure twice",
         [](FileConfigurator& c) {
             c.configure();
             c.configure();
         },
         true},
        {"variant after configure",
         [](FileConfigurator& c) {
             c.configure();
             c.configureVariant();
         },
         true},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        FileConfigurator c;
        error e = caught([&] { t.call(c); });
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        if (t.internal)
            EXPECT_NE(e.getText().find("An internal error occured in Zanth Installer "), std::string::npos)
                << e.getText();
        else
            EXPECT_EQ(e.getText(), sequence);
    }

    // A set-up that threw leaves the object unconfigured: clean-up and finish do nothing.
    Files f;
    FileConfigurator failed;
    f.plan(failed);
    failed.failAfterWrites = true;
    EXPECT_TRUE(thrown<error>([&] { failed.configure(); }));
    failed.removeTemporarySources();
    failed.finish();
    failed.rollback();
    EXPECT_EQ(failed.temporaryRemovals, 0);
    EXPECT_EQ(readWholeFile(f.existing), "deb new\n");
    EXPECT_TRUE(fileops::exists(f.existing + ".kw_back"));
    EXPECT_TRUE(fileops::exists(f.created));
}

TEST(SystemSpecificConfiguratorTest, ConfiguredLookupAndCachedCheck)
{
    FileConfigurator c;
    c.checkResult = "first";
    c.configure();
    EXPECT_EQ(c.checkConfiguration(), "first");
    c.checkResult = "changed";
    EXPECT_EQ(c.checkConfiguration(), "first");
    EXPECT_EQ(c.checks, 1);
    ASSERT_NE(c.getAvailablePackage("offered"), nullptr);
    EXPECT_EQ(c.getAvailablePackage("offered")->getName(), std::string("offered"));
    EXPECT_EQ(c.getAvailablePackage("absent"), nullptr);
    c.removeTemporarySources();
    EXPECT_EQ(c.temporaryRemovals, 1);
}

// One pass over the sources files: each file headed once by its kind's comment, the lines in order, a
// persistent file registered (so that the rollback restores it), a temporary one not; a file that
// cannot be opened or written raises the caller's error, made while errno still tells why.
TEST(SystemSpecificConfiguratorTest, SourcesFilesOfOnePass)
{
    Files f;
    const std::string temporary = f.dir / "temporary.list";
    FileConfigurator c;
    c.configure();
    FileConfigurator::sources_files_t files;
    const auto failure = [](const std::string& path) {
        return [path] { return error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE) << path << ": " << errno; };
    };
    c.appendToSourcesFile(files, f.existing, true, "\ndeb one", failure(f.existing));
    c.appendToSourcesFile(files, temporary, false, "\n\ntemporary", failure(temporary));
    c.appendToSourcesFile(files, f.existing, true, "\ndeb two", failure(f.existing));
    // Flushed as written: the files are complete while the pass goes on.
    EXPECT_EQ(readWholeFile(f.existing), "## Persistent repositories for Zanth Products.\ndeb one\ndeb two");
    EXPECT_EQ(readWholeFile(temporary),
              "## Temporary repositories used by Zanth Installer during installation or update.\n\ntemporary");
    files.clear();
    c.finish();
    EXPECT_TRUE(sameBytes(f.existing, f.before));
    EXPECT_TRUE(fileops::exists(temporary));

    struct Case {
        const char* name;
        std::string path;
        int errnoValue;
    } cases[] = {
        {"no directory", f.dir / "missing/zanth.list", ENOENT},
        {"a full device", "/dev/full", ENOSPC},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        FileConfigurator::sources_files_t none;
        const error e = caught([&] { c.appendToSourcesFile(none, t.path, false, "\nline", failure(t.path)); });
        EXPECT_EQ(codes(e), std::make_tuple(4, 2, 1, 2));
        EXPECT_EQ(e.getText(), t.path + ": " + std::to_string(t.errnoValue) + "\n");
    }
}

TEST(SystemSpecificConfiguratorTest, ChildSeesTheProxy)
{
    struct Case {
        const char* host;
        int port;
        const char* user;
        const char* password;
        const char* expected;  // what the child prints; "unset" when the variable is not set
    };
    const Case cases[] = {
        {"", 8080, "user", "pw", "unset"},
        {"proxy.example", 8080, "", "", "http://proxy.example:8080"},
        {"proxy.example", 3128, "user", "pw", "http://user:pw@proxy.example:3128"},
        {"proxy.example", 80, "user", "", "http://user:@proxy.example:80"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.expected);
        ChildResult r = runInChild([&] {
            unsetenv("http_proxy");
            Downloader::setProxy(t.host, t.port);
            Downloader::setProxyAuth(t.user, t.password);
            SystemSpecificConfigurator::setProxyEnvironment();
            SystemCmd cmd("printf %s \"${http_proxy-unset}\"");
            char buffer[256];
            size_t n = fread(buffer, 1, sizeof buffer, cmd.stream);
            fwrite(buffer, 1, n, stdout);
            return cmd.wait();
        });
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, t.expected);
    }
}
