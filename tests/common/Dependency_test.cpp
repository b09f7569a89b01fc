#include "common/Dependency.h"

#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "common/DependencyFile.h"
#include "common/DependencyLogical.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Package.h"
#include "common/error.h"
#include "common/md5rep.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/printed.h"
#include "tests/support/thrown.h"

namespace {

typedef boost::shared_ptr<Dependency> dep_ptr;

dep_ptr logical(const std::string& text, const Package* owner = nullptr)
{
    return dep_ptr(new DependencyLogical(text, owner));
}

dep_ptr path(const std::string& text, int mode = 0, const std::string& digest = "")
{
    return dep_ptr(new DependencyFile(text, mode, digest, nullptr));
}

uint64_t bits(const char* pointer)
{
    return reinterpret_cast<uintptr_t>(pointer);
}

const char* const DIGEST = "d41d8cd98f00b204e9800998ecf8427e";

TEST(DependencyLogicalTest, ParsesNameRelationAndVersion)
{
    struct Case {
        const char* text;
        const char* name;
        int relation;
        const char* version;  // null: none
    };
    const Case cases[] = {
        {"foo >= 1.2-3", "foo", DependencyLogical::GE, "1.2-3"},
        {"foo 1.2", "foo 1.2", DependencyLogical::NONE, nullptr},  // no operator: a name as a whole
        {"foo", "foo", DependencyLogical::NONE, nullptr},
        {"> 1.0", "> 1.0", DependencyLogical::NONE, nullptr},
        {"foo  >=  1.0", "foo", DependencyLogical::GE, "1.0"},
        {"x> 1.0", "x", DependencyLogical::GT, "1.0"},
        {"xy>= 1.0", "x", DependencyLogical::EQ, "1.0"},  // the operator is "y>="
        {"foo << 1.0", "foo", DependencyLogical::LE, "1.0"},
        {"foo >> 1.0", "foo", DependencyLogical::GE, "1.0"},
        {"foo == 1", "foo", DependencyLogical::EQ, "1"},
        {"foo => 1", "foo", DependencyLogical::EQ, "1"},
        {"foo = 1", "foo", DependencyLogical::EQ, "1"},
        {"foo < 1", "foo", DependencyLogical::LT, "1"},
        {"foo <= 1", "foo", DependencyLogical::LE, "1"},
        {"foo > 1", "foo", DependencyLogical::GT, "1"},
        {" foo", " foo", DependencyLogical::NONE, nullptr},  // a blank in the first place is never examined
        {"foo >=", "foo >=", DependencyLogical::NONE, nullptr},
        {"b (= 1.0)", "b", DependencyLogical::EQ, "1.0)"},                   // a Debian provide as dpkg writes it
        {"perl (>= 5.36.0-7)", "perl", DependencyLogical::EQ, "5.36.0-7)"},  // "(>=" begins with '('

        {"foo = 2:1.0-3", "foo", DependencyLogical::EQ, "2:1.0-3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DependencyLogical d(c.text, nullptr);
        EXPECT_EQ(d.getName(), c.name);
        EXPECT_EQ(d.getRelation(), c.relation);
        if (c.version) {
            ASSERT_NE(d.getVersion(), nullptr);
            EXPECT_EQ(d.getVersion()->toString(), c.version);
            // Printing and parsing again gives an equal dependency.
            dep_ptr again = logical(printed(d));
            EXPECT_TRUE(again->equals(logical(c.text)));
        } else {
            EXPECT_EQ(d.getVersion(), nullptr);
            EXPECT_EQ(printed(d), c.name);
        }
    }
    EXPECT_EQ(printed(DependencyLogical("foo  >=  1.0", nullptr)), "foo >= 1.0");
    EXPECT_EQ(printed(DependencyLogical("foo << 1.0", nullptr)), "foo <= 1.0");
}

TEST(DependencyLogicalTest, OperatorWithoutVersionFails)
{
    const error e = caught([] { DependencyLogical("foo >= ", nullptr); });
    EXPECT_EQ(e.getText(), Messages().get("err_empty_version") + "\n");
    EXPECT_EQ(e.e_class, 1);
}

TEST(DependencyLogicalTest, EmptyTextIsAnInternalErrorWithALogLine)
{
    ChildResult result = runInChild([] {
        Package owner("foo", "1.0");
        owner.setArch("x86_64");
        for (const Package* p : {static_cast<const Package*>(nullptr), static_cast<const Package*>(&owner)}) {
            try {
                DependencyLogical d("", p);
                return 1;
            } catch (const error& e) {
                if (e.e_class != 3 || e.getText().find("common/DependencyLogical.cpp, line ") == std::string::npos)
                    return 2;
            }
        }
        std::ostringstream address;
        address << static_cast<const void*>(&owner);
        std::cout << address.str();
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err,
              "Error: empty data for dependency of package 0\n"
              "Error: empty data for dependency of package " +
                  result.out + " foo-1.0.x86_64\n");
}

TEST(DependencyLogicalTest, SatisfactionIsAnOverlapOfRanges)
{
    struct Case {
        const char* requirement;
        const char* provide;
        bool satisfied;
    };
    const Case cases[] = {
        {"foo >= 1.5", "foo = 2:1.0", true},  // epoch 2 against none
        {"foo >= 1.0-5", "foo = 1.0", true},  // a missing release matches any
        {"foo > 1.0-1", "foo = 1.0-1", false},
        {"foo > 1.0", "foo < 2.0", true},
        {"foo = 9", "foo", true},
        {"foo", "foo = 1", true},
        {"foo", "foo", true},
        {"bar", "foo", false},
        {"foo = 1", "bar = 1", false},
        {"foo = 1.0", "foo = 0:1.0", true},  // a missing epoch counts as 0 here
        {"foo = 1:1.0", "foo = 1.0", false},
        {"foo = 1.0", "foo = 1:1.0", false},
        {"foo = 1:1.0", "foo = 1:1.0", true},
        {"foo = 2:1.0", "foo = 1:3.0", false},
        {"foo < 1.0", "foo = 1.0", false},
        {"foo <= 1.0", "foo = 1.0", true},
        {"foo <= 1.0", "foo < 1.0", true},
        {"foo <= 1.0", "foo > 1.0", false},
        {"foo < 1.0", "foo <= 1.0", true},
        {"foo < 1.0", "foo >= 1.0", false},
        {"foo > 1.0", "foo >= 1.0", true},
        {"foo > 1.0", "foo <= 1.0", false},
        {"foo >= 1.0", "foo > 1.0", true},
        {"foo >= 1.0", "foo < 1.0", false},
        {"foo = 1.0", "foo < 1.0", false},
        {"foo = 1.0", "foo >= 1.0", true},
        {"foo < 1.0", "foo > 2.0", false},
        {"foo > 2.0", "foo < 1.0", false},
        {"foo < 2.0", "foo = 1.0", true},
        {"foo = 1.0", "foo > 0.5", true},
        {"foo = 1.0-2", "foo = 1.0-3", false},
        {"foo >= 1.0~rc1", "foo = 1.0", false},  // the RPM-style order puts 1.0~rc1 above 1.0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.requirement) + " by " + c.provide);
        EXPECT_EQ(logical(c.requirement)->isSatisfiedBy(logical(c.provide)), c.satisfied);
    }
    EXPECT_FALSE(logical("/usr/bin/foo")->isSatisfiedBy(path("/usr/bin/foo")));
    EXPECT_FALSE(path("/usr/bin/foo")->isSatisfiedBy(logical("/usr/bin/foo")));
}

TEST(DependencyLogicalTest, IdentityHashAndClone)
{
    EXPECT_TRUE(logical("foo >= 1.0")->equals(logical("foo  >=  1.0")));
    EXPECT_FALSE(logical("foo >= 1.0")->equals(logical("foo >= 0:1.0")));  // an epoch never equals none
    EXPECT_FALSE(logical("foo = 1")->equals(logical("foo >= 1")));
    EXPECT_FALSE(logical("foo")->equals(logical("foo = 1")));
    EXPECT_TRUE(logical("foo")->equals(logical("foo")));
    EXPECT_FALSE(logical("foo")->equals(path("foo")));
    EXPECT_TRUE(logical("foo = 1")->isSameTarget(logical("foo > 2")));
    EXPECT_FALSE(logical("foo")->isSameTarget(logical("bar")));
    EXPECT_FALSE(logical("foo")->isSameTarget(path("foo")));

    DependencyLogical foo("foo >= 1.0", nullptr);
    const uint64_t p = bits(foo.getPooledName().c_str());
    EXPECT_EQ(foo.hash(), ((p << 21) | (p >> 11)) * 5);
    EXPECT_EQ(foo.hash(), logical("foo")->hash());

    Package owner("owner", "1.0");
    dep_ptr original = logical("foo >= 1:1.0-2", &owner);
    original->addResolver(logical("foo"));
    dep_ptr copy = original->clone();
    EXPECT_NE(copy.get(), original.get());
    EXPECT_EQ(copy->getOwner(), &owner);
    EXPECT_TRUE(copy->equals(original));
    EXPECT_EQ(printed(*copy), "foo >= 1:1.0-2");
    EXPECT_FALSE(copy->getResolver(0));
    EXPECT_NE(static_cast<DependencyLogical*>(copy.get())->getVersion(),
              static_cast<DependencyLogical*>(original.get())->getVersion());
}

TEST(DependencyTest, ResolversAreWeak)
{
    dep_ptr requirement = logical("foo");
    dep_ptr first = logical("foo = 1");
    dep_ptr second = logical("foo = 2");
    dep_ptr third = logical("foo = 3");
    requirement->addResolver(first);
    requirement->addResolver(second);
    requirement->addResolver(third);
    EXPECT_EQ(requirement->getResolver(1), second);
    EXPECT_FALSE(requirement->getResolver(3));
    requirement->removeResolver(1);
    EXPECT_EQ(requirement->getResolver(0), first);
    EXPECT_EQ(requirement->getResolver(1), third);
    requirement->removeResolver(7);  // nothing past the end
    EXPECT_EQ(requirement->getResolver(1), third);
    third.reset();
    EXPECT_FALSE(requirement->getResolver(1));  // that dependency no longer exists
}

TEST(DependencyTest, OwnerlessDependenciesBelongToTheDummyMaster)
{
    const Package* master = logical("foo")->getOwner();
    ASSERT_NE(master, nullptr);
    EXPECT_STREQ(master->getName().c_str(), "dummy_masterpackage_for_dependency");
    EXPECT_EQ(master->getVersion().toString(), "1.2.3");
    EXPECT_EQ(master->getType(), 'd');
    EXPECT_EQ(path("/bin/sh")->getOwner(), master);
}

TEST(DependencyTest, SatisfiedByAPackageThroughItsProvidesOrItsOwnName)
{
    Package foo("foo", "1.0");
    EXPECT_TRUE(logical("foo = 1.0")->isSatisfiedByPackage(&foo));
    EXPECT_TRUE(logical("foo >= 0.5")->isSatisfiedByPackage(&foo));
    EXPECT_FALSE(logical("foo = 2.0")->isSatisfiedByPackage(&foo));
    EXPECT_FALSE(logical("bar")->isSatisfiedByPackage(&foo));
    foo.addProvide("bar = 3");
    foo.addProvide("/usr/bin/foo");
    EXPECT_TRUE(logical("bar > 2")->isSatisfiedByPackage(&foo));
    EXPECT_FALSE(logical("bar > 3")->isSatisfiedByPackage(&foo));
    EXPECT_TRUE(path("/usr/bin/foo")->isSatisfiedByPackage(&foo));
}

TEST(DependencyTest, ArtificialNames)
{
    EXPECT_TRUE(Dependency::isArtificial("rpmlib(PayloadIsXz) <= 5.2-1"));
    EXPECT_TRUE(Dependency::isArtificial(std::string("rpmlib(")));
    EXPECT_FALSE(Dependency::isArtificial("rpmlib"));
    EXPECT_FALSE(Dependency::isArtificial(std::string("foo")));
    // The set of further names is process-wide: changed only in a child.
    ChildResult result = runInChild([] {
        Dependency::addArtificial("foo");
        return Dependency::isArtificial(std::string("foo")) && !Dependency::isArtificial("foo") ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
}

TEST(DependencyFileTest, PathsAndTargets)
{
    struct Case {
        const char* path;
        const char* directory;
        const char* file;
    };
    const Case cases[] = {
        {"/usr/bin/foo", "/usr/bin/", "foo"},
        {"foo", "", "foo"},
        {"/usr/lib/", "/usr/lib/", ""},
        {"/", "/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        DependencyFile d(c.path, 0, "", nullptr);
        EXPECT_EQ(d.getName(), c.path);
        EXPECT_EQ(printed(d), c.path);
        const uint64_t dir = bits(PooledString(c.directory).c_str());
        const uint64_t file = bits(PooledString(c.file).c_str());
        EXPECT_EQ(d.hash(), ((dir << 21) | (dir >> 11)) * 5 + ((file << 19) | (file >> 13)) * 3);
    }
    dep_ptr plain = path("/usr/bin/foo");
    dep_ptr described = path("/usr/bin/foo", 0100755, DIGEST);
    EXPECT_TRUE(plain->isSameTarget(described));
    EXPECT_TRUE(plain->equals(described));
    EXPECT_TRUE(plain->isSatisfiedBy(described));
    EXPECT_EQ(plain->hash(), described->hash());
    EXPECT_FALSE(plain->isSameTarget(path("/usr/sbin/foo")));
    EXPECT_FALSE(plain->isSameTarget(path("/usr/bin/foo2")));
}

TEST(DependencyFileTest, ModeDecidesBetweenDigestAndLinkTarget)
{
    struct Case {
        int mode;
        int type;
    };
    const Case cases[] = {
        {0010644, 1},  {0020644, 2},  {0040755, 4}, {0060644, 6}, {0100644, 8},
        {0120777, 10}, {0140755, 12}, {0, 8},       {0030000, 8}, {0170000, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        DependencyFile d("/x", c.mode, "", nullptr);
        EXPECT_EQ(d.getFileType(), c.type);
        EXPECT_EQ(d.isDirectory(), c.type == 4);
        EXPECT_EQ(d.isRegular(), c.type == 8);
    }

    DependencyFile link("/usr/bin/vi", 0xA1FF, "/etc/alternatives/vi", nullptr);
    EXPECT_EQ(link.getMd5String(), "/etc/alternatives/vi");
    DependencyFile regular("/usr/bin/foo", 0x81A4, "D41D8CD98F00B204E9800998ECF8427E", nullptr);
    EXPECT_EQ(regular.getMd5String(), DIGEST);
    DependencyFile none("/usr/bin/foo", 0x81A4, "", nullptr);
    EXPECT_EQ(none.getMd5String(), "");

    regular.setDigest("");  // changes nothing
    EXPECT_EQ(regular.getMd5String(), DIGEST);
    EXPECT_THROW(regular.setDigest("xyz"), error);
    EXPECT_EQ(regular.getMd5String(), DIGEST);  // unchanged by the failure

    dep_ptr copy = regular.clone();
    DependencyFile* cloned = static_cast<DependencyFile*>(copy.get());
    EXPECT_EQ(cloned->getMode(), 12345);
    EXPECT_EQ(cloned->getMd5String(), "");
    EXPECT_TRUE(cloned->equals(copy));
    EXPECT_EQ(cloned->getName(), "/usr/bin/foo");

    regular.setPath("/opt/bar");
    regular.setMode(0120777);
    regular.setDigest("target");
    EXPECT_EQ(regular.getName(), "/opt/bar");
    EXPECT_EQ(regular.getMd5String(), DIGEST);  // a digest once set stays before the link target
}

TEST(DependencyFileTest, BadDigestLeavesStandardOutputAlone)
{
    // Standard output carries status records and XML answers: giving back a digest slot writes
    // nothing there.
    ChildResult result = runInChild([] {
        try {
            DependencyFile d("/usr/bin/foo", 0100644, "0123", nullptr);
        } catch (const error&) {
            return 0;
        }
        return 1;
    });
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(DependencyFileTest, PoolsRefuseOtherSizes)
{
    for (auto allocate :
         {+[] { return DependencyFile::operator new(1); },
          +[] { return DependencyFile::md5rep_t::operator new(sizeof(DependencyFile::md5rep_t) + 1); }}) {
        const error e = caught([&] { allocate(); });
        EXPECT_EQ(e.e_class, 3);
        EXPECT_NE(e.getText().find("An internal error occured"), std::string::npos);
    }
    // Slots stay distinct across blocks; new digest slots are zero.
    std::set<void*> slots;
    for (int i = 0; i < 40000; ++i) {
        DependencyFile::md5rep_t* digest = new DependencyFile::md5rep_t;
        for (unsigned char byte : digest->bytes)
            ASSERT_EQ(byte, 0);
        slots.insert(digest);
        slots.insert(new DependencyFile("/f", 0, "", nullptr));
    }
    EXPECT_EQ(slots.size(), 80000u);
}

TEST(Md5TextTest, HexadecimalForms)
{
    DependencyFile::md5rep_t digest;
    md5_from_hex(DIGEST, digest);
    EXPECT_EQ(md5_to_hex(digest), DIGEST);
    EXPECT_EQ(digest.bytes[0], 0xd4);
    EXPECT_EQ(digest.bytes[15], 0x7e);
    md5_from_hex("D41D8CD98F00B204E9800998ECF8427E", digest);
    EXPECT_EQ(md5_to_hex(digest), DIGEST);
    md5_from_hex(std::string(DIGEST) + "0123456789abcdef0123456789abcdef", digest);  // 64 digits: the first 16 bytes
    EXPECT_EQ(md5_to_hex(digest), DIGEST);
    md5_from_hex("", digest);
    EXPECT_EQ(md5_to_hex(digest), std::string(32, '0'));

    struct Case {
        std::string text;
        const char* message;
        const char* logged;
    };
    const Case cases[] = {
        {std::string(31, 'a'), "MD5 string size is not 32- 31 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n", ""},
        {std::string(33, 'a'), "MD5 string size is not 32- 33 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n", ""},
        {"d41d8cd98f00b204e9800998ecf8427g", "MD5 string contains non-hex symbol: g (103)\n", "67\n"},
        {"d41d8cd98f00b204e9800998ecf8427 ", "MD5 string contains non-hex symbol:   (32)\n", "20\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        md5_from_hex(DIGEST, digest);
        testing::internal::CaptureStderr();
        const error e = caught([&] { md5_from_hex(c.text, digest); });
        EXPECT_EQ(e.getText(), c.message);
        EXPECT_EQ(codes(e), std::make_tuple(3, 1, 1, 3));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.logged);
        EXPECT_EQ(md5_to_hex(digest), DIGEST);  // nothing half-written
    }
}

}  // namespace
