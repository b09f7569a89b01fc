#include "common/Package.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "common/DebPackage.h"
#include "common/DependencyFile.h"
#include "common/DependencyLogical.h"
#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/RPMPackage.h"
#include "common/SourceSysDeb.h"
#include "common/error.h"
#include "common/tinybind.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

TEST(PackageTest, ConstructionAndTextForms)
{
    Package foo("foo", "2:1.0-3");
    EXPECT_STREQ(foo.getName().c_str(), "foo");
    EXPECT_EQ(foo.getType(), 'n');
    EXPECT_TRUE(foo.getArch().empty());
    EXPECT_EQ(foo.getBuildTime(), 0u);
    EXPECT_EQ(foo.getInstallTime(), 0);
    EXPECT_EQ(foo.getSize(), 0);
    EXPECT_EQ(md5_to_hex(foo.getMd5()), std::string(32, '0'));
    EXPECT_EQ(foo.getSource(), nullptr);
    EXPECT_EQ(foo.getElement(), nullptr);
    EXPECT_EQ(printed(foo), "foo-2:1.0-3");  // no arch, no dot
    foo.setArch("x86_64");
    EXPECT_EQ(printed(foo), "foo-2:1.0-3.x86_64");
    foo.setArch("");
    EXPECT_STREQ(foo.getArch().c_str(), "noarch");

    // The file name leaves the release out and is kept once made.
    EXPECT_EQ(foo.getFileName(), "foo-2:1.0");
    EXPECT_EQ(&foo.getFileName(), &foo.getFileName());
    foo.setFileName("foo.rpm");
    EXPECT_EQ(foo.getFileName(), "foo.rpm");

    Package bare("bare", static_cast<Version*>(nullptr));
    EXPECT_EQ(printed(bare), "bare");
    EXPECT_EQ(bare.getFileName(), "bare-(no version)");
    const std::optional<error> e = thrown<error>([&] { bare.getVersion(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText().rfind("Try of use NULL pointer: common/checked_pointer.h:", 0), 0u) << e->getText();
    EXPECT_EQ(codes(*e), std::make_tuple(3, 1, 0, 3));
}

TEST(PackageTest, FactoryByFileName)
{
    std::unique_ptr<Package> rpm(Package::createByFileName("foo", "1.0~rc1", "foo-1.0-1.x86_64.rpm"));
    ASSERT_NE(dynamic_cast<RPMPackage*>(rpm.get()), nullptr);
    EXPECT_EQ(rpm->getFileName(), "foo-1.0-1.x86_64.rpm");
    EXPECT_TRUE(rpm->getVersion() > Version("1.0"));  // RPM-style order

    std::unique_ptr<Package> deb(Package::createByFileName("foo", "1.0~rc1", "foo_installed.deb"));
    ASSERT_NE(dynamic_cast<DebPackage*>(deb.get()), nullptr);
    EXPECT_NE(dynamic_cast<const DebVersion*>(&deb->getVersion()), nullptr);
    EXPECT_TRUE(deb->getVersion() < Version("1.0"));  // Debian order

    for (const char* name : {"foo.txt", "", "foo.rpm.gz", "rpm"}) {
        const std::optional<error> e = thrown<error>([&] { delete Package::createByFileName("foo", "1.0", name); });
        ASSERT_TRUE(e) << name;
        EXPECT_EQ(e->getText(), std::string("Unable to create package object from file ") + name + "\n");
        EXPECT_EQ(codes(*e), std::make_tuple(0, 0, 0, 0));
    }
}

TEST(PackageTest, NumbersAndDigest)
{
    Package foo("foo", "1.0");
    foo.setBuildTime("1700000000");
    foo.setSize("-12");
    foo.setInstallTime(42);
    foo.setMd5("D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(foo.getBuildTime(), 1700000000u);
    EXPECT_EQ(foo.getSize(), -12);
    EXPECT_EQ(foo.getInstallTime(), 42);
    EXPECT_EQ(md5_to_hex(foo.getMd5()), "d41d8cd98f00b204e9800998ecf8427e");
    foo.setBuildTime(7);
    EXPECT_EQ(foo.getBuildTime(), 7u);
    EXPECT_EQ(thrown<error>([&] { foo.setSize("12 "); }).value().getText(), Messages().get("err_non_digit") + "\n");
    EXPECT_THROW(foo.setMd5("abc"), error);
}

TEST(PackageTest, DigestCheckReadsThePackageFile)
{
    char file[] = "/tmp/kw-package-test-XXXXXX";
    int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(file) << "abc";
    Package foo("foo", "1.0");
    foo.setFileName(file);
    EXPECT_FALSE(foo.checkMd5());
    foo.setMd5("900150983cd24fb0d6963f7d28e17f72");  // MD5 of "abc"
    EXPECT_TRUE(foo.checkMd5());
    unlink(file);
    EXPECT_FALSE(foo.checkMd5());
}

TEST(PackageTest, PropertyReferences)
{
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        {"[code]-x", "abc-x"},
        {"x-[code]-[code]", "x-abc-abc"},
        {"[missing]", "[missing]"},
        {"[missing][code]", "[missing]abc"},
        {"[empty][empty]", "[empty]"},  // an empty value at the very start ends the evaluation
        {"a[empty][empty]", "a"},
        {"a[empty]b[empty]", "ab"},
        {"[", "["},
        {"x[code", "x[code"},
        {"]x[", "]x["},
        {"[[code]]", "[[code]]"},  // the name runs from the first '[': "[code"
        {"[open]code]", "abc"},    // a value ending in '[' starts a new reference
        {"", ""},
    };
    Package foo("foo", "1.0");
    foo.setProperty("code", "abc");
    foo.setProperty("empty", "");
    foo.setProperty("open", "[");
    for (const Case& c : cases)
        EXPECT_EQ(foo.evaluateString(c.text), c.result) << c.text;
    EXPECT_EQ(foo.getProperty("code"), "abc");
    EXPECT_EQ(foo.getProperty("nothing"), "");
    foo.setProperty("code", "def");
    EXPECT_EQ(foo.getProperty("code"), "def");
    EXPECT_EQ(foo.getProperties().size(), 3u);

    ChildResult result = runInChild([] {
        Log::consoleLevel = 3;
        Package bar("bar", "1.0");
        bar.setProperty("code", "abc");
        return bar.evaluateString("[code]-[missing]") == "abc-[missing]" ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "debug: Package::evaluateString: undefined property missing in expression abc-[missing]\n");
}

TEST(PackageTest, DependencyLists)
{
    Package foo("foo", "1.0-1");
    foo.addRequire(nullptr);
    foo.addRequire("");
    foo.addRequire("rpmlib(PayloadIsXz) <= 5.2-1");
    foo.addRequire("rpmlib(CompressedFileNames)");
    foo.addRequire("bar >= 2");
    foo.addRequire("/bin/sh");
    foo.addRequire("baz");
    foo.addProvide(static_cast<const char*>(nullptr));
    foo.addProvide("");
    foo.addProvide("rpmlib(x)");  // only requirements skip artificial names
    foo.addConflict("");
    foo.addConflict("old-foo < 1");
    foo.addObsolete(nullptr);
    foo.addObsolete("foo-legacy");

    EXPECT_EQ(printed(foo.getRequire(0)), "bar >= 2");
    EXPECT_NE(dynamic_cast<DependencyFile*>(foo.getRequire(1).get()), nullptr);
    EXPECT_NE(dynamic_cast<DependencyLogical*>(foo.getRequire(2).get()), nullptr);
    EXPECT_FALSE(foo.getRequire(3));
    EXPECT_EQ(printed(foo.getProvide(0)), "rpmlib(x)");
    EXPECT_FALSE(foo.getProvide(1));
    EXPECT_EQ(printed(foo.getConflict(0)), "old-foo < 1");
    EXPECT_FALSE(foo.getConflict(1));
    EXPECT_EQ(printed(foo.getObsolete(0)), "foo-legacy");
    EXPECT_FALSE(foo.getObsolete(1));
    EXPECT_EQ(foo.getRequire(0)->getOwner(), &foo);

    foo.removeRequire(1);
    EXPECT_EQ(printed(foo.getRequire(1)), "baz");
    foo.removeRequire(5);
    EXPECT_EQ(printed(foo.getRequire(1)), "baz");

    Package copy("copy", "1.0");
    copy.addRequire("gone");
    copy.copyDependencies(&foo);
    EXPECT_EQ(copy.getRequire(0), foo.getRequire(0));  // the same objects, shared
    EXPECT_EQ(copy.getObsolete(0), foo.getObsolete(0));
    EXPECT_FALSE(copy.getRequire(2));
    copy.clearDependencies();
    EXPECT_FALSE(copy.getRequire(0));
    EXPECT_FALSE(copy.getProvide(0));
    EXPECT_FALSE(copy.getConflict(0));
    EXPECT_FALSE(copy.getObsolete(0));
    EXPECT_TRUE(foo.getRequire(0));

    boost::shared_ptr<Dependency> extra(new DependencyLogical("extra = 3", nullptr));
    foo.addProvide(extra);
    EXPECT_EQ(foo.getProvide(1), extra);
}

TEST(PackageTest, SelfProvideAndSatisfaction)
{
    Package foo("foo", "1:1.0-1");
    boost::shared_ptr<Dependency> self = foo.getSelfProvide();
    EXPECT_EQ(printed(self), "foo = 1:1.0-1");
    EXPECT_EQ(foo.getSelfProvide(), self);
    EXPECT_EQ(self->getOwner(), &foo);

    DependencyLogical wanted("foo >= 1:1.0", nullptr);
    EXPECT_FALSE(foo.satisfies(&wanted));  // the self provide is not consulted here
    foo.addProvide("foo = 1:1.0-1");
    EXPECT_TRUE(foo.satisfies(&wanted));
    DependencyLogical other("foo > 1:1.0-1", nullptr);
    EXPECT_FALSE(foo.satisfies(&other));

    Package bar("bar", "1.0");
    Package baz("baz", "1.0");
    bar.addRequire("foo");
    bar.addRequire("baz");
    EXPECT_FALSE(bar.requiresPackage(&foo));
    bar.getRequire(1)->addResolver(baz.getSelfProvide());
    EXPECT_FALSE(bar.requiresPackage(&foo));
    EXPECT_TRUE(bar.requiresPackage(&baz));
    bar.getRequire(0)->addResolver(foo.getProvide(0));
    EXPECT_TRUE(bar.requiresPackage(&foo));
}

TEST(PackageTest, ReadingInfo)
{
    Package foo("foo", "1.0");
    const std::optional<error> e = thrown<error>([&] { foo.readInfo(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), Messages().get("err_basepkg_noread") + "\n");
    EXPECT_EQ(codes(*e), std::make_tuple(0, 1, 1, 3));

    ExtCatalogPackage ext("ext-foo");
    EXPECT_EQ(thrown<error>([&] { ext.readInfo(); }).value().getText(), Messages().get("err_basepkg_noread") + "\n");

    ChildResult result = runInChild([] {
        RPMPackage rpm("foo", "1.0-1");
        rpm.setFileName("foo.rpm");
        rpm.readInfo();
        rpm.readInfo();
        return rpm.getVersion().toString() == "1.0-1" && rpm.getFileName() == "foo.rpm" ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "RPMPackage compiled without librpm support\nRPMPackage compiled without librpm support\n");
}

TEST(ExtCatalogPackageTest, KeepsItsTextsAsProperties)
{
    ExtCatalogPackage ext("ext-backup");
    EXPECT_STREQ(ext.getName().c_str(), "ext-backup");
    EXPECT_EQ(ext.getVersion().toString(), "no_versioning_data");
    EXPECT_FALSE(ext.getVersion().hasEpoch());
    EXPECT_STREQ(ext.getArch().c_str(), "");  // the creators set "noarch"
    EXPECT_EQ(ext.getType(), 'n');
    EXPECT_EQ(ext.getCode(), "");
    EXPECT_EQ(ext.getDisplayName(), "");
    EXPECT_EQ(ext.getDownloadUrl(), "");
    EXPECT_TRUE(ext.getProperties().empty());
    ext.setCode("backup");
    ext.setDisplayName("Backup");
    ext.setDownloadUrl("https://example.invalid/backup.zip");
    ext.setCode("backup2");
    EXPECT_EQ(ext.getProperty("EXT_CODE"), "backup2");
    EXPECT_EQ(ext.getProperty("EXT_DISPLAY_NAME"), "Backup");
    EXPECT_EQ(ext.getProperty("EXT_DOWNLOAD_URL"), "https://example.invalid/backup.zip");
    EXPECT_EQ(ext.getCode(), "backup2");
    EXPECT_EQ(ext.getDisplayName(), "Backup");
    EXPECT_EQ(ext.getDownloadUrl(), "https://example.invalid/backup.zip");
}

// ---- XML records ----

class PackageXmlTest : public testing::Test {
protected:
    TiXmlElement* parse(const std::string& text)
    {
        document.reset(new tinybind::Document);
        EXPECT_TRUE(document->parse_text(text)) << text;
        return document->get_root("package");
    }

    std::unique_ptr<tinybind::Document> document;
};

TEST_F(PackageXmlTest, ProductPackages)
{
    TiXmlElement* rpm = parse(
        "<package name='foo' file='foo-1.0-1.x86_64.rpm' version='1.0' release='1' arch='x86_64'"
        " md5='d41d8cd98f00b204e9800998ecf8427e' buildtime='1700000000' size='2048' classes='a,,b'>"
        "<requires>bar</requires><actions/></package>");
    std::unique_ptr<Package> p(Package::createFromXml(rpm, 'b'));
    ASSERT_NE(dynamic_cast<RPMPackage*>(p.get()), nullptr);
    EXPECT_EQ(p->getVersion().toString(), "1.0-1");
    EXPECT_STREQ(p->getArch().c_str(), "x86_64");
    EXPECT_EQ(p->getFileName(), "foo-1.0-1.x86_64.rpm");
    EXPECT_EQ(md5_to_hex(p->getMd5()), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(p->getBuildTime(), 1700000000u);
    EXPECT_EQ(p->getSize(), 2048);
    EXPECT_EQ(p->getType(), 'b');
    EXPECT_EQ(p->getClasses(), ",a,b");  // an empty class, a and b
    EXPECT_FALSE(p->getRequire(0));      // dependencies are read only for extension packages
    EXPECT_FALSE(p->getProvide(0));
    EXPECT_EQ(p->getElement(), nullptr);

    TiXmlElement* deb = parse(
        "<package name='foo' file='foo_1.0-1_amd64.deb' version='1.0~rc1' release='' arch='' md5=''"
        " buildtime='' size='' classes=''/>");
    p.reset(Package::createFromXml(deb, 't'));
    ASSERT_NE(dynamic_cast<DebPackage*>(p.get()), nullptr);
    EXPECT_EQ(p->getVersion().toString(), "1.0~rc1");
    EXPECT_TRUE(p->getVersion() < Version("1.0"));
    EXPECT_STREQ(p->getArch().c_str(), "noarch");
    EXPECT_EQ(p->getClasses(), "");
    EXPECT_EQ(p->getType(), 't');

    TiXmlElement* noFile = parse("<package name='foo' file='' version='1.0' release='1' arch='x86_64'/>");
    const std::optional<error> e = thrown<error>([&] { Package::createFromXml(noFile, 'b'); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getText(), "Unable to create package object from file \n");
}

TEST_F(PackageXmlTest, ExtensionPackages)
{
    // With an empty file the digest, time and size are not read, even when malformed.
    TiXmlElement* plain = parse(
        "<package name='ext-foo' file='' arch='' md5='bad' buildtime='x' size='y'>"
        "<requires>bar &gt;= 1.0</requires><requires>rpmlib(PayloadIsXz) &lt;= 5.2-1</requires>"
        "<provides>foo-api = 2</provides><conflicts>foo-old</conflicts><obsoletes>foo-legacy</obsoletes>"
        "<other>ignored</other></package>");
    std::unique_ptr<Package> p(Package::createFromXml(plain, 'e'));
    ASSERT_NE(dynamic_cast<ExtCatalogPackage*>(p.get()), nullptr);
    EXPECT_EQ(p->getType(), 'e');
    EXPECT_EQ(p->getElement(), plain);
    EXPECT_EQ(p->getVersion().toString(), "no_versioning_data");
    EXPECT_EQ(printed(p->getRequire(0)), "bar >= 1.0");
    EXPECT_FALSE(p->getRequire(1));
    EXPECT_EQ(printed(p->getProvide(0)), "foo-api = 2");
    EXPECT_FALSE(p->getProvide(1));  // no self provide
    EXPECT_EQ(printed(p->getConflict(0)), "foo-old");
    EXPECT_EQ(printed(p->getObsolete(0)), "foo-legacy");

    TiXmlElement* withActions = parse("<package name='ext-foo' file='' arch=''><actions/></package>");
    p.reset(Package::createFromXml(withActions, 'e'));
    EXPECT_EQ(p->getProvide(0), p->getSelfProvide());
    EXPECT_EQ(printed(p->getProvide(0)), "ext-foo = no_versioning_data");

    TiXmlElement* withFile = parse(
        "<package name='ext-foo' file='foo.zip' arch='noarch' md5='d41d8cd98f00b204e9800998ecf8427e'"
        " buildtime='5' size='6'/>");
    p.reset(Package::createFromXml(withFile, 'e'));
    EXPECT_EQ(p->getProvide(0), p->getSelfProvide());
    EXPECT_EQ(p->getBuildTime(), 5u);
    EXPECT_EQ(p->getSize(), 6);

    Package bare("bare", "1.0");
    const std::optional<error> e = thrown<error>([&] { bare.parseRequires(); });
    ASSERT_TRUE(e);
    EXPECT_NE(e->getText().find("common/Package.cpp, line "), std::string::npos) << e->getText();
    EXPECT_EQ(codes(*e), std::make_tuple(3, 1, 1, 3));
}

TEST_F(PackageXmlTest, MissingAttributeNamesTheFirstOne)
{
    struct Case {
        const char* xml;
        char type;
        const char* missing;
    };
    const Case cases[] = {
        {"<package file='f.rpm' version='1' release='1' arch='a'/>", 'b', "name"},
        {"<package name='n' version='1' release='1' arch='a'/>", 'b', "file"},
        {"<package name='n' file='f.rpm' release='1' arch='a'/>", 'b', "version"},
        {"<package name='n' file='f.rpm' version='1' arch='a'/>", 'b', "release"},
        {"<package name='n' file='f.rpm' version='1' release='1'/>", 'b', "arch"},
        {"<package name='n' file='f.rpm' version='1' release='1' arch='a' buildtime='1' size='1'/>", 'b', "md5"},
        {"<package name='n' file='f.rpm' version='1' release='1' arch='a' md5='' size='1'/>", 'b', "buildtime"},
        {"<package name='n' file='f.rpm' version='1' release='1' arch='a' md5='' buildtime='1'/>", 'b', "size"},
        {"<package name='n' file=''/>", 'e', "arch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        TiXmlElement* element = parse(c.xml);
        ChildResult result = runInChild([&] {
            Log::consoleLevel = 1;
            try {
                delete Package::createFromXml(element, c.type);
            } catch (const error& e) {
                std::cout << e.getText();
                return e.e_class == 1 && e.e_rep == 1 && e.e_sys == 1 && e.e_supp == 3 ? 0 : 2;
            }
            return 1;
        });
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, Messages().get("err_bad_pkgtag") + "\n");
        // The first line; a catalog without the key adds its own warning after it.
        EXPECT_EQ(result.err.rfind(std::string("No '") + c.missing + "' attribute for tag 'package'\n", 0), 0u)
            << result.err;
    }
}

TEST_F(PackageXmlTest, DependencyReadingIsTraced)
{
    TiXmlElement* element = parse("<package name='ext-foo' file='foo.zip' arch='' md5='' buildtime='' size=''/>");
    ChildResult result = runInChild([&] {
        Log::consoleLevel = 3;
        std::unique_ptr<Package> p(Package::createFromXml(element, 'e'));
        std::cout << static_cast<const void*>(p->getSelfProvide().get());
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err,
              "debug: Package::parseRequires ext-foo filename foo.zip\n"
              "debug: Package ext-foo::parseRequires: add self provides " +
                  result.out + " ext-foo = no_versioning_data\n");
}

// The installed-package cache records: reading and writing.

// A stream over a text, closed with the holder.
class TextStream {
public:
    explicit TextStream(const std::string& text_) : text(text_), file(fmemopen(&text[0], text.size(), "r"))
    {
        if (text.empty())
            file = fopen("/dev/null", "r");  // fmemopen refuses an empty buffer
    }
    ~TextStream() { fclose(file); }
    FILE* get() const { return file; }
    std::string rest() const
    {
        std::string remaining;
        for (int c; (c = getc(file)) != EOF;)
            remaining += static_cast<char>(c);
        return remaining;
    }

private:
    std::string text;
    FILE* file;
};

std::vector<std::string> list(const Package& package, boost::shared_ptr<Dependency> (Package::*get)(uint32_t) const)
{
    std::vector<std::string> texts;
    for (uint32_t i = 0; (package.*get)(i); ++i)
        texts.push_back(printed((package.*get)(i)));
    return texts;
}

// Written by the package's own writer.
std::string written(const Package& package, const char* fileName = nullptr)
{
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    package.writeToCache(out, fileName);
    fclose(out);
    std::string text(buffer, size);
    free(buffer);
    return text;
}

const char* const DIGEST = "d41d8cd98f00b204e9800998ecf8427e";

TEST(PackageCacheTest, ReadsTheSmallestRecord)
{
    TextStream in("N:foo\nV:1.0\nX:\nN:next");
    int lines = 10;
    std::unique_ptr<Package> p(Package::createFromCache(in.get(), &lines));
    ASSERT_NE(dynamic_cast<RPMPackage*>(p.get()), nullptr);
    EXPECT_STREQ(p->getName().c_str(), "foo");
    EXPECT_EQ(p->getVersion().toString(), "1.0");
    EXPECT_STREQ(p->getArch().c_str(), "all");
    EXPECT_EQ(p->getFileName(), "dummy_filename_foo-1.0.rpm");
    EXPECT_EQ(p->getType(), 'n');
    EXPECT_EQ(p->getSource(), nullptr);
    EXPECT_EQ(lines, 13);
    EXPECT_EQ(in.rest(), "N:next");  // the stream stays at the next record
}

TEST(PackageCacheTest, ReadsEveryField)
{
    const std::string record =
        "  # a comment\n"
        "F:foo-1.0-3.x86_64.rpm\n"
        "N:  foo \n"
        "E:(none)\n"
        "E:2\n"
        "V:1.0\n"
        "L:3\n"
        "A:x86_64\n"
        "f:1700000001\n"
        "B:1700000000\n"
        "S:ignored text\n"
        "s:4096\n"
        "M:" +
        std::string(DIGEST) +
        "\n"
        "R:rpmlib(CompressedFileNames) <= 3.0.4-1\n"
        "R:/bin/sh\n"
        "R:bar(none) >= 1.2\n"
        "R:(none)\n"
        "P:foo = 2:1.0-3\n"
        "P:/usr/bin/foo\n"
        "m:33261\n"
        "5:" +
        std::string(DIGEST) +
        "\n"
        "P:/usr/bin/foo-link\n"
        "m:41471\n"
        "5:/usr/bin/foo\n"
        "P:/usr/share/foo\n"
        "m:0\n"
        "5:\n"
        "P:/usr/bin/named\n"
        "C:foo-old < 1\n"
        "O:foo-legacy\n"
        "\t X: anything \n";
    TextStream in(record);
    int lines = 0;
    std::unique_ptr<Package> p(Package::createFromCache(in.get(), &lines));
    EXPECT_EQ(lines, 31);
    EXPECT_EQ(p->getFileName(), "foo-1.0-3.x86_64.rpm");
    EXPECT_STREQ(p->getName().c_str(), "foo");
    EXPECT_EQ(p->getVersion().toString(), "2:1.0-3");
    EXPECT_STREQ(p->getArch().c_str(), "x86_64");
    EXPECT_EQ(p->getInstallTime(), 1700000001);
    EXPECT_EQ(p->getBuildTime(), 1700000000u);
    EXPECT_EQ(p->getSize(), 4096);
    EXPECT_EQ(md5_to_hex(p->getMd5()), DIGEST);
    EXPECT_EQ(list(*p, &Package::getRequire), (std::vector<std::string>{"/bin/sh", "bar >= 1.2"}));
    EXPECT_NE(dynamic_cast<DependencyFile*>(p->getRequire(0).get()), nullptr);
    EXPECT_EQ(list(*p, &Package::getProvide),
              (std::vector<std::string>{"foo = 2:1.0-3", "/usr/bin/foo", "/usr/bin/foo-link", "/usr/share/foo",
                                        "/usr/bin/named"}));
    const DependencyFile* file = dynamic_cast<DependencyFile*>(p->getProvide(1).get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->getMode(), 33261);
    EXPECT_EQ(file->getMd5String(), DIGEST);
    const DependencyFile* link = dynamic_cast<DependencyFile*>(p->getProvide(2).get());
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->getMd5String(), "/usr/bin/foo");
    // An empty digest after a mode still makes a file provide; a path alone is a named one.
    EXPECT_NE(dynamic_cast<DependencyFile*>(p->getProvide(3).get()), nullptr);
    EXPECT_NE(dynamic_cast<DependencyLogical*>(p->getProvide(4).get()), nullptr);
    EXPECT_EQ(p->getProvide(0)->getOwner(), p.get());
    EXPECT_EQ(p->getProvide(1)->getOwner(), p.get());
    EXPECT_EQ(list(*p, &Package::getConflict), std::vector<std::string>{"foo-old < 1"});
    EXPECT_EQ(list(*p, &Package::getObsolete), std::vector<std::string>{"foo-legacy"});
}

TEST(PackageCacheTest, DebianRecordsAndProvides)
{
    TextStream in("F:libfoo_installed.deb\nN:libfoo\nV:1:2.3~rc1-4\nA:amd64\nP:libfoo-abi (= 2)\nP:foo-api\nX:\n");
    int lines = 0;
    std::unique_ptr<Package> p(Package::createFromCache(in.get(), &lines));
    ASSERT_NE(dynamic_cast<DebPackage*>(p.get()), nullptr);
    EXPECT_EQ(p->getVersion().toString(), "1:2.3~rc1-4");
    EXPECT_TRUE(p->getVersion() < DebVersion("1:2.3-4"));
    // "(=" counts as "=" and the version keeps dpkg's ')', which orders "2)" just above 2.
    DependencyLogical atLeast("libfoo-abi >= 2", nullptr);
    DependencyLogical exact("libfoo-abi = 2", nullptr);
    EXPECT_TRUE(p->satisfies(&atLeast));
    EXPECT_FALSE(p->satisfies(&exact));
    EXPECT_EQ(list(*p, &Package::getProvide), (std::vector<std::string>{"libfoo-abi = 2)", "foo-api"}));
}

TEST(PackageCacheTest, UnknownTagsAreWarnedAndSkipped)
{
    ChildResult result = runInChild([] {
        TextStream in("N:foo\nV:1\nZ:1\nP:/usr/bin/foo\n m:420\nX:\n");
        int lines = 0;
        std::unique_ptr<Package> p(Package::createFromCache(in.get(), &lines));
        // The m line with a leading blank ends the P group and is then a tag of its own.
        const bool named = dynamic_cast<DependencyLogical*>(p->getProvide(0).get()) != nullptr;
        return named && lines == 6 && !p->getProvide(1) ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err,
              "Warning: unknow tag in cache, whole line is: Z:1'\n"
              "Warning: unknow tag in cache, whole line is: m:420'\n");
}

TEST(PackageCacheTest, LongLinesAreReadInChunks)
{
    // 1,022 characters make a chunk; the rest of the line is read as a line of its own.
    const std::string name(1020, 'a');
    TextStream in("N:foo\nV:1\nR:" + name + "C:rest\nX:\n");
    int lines = 0;
    std::unique_ptr<Package> p(Package::createFromCache(in.get(), &lines));
    EXPECT_EQ(lines, 5);
    EXPECT_EQ(list(*p, &Package::getRequire), std::vector<std::string>{name});
    EXPECT_EQ(list(*p, &Package::getConflict), std::vector<std::string>{"rest"});
}

TEST(PackageCacheTest, MalformedRecords)
{
    struct Case {
        const char* text;
        const char* key;      // message key of the error, or null
        const char* message;  // its literal text otherwise
        int lines;
    };
    const Case cases[] = {
        {"", "err_cache_unexpend", nullptr, 0},
        {"N:foo\nV:1.0\n", "err_cache_unexpend", nullptr, 2},
        {"N:foo\nV:1.0\nR:bar\n", "err_cache_unexpend", nullptr, 3},
        {"N:foo\n\nV:1.0\nX:\n", "err_cache_shortline", nullptr, 2},
        {"N:foo\n   \nX:\n", "err_cache_shortline", nullptr, 2},
        {"N\n", "err_cache_shortline", nullptr, 1},
        {"(none)\n", "err_cache_shortline", nullptr, 1},
        {"N=foo\n", "err_cache_semicolon", nullptr, 1},
        {"E:2\nE:3\n", "err_cache_multitag", nullptr, 2},
        {"N:foo\nV:1\nP:bar\n", "err_cache_descend", nullptr, 3},
        {"N:foo\nV:1\nP:/x\nm:1\n", "err_cache_descend", nullptr, 4},
        {"N:foo\nV:1\nP:/x\nm\n", "err_cache_shortline", nullptr, 4},
        {"N:foo\nV:1\nP:/x\n5-1\n", "err_cache_semicolon", nullptr, 4},
        {"N:foo\nR:bar\nX:\n", "err_cache_pkgvers", nullptr, 2},
        {"N:foo\nV:(none)\nX:\n", "err_cache_pkgvers", nullptr, 3},
        {"N:foo\nV:1\nR:bar\nN:baz\nX:\n", "err_cache_descend", nullptr, 4},
        {"N:foo\nV:1\nF:foo.txt\nX:\n", nullptr, "Unable to create package object from file foo.txt", 4},
        {"N:foo\nV:1\nB:12x\nX:\n", "err_non_digit", nullptr, 4},
        {"N:foo\nV:1\nM:123\nX:\n", nullptr, "MD5 string size is not 32- 3 123", 4},
        {"N:foo\nV:1\nP:/x\n5:zz\nX:\n", nullptr, "MD5 string size is not 32- 2 zz", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextStream in(c.text);
        int lines = 0;
        try {
            delete Package::createFromCache(in.get(), &lines);
            ADD_FAILURE() << "no error";
        } catch (const error& e) {
            EXPECT_EQ(e.getText(), (c.key ? Messages().get(c.key) : std::string(c.message)) + "\n");
            if (c.key && std::string(c.key).rfind("err_cache_", 0) == 0) {
                EXPECT_EQ(e.e_class, 1);
                EXPECT_EQ(e.e_rep, 1);
                EXPECT_EQ(e.e_sys, 1);
                EXPECT_EQ(e.e_supp, 3);
            }
        }
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(PackageCacheTest, ReaderExplainsItsFailuresInTheLog)
{
    struct Case {
        const char* text;
        const char* logged;
    };
    const Case cases[] = {
        {"N:foo\nV:1\n", "createFromCache(): package must terminated with 'X'\n"},
        {"N:foo\nV:1\nN:bar\n", "Invalid cache format: tag 'N' occured twice, second in 'N:bar'\n"},
        {"N:foo\nV:1\nR:bar\n  L:3 \n",
         "Invalid cache format: multi-occured fields mixed with single-occured fields\n"
         "Error in Package::createFromCache: input line  4:L:3\n"},
        {"F:\nN:foo\nE:\nA:(none)x\nR:bar\n", " 'A=x' 'E=' 'F=' 'N=foo'\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = c.text;
        ChildResult result = runInChild([&] {
            Log::consoleLevel = 2;
            TextStream in(text);
            int lines = 0;
            try {
                Package::createFromCache(in.get(), &lines);
            } catch (const error&) {
                return 0;
            }
            return 1;
        });
        EXPECT_EQ(result.exit_code, 0);
        // The first lines; a catalog without the key adds its own warning after them.
        EXPECT_EQ(result.err.rfind(c.logged, 0), 0u) << result.err;
    }
}

TEST(PackageCacheTest, WritesOneRecord)
{
    std::unique_ptr<Package> p(Package::createByFileName("foo", "2:1.0-3", "foo-1.0-3.x86_64.rpm"));
    p->setType('s');
    p->setArch("x86_64");
    p->setInstallTime(1700000001);
    p->setBuildTime(1700000000);
    p->setSize("4096");
    p->setMd5(DIGEST);
    p->addRequire("bar >= 1.2");
    p->addRequire("/bin/sh");
    p->addProvide("foo = 2:1.0-3");
    p->addProvide(boost::shared_ptr<Dependency>(new DependencyFile("/usr/bin/foo", 0100755, DIGEST, p.get())));
    p->addProvide(boost::shared_ptr<Dependency>(new DependencyFile("/usr/bin/f", 0120777, "/usr/bin/foo", p.get())));
    p->addProvide(boost::shared_ptr<Dependency>(new DependencyFile("/usr/share/foo", 040755, "", p.get())));
    p->addProvide(
        boost::shared_ptr<Dependency>(new DependencyFile("/etc/foo", 0100644, std::string(32, '0'), p.get())));
    p->addConflict("foo-old < 1");
    p->addObsolete("foo-legacy");
    const std::string expected =
        "F:foo-1.0-3.x86_64.rpm\nN:foo\nE:2\nV:1.0\nL:3\nA:x86_64\nf:1700000001\ns:4096\nB:1700000000\n"
        "M:" +
        std::string(DIGEST) +
        "\n"
        "R:bar >= 1.2\nR:/bin/sh\nP:foo = 2:1.0-3\n"
        "P:/usr/bin/foo\nm:33261\n5:" +
        std::string(DIGEST) +
        "\n"
        "P:/usr/bin/f\nm:41471\n5:/usr/bin/foo\n"
        "P:/usr/share/foo\nm:16877\n5:\n"
        "P:/etc/foo\nm:33188\n5:\n"
        "C:foo-old < 1\nO:foo-legacy\nX:\n";
    EXPECT_EQ(written(*p), expected);
    EXPECT_EQ(written(*p, "other.rpm").substr(0, 12), "F:other.rpm\n");

    // Reading the record back gives the same fields except the type, which the caller sets.
    TextStream in(expected);
    int lines = 0;
    std::unique_ptr<Package> back(Package::createFromCache(in.get(), &lines));
    EXPECT_EQ(back->getType(), 'n');
    back->setType('s');
    EXPECT_EQ(written(*back), expected);

    // An epoch flag with epoch 0 and an unset digest.
    Package zero("zero", ":1.0");
    zero.setType('d');
    zero.setFileName("zero.rpm");
    EXPECT_EQ(written(zero),
              "F:zero.rpm\nN:zero\nE:0\nV:1.0\nL:\nA:\nf:0\ns:0\nB:0\nM:" + std::string(32, '0') + "\nX:\n");
}

TEST(PackageCacheTest, WriterRefusesIncompletePackages)
{
    ChildResult result = runInChild([] {
        Package nameless("", "1.0");
        nameless.setType('s');
        nameless.setFileName("x.rpm");
        Package fileless("foo", "1.0");
        fileless.setType('s');
        Package untyped("foo", "1.0");
        untyped.setFileName("foo.rpm");
        return written(nameless).empty() && written(fileless).empty() && written(untyped).empty() ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err,
              "Cant dump package if name or filename is empty(name= filename=x.rpm\n"
              "Cant dump package if name or filename is empty(name=foo filename=\n"
              "skip dump package of no type\n");
}

// The installed packages of this machine, as the Debian installed-package source asks for them.
TEST(PackageCacheTest, InstalledSystemRoundTrips)
{
    FILE* query = popen(SourceSysDeb::BRIEF_QUERY, "r");
    ASSERT_NE(query, nullptr);
    std::vector<std::unique_ptr<Package>> packages;
    int lines = 0;
    for (int c; (c = getc(query)) != EOF;) {
        ungetc(c, query);
        packages.emplace_back(Package::createFromCache(query, &lines));
    }
    ASSERT_EQ(pclose(query), 0);

    FILE* versions = popen("dpkg-query --show '--showformat=${Status} ${Package} ${Version}\\n'", "r");
    std::map<std::string, std::string> installed;
    char status1[64], status2[64], status3[64], name[512], version[512];
    while (fscanf(versions, "%63s %63s %63s %511s %511s", status1, status2, status3, name, version) == 5)
        if ((std::string(status1) == "install" || std::string(status1) == "hold") && std::string(status2) == "ok")
            installed[name] = version;
    pclose(versions);
    ASSERT_GT(installed.size(), 50u);
    ASSERT_EQ(packages.size(), installed.size());

    size_t provides = 0;
    for (const auto& p : packages) {
        SCOPED_TRACE(p->getName().c_str());
        ASSERT_NE(dynamic_cast<DebPackage*>(p.get()), nullptr);
        EXPECT_EQ(p->getVersion().toString(), installed[p->getName().c_str()]);
        EXPECT_EQ(p->getFileName(), std::string(p->getName().c_str()) + "_installed.deb");
        p->setType('s');
        const std::string record = written(*p);
        TextStream in(record);
        int count = 0;
        std::unique_ptr<Package> back(Package::createFromCache(in.get(), &count));
        ASSERT_NE(dynamic_cast<DebPackage*>(back.get()), nullptr);
        EXPECT_TRUE(back->getVersion() == p->getVersion());
        EXPECT_EQ(back->getVersion().toString(), p->getVersion().toString());
        EXPECT_EQ(back->getArch(), p->getArch());
        EXPECT_EQ(back->getName(), p->getName());
        EXPECT_EQ(list(*back, &Package::getProvide), list(*p, &Package::getProvide));
        for (uint32_t i = 0; p->getProvide(i); ++i)
            EXPECT_TRUE(back->getProvide(i)->equals(p->getProvide(i)));
        back->setType('s');
        EXPECT_EQ(written(*back), record);
        provides += list(*p, &Package::getProvide).size();
    }
    EXPECT_GT(provides, 0u);
}
}  // namespace
