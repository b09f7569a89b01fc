#include "common/Repository.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DependencyFile.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/PackagesProgress.h"
#include "common/Progress.h"
#include "common/Source.h"
#include "common/error.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/printed.h"

namespace {

// A source that feeds the repository cache records given as text, and records what is asked of it.
class TextSource : public Source {
public:
    explicit TextSource(Repository* repository, const std::string& records = "", bool downloadable = false)
        : Source(repository), records(records), downloadable(downloadable)
    {
    }

    void readSystemPackagesBrief() override
    {
        ++brief_reads;
        read(records);
    }
    void readPackagesFull() override
    {
        ++full_reads;
        read(full_records);
    }
    bool isDownloadable() const override { return downloadable; }
    void downloadPackage(Package* pkg) override { downloaded.push_back(pkg->getName().c_str()); }

    // Reads records into the repository as installed packages of this source.
    void read(const std::string& text, Repository::dups_mode_t mode = Repository::DUPS_APPEND)
    {
        readInstalledFromFile(fmemopen(const_cast<char*>(text.data()), text.size(), "r"), mode);
    }

    std::string records;
    std::string full_records;
    bool downloadable;
    int brief_reads = 0;
    int full_reads = 0;
    std::vector<std::string> downloaded;
};

// A cache record of an rpm package; `extra` holds the multi-tag lines.
std::string record(const std::string& name, const std::string& version, const std::string& arch = "x86_64",
                   const std::string& extra = "")
{
    return "N:" + name + "\nV:" + version + "\nA:" + arch + "\n" + extra + "X:\n";
}

Package* package(Repository& repository, const std::string& name, const std::string& version,
                 Package::type_t type = 's', const std::string& arch = "x86_64")
{
    Package* pkg = new Package(name, version);
    pkg->setType(type);
    pkg->setArch(arch);
    repository.addPackage(pkg, nullptr);
    return pkg;
}

std::vector<const Package*> names(const Repository::package_range_t& range)
{
    return std::vector<const Package*>(range.begin(), range.end());
}

template <typename Range>
std::vector<const Package*> targets(const Range& range)
{
    std::vector<const Package*> result;
    for (const auto& pair : range)
        result.push_back(pair.second);
    return result;
}

std::string dependencies(const Package* pkg)
{
    std::ostringstream out;
    for (uint32_t i = 0; boost::shared_ptr<Dependency> dep = pkg->getRequire(i); ++i)
        dep->print(out << "R:") << ";";
    for (uint32_t i = 0; boost::shared_ptr<Dependency> dep = pkg->getProvide(i); ++i)
        dep->print(out << "P:") << ";";
    return out.str();
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(RepositoryAddTest, SameObjectOnceOtherObjectsAlways)
{
    Repository repository;
    TextSource source(&repository);
    Package* first = new Package("foo", "1.0");
    EXPECT_TRUE(repository.addPackage(first, &source));
    EXPECT_EQ(first->getSource(), &source);
    EXPECT_FALSE(repository.addPackage(first, nullptr));
    EXPECT_EQ(first->getSource(), &source);
    Package* twin = new Package("foo", "1.0");
    EXPECT_TRUE(repository.addPackage(twin, nullptr));
    EXPECT_EQ(repository.getPackages(), (Repository::packages_t{first, twin}));
    EXPECT_EQ(names(repository.findByName("foo")), (std::vector<const Package*>{twin, first}));
}

// Reading "foo 1.0" (and a "bar" beside it) over a listed "foo 1.0" of the reading's source or of another one.
TEST(RepositoryAddFromCacheTest, DuplicateModes)
{
    struct Case {
        Repository::dups_mode_t mode;
        bool same_source;
        const char* arch;
        bool replaced;  // the listed package gave its place to the record's package
        size_t size;
    };
    const Case cases[] = {
        {Repository::DUPS_APPEND, true, "x86_64", false, 3},
        {Repository::DUPS_KEEP, true, "x86_64", false, 2},
        {Repository::DUPS_KEEP, false, "x86_64", false, 2},
        {Repository::DUPS_KEEP, true, "i686", false, 3},
        {Repository::DUPS_REPLACE_SAME_SOURCE, true, "x86_64", true, 2},
        {Repository::DUPS_REPLACE_SAME_SOURCE, false, "x86_64", false, 3},
        {Repository::DUPS_REPLACE, false, "x86_64", true, 2},
        {7, false, "x86_64", true, 2},
        {Repository::DUPS_REPLACE, false, "i686", false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " same source " << c.same_source << " " << c.arch);
        Repository repository;
        TextSource reader(&repository), other(&repository);
        TextSource& owner = c.same_source ? reader : other;
        owner.read(record("foo", "1.0", "x86_64", "P:brief\n"));
        Package* listed = repository.getPackages().at(0);

        reader.read(record("foo", "1.0", c.arch, "R:libz\nP:full\n") + record("bar", "2"), c.mode);
        const Repository::packages_t& list = repository.getPackages();
        ASSERT_EQ(list.size(), c.size);
        EXPECT_EQ(list.back()->getName(), PooledString("bar"));
        EXPECT_EQ(list[0] == listed, !c.replaced);
        if (c.replaced) {
            EXPECT_EQ(list[0]->getSource(), &reader);
            EXPECT_EQ(list[0]->getType(), 's');
            // The replaced object still serves its holders, with the record's lists.
            EXPECT_EQ(dependencies(listed), "R:libz;P:full;");
            EXPECT_EQ(dependencies(list[0]), "R:libz;P:full;");
        } else {
            EXPECT_EQ(dependencies(listed), "P:brief;");
        }
    }
}

TEST(RepositoryAddFromCacheTest, RecordsOfOneReadingNeverMatchEachOther)
{
    Repository repository;
    TextSource source(&repository);
    source.read(record("foo", "1.0") + record("foo", "1.0"), Repository::DUPS_KEEP);
    EXPECT_EQ(repository.getPackages().size(), 2u);
}

TEST(RepositoryAddFromCacheTest, SecondMatchOfOneReadingReplacesTheFirstReplacement)
{
    Repository repository;
    TextSource source(&repository);
    source.read(record("foo", "1.0"));
    Package* listed = repository.getPackages().at(0);
    source.read(record("foo", "1.0", "x86_64", "P:first\n") + record("foo", "1.0", "x86_64", "P:second\n"),
                Repository::DUPS_REPLACE);
    ASSERT_EQ(repository.getPackages().size(), 1u);
    EXPECT_NE(repository.getPackages()[0], listed);
    EXPECT_EQ(dependencies(repository.getPackages()[0]), "P:second;");
    EXPECT_EQ(dependencies(listed), "P:second;");
}

TEST(RepositoryAddFromCacheTest, PackagesBeforeABadRecordStayAndAreFound)
{
    Repository repository;
    TextSource source(&repository);
    source.read(record("foo", "1.0"));
    EXPECT_EQ(names(repository.findByName("bar")).size(), 0u);  // the name index is current now
    EXPECT_THROW(source.read(record("bar", "2") + "N:baz\nX:\n"), error);
    ASSERT_EQ(repository.getPackages().size(), 2u);
    EXPECT_EQ(names(repository.findByName("bar")).size(), 1u);
}

TEST(RepositoryAddFromCacheTest, WhiteSpaceBetweenRecordsAndAtTheEnd)
{
    Repository repository;
    TextSource source(&repository);
    source.read("\n  " + record("foo", "1.0") + "\n\t\n" + record("bar", "2") + "\n\n");
    ASSERT_EQ(repository.getPackages().size(), 2u);
    EXPECT_EQ(printed(repository.getPackages()[1]), "bar-2.x86_64");
}

TEST(RepositoryAddFromCacheTest, InterruptedBetweenRecords)
{
    const ChildResult result = runInChild(
        [] {
            Repository repository;
            TextSource source(&repository);
            Progress().signalReceived(SIGTERM);
            try {
                source.read(record("foo", "1.0"));
            } catch (const Progress::Interrupted& e) {
                std::cout << "interrupted " << e.signal << " " << repository.getPackages().size();
            }
            return 0;
        },
        privateProgressOptions());
    EXPECT_EQ(result.out, "interrupted 15 0") << result.err;
}

TEST(RepositoryLookupTest, IndexOrderAndTieBreaks)
{
    Repository repository;
    Package* old = package(repository, "foo", "1.0");
    Package* high_first = package(repository, "foo", "2.0");
    Package* high_later = package(repository, "foo", "2.0");
    Package* mid = package(repository, "foo", "1.5", 'b');
    package(repository, "other", "9.0");

    EXPECT_EQ(names(repository.findByName("foo")), (std::vector<const Package*>{mid, high_later, high_first, old}));
    EXPECT_EQ(repository.findNewest("foo"), high_later);
    EXPECT_EQ(repository.getInstalledPackage("foo"), high_first);
    EXPECT_EQ(repository.findNewer(old), high_later);
    EXPECT_EQ(repository.findNewer(high_first), nullptr);
    EXPECT_EQ(repository.findNewer(high_later), nullptr);
    EXPECT_EQ(repository.findNewest("missing"), nullptr);
    EXPECT_EQ(repository.getInstalledPackage("missing"), nullptr);

    struct NotInstalled : Package::Predicate {
        bool operator()(const Package* pkg) const override { return pkg->getType() != 's'; }
    };
    EXPECT_EQ(repository.findNewestMatching("foo", NotInstalled()), mid);

    const Version two("2.0"), two_epoch("0:2.0");
    EXPECT_EQ(repository.findPackage("foo", &two, "x86_64"), high_later);
    EXPECT_EQ(repository.findPackage("foo", &two, "i686"), nullptr);
    EXPECT_EQ(repository.findPackage("foo", &two_epoch, "x86_64"), nullptr);
}

TEST(RepositoryLookupTest, InstalledPackageAmongOthers)
{
    Repository repository;
    package(repository, "foo", "3.0", 'b');
    EXPECT_EQ(repository.getInstalledPackage("foo"), nullptr);
    Package* installed = package(repository, "foo", "1.0");
    package(repository, "foo", "4.0", 'u');
    EXPECT_EQ(repository.getInstalledPackage("foo"), installed);
}

TEST(RepositoryLookupTest, ProvidersAndTheNewestProvider)
{
    Repository repository;
    TextSource source(&repository);
    source.read(record("mta-a", "1.0", "x86_64", "P:mail-transport-agent\n") +
                record("mta-b", "3.0", "x86_64", "P:mail-transport-agent\n") +
                record("mta-c", "3.0", "x86_64", "P:mail-transport-agent\nP:/usr/sbin/sendmail\nm:33261\n") +
                record("other", "5.0", "x86_64", "P:mail-transport-agent-light\n"));
    const Repository::packages_t& list = repository.getPackages();
    EXPECT_EQ(repository.findNewestProvider("mail-transport-agent"), list[1]);
    EXPECT_EQ(repository.findNewestProvider("nothing"), nullptr);
    EXPECT_EQ(repository.findNewestProvider("/usr/sbin/sendmail"), nullptr);  // a file, not a name

    boost::shared_ptr<Dependency> file = list[0]->createDependency("/usr/sbin/sendmail");
    Repository::provides_range_t providers = repository.findProviders(file);
    ASSERT_EQ(providers.size(), 1u);
    EXPECT_EQ(providers.front()->getOwner(), list[2]);

    boost::shared_ptr<Dependency> wanted = list[0]->createDependency("mail-transport-agent >= 2");
    providers = repository.findProviders(wanted);
    ASSERT_EQ(providers.size(), 3u);  // candidates, satisfying or not, in list order
    EXPECT_EQ(providers[0]->getOwner(), list[0]);
    EXPECT_EQ(providers[2]->getOwner(), list[2]);
}

TEST(RepositoryListTest, RemoveNonSystemPackagesKeepsOrder)
{
    Repository repository;
    Package* a = package(repository, "a", "1");
    package(repository, "b", "1", 'b');
    Package* c = package(repository, "c", "1");
    package(repository, "d", "1", 'd');
    EXPECT_EQ(names(repository.findByName("b")).size(), 1u);
    repository.removeNonSystemPackages();
    EXPECT_EQ(repository.getPackages(), (Repository::packages_t{a, c}));
    EXPECT_EQ(names(repository.findByName("b")).size(), 0u);
}

TEST(RepositoryListTest, PurgeLeavesCurrentIndexesAsTheyWere)
{
    Repository repository;
    TextSource source(&repository);
    Package* a = package(repository, "a", "1");
    Package* b = package(repository, "b", "1");
    EXPECT_EQ(names(repository.findByName("b")).size(), 1u);
    b->setType('z');
    repository.purgeDroppedPackages();
    EXPECT_EQ(repository.getPackages(), (Repository::packages_t{a}));
    // Only the next change of the list makes the index forget it.
    EXPECT_EQ(names(repository.findByName("b")), (std::vector<const Package*>{b}));
    package(repository, "c", "1");
    EXPECT_EQ(names(repository.findByName("b")).size(), 0u);
}

TEST(RepositoryRemoverTest, OncePerNameAndArchitecture)
{
    const ChildResult result = runInChild([] {
        Log::consoleLevel = 3;
        Repository repository;
        TextSource source(&repository, record("foo", "1.0", "x86_64", "P:foo = 1.0\n"));
        source.loadBrief();
        Package* installed = repository.getPackages().at(0);
        Package* remover = repository.addRemoverFor("foo", "");
        Package* again = repository.addRemoverFor("foo", "");
        Package* i686 = repository.addRemoverFor("foo", "i686");
        std::cout << (remover == again) << (remover != i686) << "|" << printed(remover) << "|" << printed(i686) << "|"
                  << remover->getType() << remover->getFileName() << "|" << i686->getFileName() << "|"
                  << (targets(repository.getObsoletedBy(remover)) == std::vector<const Package*>{installed})
                  << (targets(repository.getObsoleters(installed)).size()) << "|" << repository.getPackages().size();
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "11|dummy_obsoleter_foo-0.0|dummy_obsoleter_foo_i686-0.0.i686|ddummy_remover_for_foo|"
              "dummy_remover_for_foo_i686|12|3");
    EXPECT_EQ(count(result.err, "addRemoverFor: add package for obsolete foo\n"), 1u);
    EXPECT_EQ(count(result.err, "addRemoverFor: add package for obsolete foo:i686\n"), 1u);
}

TEST(RepositoryRemoverTest, RemoversOutsideTheListAreMadeAfresh)
{
    Repository repository;
    TextSource source(&repository, record("foo", "1.0", "x86_64", "P:foo = 1.0\n"));
    source.loadBrief();
    Package* installed = repository.getPackages().at(0);
    Package* remover = repository.addRemoverFor("foo", "");
    EXPECT_EQ(targets(repository.getObsoletedBy(remover)), (std::vector<const Package*>{installed}));
    repository.removeNonSystemPackages();
    Package* fresh = repository.addRemoverFor("foo", "");
    EXPECT_NE(fresh, remover);
    package(repository, "bar", "1.0", 'b');  // any change makes the next query rebuild the links
    EXPECT_EQ(targets(repository.getObsoletedBy(fresh)), (std::vector<const Package*>{installed}));
}

TEST(RepositoryRemoverTest, RequirerForTheNewestVersion)
{
    Repository repository;
    package(repository, "foo", "1.0");
    package(repository, "foo", "2:1.5-3");
    Package* versioned = repository.addRequirerFor("comp", "foo", true);
    Package* plain = repository.addRequirerFor("comp", "foo", false);
    Package* unknown = repository.addRequirerFor("comp", "bar", true);
    EXPECT_NE(repository.addRequirerFor("comp", "foo", false), plain);
    EXPECT_EQ(printed(versioned), "dummy_requirer_foo-1.2.3");
    EXPECT_EQ(versioned->getType(), 'd');
    EXPECT_EQ(versioned->getFileName(), "dummy_package_of_comp_comp_for_require_foo");
    EXPECT_EQ(dependencies(versioned), "R:foo = 2:1.5-3;");
    EXPECT_EQ(dependencies(plain), "R:foo;");
    EXPECT_EQ(dependencies(unknown), "R:bar;");
    EXPECT_EQ(repository.getPackages().size(), 6u);
}

TEST(RepositoryRelationTest, ObsoletesAndConflicts)
{
    Repository repository;
    TextSource source(&repository);
    source.read(record("foo", "2.0", "x86_64", "P:foo = 2.0\nO:foo < 2.0\nO:oldfoo\n") +
                record("foo", "1.0", "x86_64", "P:foo = 1.0\n") + record("oldfoo", "0.9", "x86_64", "P:oldfoo\n") +
                record("selfish", "1", "x86_64", "P:feature\nC:feature\nC:foo > 1.5\n"));
    const Repository::packages_t& list = repository.getPackages();
    const Package* foo2 = list[0];
    const Package* foo1 = list[1];
    const Package* oldfoo = list[2];
    const Package* selfish = list[3];

    // A package never obsoletes one of its own name.
    EXPECT_EQ(targets(repository.getObsoletedBy(foo2)), (std::vector<const Package*>{oldfoo}));
    EXPECT_EQ(targets(repository.getObsoleters(oldfoo)), (std::vector<const Package*>{foo2}));
    EXPECT_EQ(repository.findObsoleter(oldfoo), foo2);
    EXPECT_EQ(repository.findObsoleter(foo1), nullptr);

    // Declared conflicts know no such exception.
    EXPECT_EQ(targets(repository.getConflicts(selfish)), (std::vector<const Package*>{selfish, foo2}));
    EXPECT_TRUE(repository.conflicts(selfish, selfish));
    EXPECT_TRUE(repository.conflicts(selfish, foo2));
    EXPECT_FALSE(repository.conflicts(foo2, selfish));
    EXPECT_FALSE(repository.conflicts(selfish, foo1));
    EXPECT_EQ(targets(repository.getBackConflicts(foo2)), (std::vector<const Package*>{selfish}));
}

TEST(RepositoryRelationTest, FileConflicts)
{
    const std::string md5a = "0123456789abcdef0123456789abcdef";
    const std::string md5b = "fedcba9876543210fedcba9876543210";
    auto file = [](const std::string& path, int mode, const std::string& digest) {
        return "P:" + path + "\nm:" + std::to_string(mode) + "\n5:" + digest + "\n";
    };
    const ChildResult result = runInChild([&] {
        Log::consoleLevel = 3;
        Repository repository;
        TextSource source(&repository);
        source.read(
            record("lib", "1.0", "x86_64", file("/usr/lib/a.so", 0100644, md5a)) +
            record("lib", "2.0", "x86_64", file("/usr/lib/a.so", 0100644, md5b)) +
            record("lib", "2.0", "i686", file("/usr/lib/a.so", 0100644, md5b)) +
            record("fork", "1.0", "x86_64", file("/usr/lib/a.so", 0100644, md5b) + file("/usr/lib", 040755, "")) +
            record("same", "1.0", "x86_64", file("/usr/lib/a.so", 0100644, md5a) + file("/usr/lib", 040755, "")));
        const Repository::packages_t& list = repository.getPackages();
        for (const Package* pkg : list) {
            std::cout << printed(pkg) << ":";
            for (const Package* other : targets(repository.getConflicts(pkg)))
                std::cout << " " << printed(other);
            std::cout << "\n";
        }
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    // Two versions of one name and architecture are an upgrade, not a conflict; equal digests agree.
    EXPECT_EQ(result.out,
              "lib-1.0.x86_64: lib-2.0.i686 fork-1.0.x86_64\n"
              "lib-2.0.x86_64: same-1.0.x86_64\n"
              "lib-2.0.i686: lib-1.0.x86_64 same-1.0.x86_64\n"
              "fork-1.0.x86_64: lib-1.0.x86_64 same-1.0.x86_64\n"
              "same-1.0.x86_64: lib-2.0.x86_64 lib-2.0.i686 fork-1.0.x86_64\n");
    EXPECT_EQ(count(result.err,
                    "Warning: packages conflict by files detected: package fork-1.0.x86_64\n"
                    "  conflict with package lib-1.0.x86_64\n"
                    "  both have file /usr/lib/a.so with different md5 sum.\n"),
              1u);
    EXPECT_EQ(count(result.err,
                    "Warning: packages conflict by files detected: package lib-1.0.x86_64\n"
                    "  conflict with package fork-1.0.x86_64\n"),
              1u);
    EXPECT_EQ(count(result.err, "Warning: packages conflict by files detected"), 10u);
}

TEST(RepositoryRelationTest, ResolveRequires)
{
    const ChildResult result = runInChild([] {
        Log::consoleLevel = 1;
        Repository repository;
        TextSource source(&repository);
        source.read(record("app", "1.0", "x86_64", "R:libx >= 2\nR:app-data\nR:libx\nR:ghost\nP:app-data\n"));
        source.read(record("libx", "2.5", "x86_64", "P:libx = 2.5\n") +
                    record("libx-old", "1", "x86_64", "P:libx = 1\n") + record("app", "0.9", "x86_64", "P:ghost\n") +
                    record("sysghost", "1", "x86_64", "R:ghost2\n"));
        Package* build = new Package("fromcatalog", "1.0");
        build->setType('b');
        build->addRequire("missing");
        repository.addPackage(build, nullptr);
        const Repository::packages_t& list = repository.getPackages();
        const Package* app = list[0];
        for (const Package* pkg : targets(repository.getRequired(app)))
            std::cout << printed(pkg) << " ";
        std::cout << "|" << dependencies(app) << "|";
        for (const Package* pkg : targets(repository.getRequirers(list[1])))
            std::cout << printed(pkg) << " ";
        std::cout << "|" << targets(repository.getRequirers(list[2])).size() << "|";
        boost::shared_ptr<Dependency> versioned = app->getRequire(0);
        std::cout << printed(versioned->getResolver(0)->getOwner()) << " " << !versioned->getResolver(1) << "|";
        for (const auto& entry : repository.unresolved) {
            std::cout << printed(entry.first) << " ";
            entry.second->print(std::cout) << ";";
        }
        // Resolving again starts each requirement's resolvers afresh.
        repository.resolveRequires();
        std::cout << "|" << !versioned->getResolver(1);
        return 0;
    });
    ASSERT_EQ(result.exit_code, 0) << result.err;
    // app-data is app's own: the requirement goes. A provide of another "app" does not count.
    EXPECT_EQ(result.out,
              "libx-2.5.x86_64 libx-2.5.x86_64 libx-old-1.x86_64 |R:libx >= 2;R:libx;R:ghost;P:app-data;|"
              "app-1.0.x86_64 |1|libx-2.5.x86_64 1|fromcatalog-1.0 missing;|1");
    EXPECT_NE(result.err.find("Warning: unresolved requires 'ghost' from app-1.0.x86_64\n"), std::string::npos);
    EXPECT_NE(result.err.find("Warning: unresolved requires 'ghost2' from sysghost-1.x86_64\n"), std::string::npos);
}

// Each target lists its requirers once, in list order, however often and in whatever order their
// requirements name it; a target that left the list after the provides index was built keeps its
// requirers too.
TEST(RepositoryRelationTest, RequirersInListOrderOnceEach)
{
    Repository repository;
    TextSource source(&repository);
    source.read(record("liba", "1", "x86_64", "P:a\nP:shared\n") + record("libb", "1", "x86_64", "P:b\nP:shared\n") +
                record("gone", "1", "x86_64", "P:g\n") +
                record("first", "1", "x86_64", "R:b\nR:a\nR:shared\nR:b\nR:g\n") +
                record("second", "1", "x86_64", "R:shared\n") + record("third", "1", "x86_64", "R:a\nR:g\n"));
    const Repository::packages_t list = repository.getPackages();
    repository.findNewestProvider("g");  // the provides index, built while "gone" is listed
    list[2]->setType(Package::TYPE_DROPPED);
    repository.purgeDroppedPackages();

    const std::vector<std::pair<const Package*, std::vector<const Package*>>> expected = {
        {list[0], {list[3], list[4], list[5]}},
        {list[1], {list[3], list[4]}},
        {list[2], {list[3], list[5]}},
        {list[3], {}},
    };
    for (const auto& entry : expected)
        EXPECT_EQ(targets(repository.getRequirers(entry.first)), entry.second) << printed(entry.first);
    EXPECT_EQ(targets(repository.getRequired(list[3])),
              (std::vector<const Package*>{list[1], list[0], list[0], list[1], list[1], list[2]}));
    EXPECT_TRUE(targets(repository.getRequired(list[2])).empty());
}

TEST(RepositoryRelationTest, SatisfyingProvidesFilters)
{
    Repository repository;
    TextSource source(&repository);
    source.read(record("libfoo", "1.0", "x86_64", "P:foo = 1.0\n") +
                record("libfoo2", "2.0", "x86_64", "P:foo = 2.0\n"));
    Package* catalog = new Package("vendor/libfoo2", "2.0");
    catalog->addProvide("foo = 2.0");
    catalog->addProvide("foo = 0.5");
    repository.addPackage(catalog, nullptr);
    const Repository::packages_t& list = repository.getPackages();
    boost::shared_ptr<Dependency> wanted = list[0]->createDependency("foo >= 1.5");

    // Every provide of a package that satisfies the requirement with any of its provides.
    const Repository::dependencies_t satisfying = repository.findSatisfyingProviders(wanted);
    ASSERT_EQ(satisfying.size(), 3u);
    EXPECT_EQ(satisfying[0]->getOwner(), list[1]);
    EXPECT_EQ(satisfying[2]->getOwner(), catalog);

    // Owners by base name: "vendor/libfoo2" stands for the installed libfoo2.
    const Repository::dependencies_t all(repository.findProviders(wanted).begin(),
                                         repository.findProviders(wanted).end());
    const Repository::dependencies_t installed = repository.filterInstalledSatisfied(all, wanted);
    ASSERT_EQ(installed.size(), 3u);
    EXPECT_EQ(installed[0]->getOwner(), list[1]);
    EXPECT_EQ(installed[1]->getOwner(), catalog);
    EXPECT_EQ(repository.filterInstalledSatisfied(all, list[0]->createDependency("foo > 2.0")).size(), 0u);
}

TEST(RepositoryCopyTest, SharesPackagesAndSources)
{
    Repository repository;
    TextSource source(&repository, record("foo", "1.0"));
    repository.getBriefPackagesInfo();
    Repository copy(repository);
    EXPECT_EQ(copy.getPackages(), repository.getPackages());
    EXPECT_EQ(copy.getSources(), repository.getSources());
    EXPECT_EQ(names(copy.findByName("foo")), names(repository.findByName("foo")));
    package(copy, "bar", "1.0");
    EXPECT_EQ(repository.getPackages().size(), 1u);
}

TEST(SourceTest, LoadsOnceAndRetriesAFailedLoad)
{
    Repository repository;
    TextSource source(&repository, "N:broken\nX:\n");
    EXPECT_EQ(repository.getSources(), (std::set<Source*>{&source}));
    EXPECT_THROW(repository.getBriefPackagesInfo(), error);
    source.records = record("foo", "1.0");
    repository.getBriefPackagesInfo();
    repository.getBriefPackagesInfo();
    EXPECT_EQ(source.brief_reads, 2);
    EXPECT_EQ(repository.getPackages().size(), 1u);

    source.full_records = record("foo", "1.0", "x86_64", "R:bar\n");
    repository.getFullPackagesInfo();
    source.loadFull();
    EXPECT_EQ(source.brief_reads, 2);
    EXPECT_EQ(source.full_reads, 1);

    // A reload reads the brief list again in place of the source's packages.
    source.records = record("new", "1.0");
    source.reloadBrief();
    ASSERT_EQ(repository.getPackages().size(), 1u);
    EXPECT_EQ(printed(repository.getPackages()[0]), "new-1.0.x86_64");
    source.loadFull();
    EXPECT_EQ(source.full_reads, 2);
}

TEST(SourceTest, FullLoadReadsTheBriefListFirst)
{
    Repository repository;
    TextSource source(&repository, record("foo", "1.0"));
    source.loadFull();
    EXPECT_EQ(source.brief_reads, 1);
    EXPECT_EQ(source.full_reads, 1);
}

TEST(SourceTest, DestroyedSourceTakesItsPackages)
{
    Repository repository;
    TextSource keeper(&repository, record("kept", "1"));
    Package* other = package(repository, "other", "1", 'b');
    {
        TextSource leaver(&repository, record("gone", "1") + record("gone2", "1"));
        repository.getBriefPackagesInfo();
        EXPECT_EQ(repository.getPackages().size(), 4u);
        const Package* gone = repository.findNewest("gone");
        leaver.dropPackages();
        EXPECT_EQ(gone->getType(), 'z');
        leaver.loadBrief();  // still loaded: nothing comes back
    }
    ASSERT_EQ(repository.getPackages().size(), 2u);
    EXPECT_EQ(repository.getPackages()[0], other);
    EXPECT_EQ(printed(repository.getPackages()[1]), "kept-1.x86_64");
    EXPECT_EQ(repository.getSources(), (std::set<Source*>{&keeper}));
}

TEST(SourceTest, BaseBehaviour)
{
    Repository repository;
    TextSource source(&repository);
    struct Plain : Source {
        using Source::Source;
        void readSystemPackagesBrief() override {}
        void readPackagesFull() override {}
    } plain(&repository);
    std::ostringstream expected, out;
    expected << "Package_source_" << static_cast<const void*>(&plain);
    plain.print(out);
    EXPECT_EQ(out.str(), expected.str());
    EXPECT_FALSE(plain.isDownloadable());
    EXPECT_EQ(repository.getPkgVersionFromSystemDirectly("dpkg"), "");
}

class ProgressRecorder : public PackagesProgress {
public:
    void start() override { log += "start;"; }
    void set_progress(int stage, const std::string& package) override
    {
        log += std::to_string(stage) + ":" + package + ";";
    }
    std::string log;
};

TEST(RepositoryDownloadTest, OnlyDownloadablePackages)
{
    const ChildResult result = runInChild(
        [] {
            Repository repository;
            TextSource local(&repository, record("here", "1"));
            TextSource remote(&repository, record("a", "1") + record("b", "1"), true);
            repository.getBriefPackagesInfo();
            cpkgs_t list;
            for (const char* name : {"b", "here", "a"})
                list.push_back(repository.findNewest(name));
            ProgressRecorder progress;
            repository.download(list, &progress);
            std::cout << progress.log << "|" << remote.downloaded.size() << remote.downloaded.at(0)
                      << remote.downloaded.at(1) << local.downloaded.size() << "|";
            {
                ProgressStatusGuard guard;
                const ProgressStatus& status = guard.data();
                std::cout << status.stage << " " << status.step << "/" << status.step_n << " " << status.step_id << " "
                          << status.step_title;
            }
            repository.download(cpkgs_t{list[1]});
            ProgressStatusGuard guard;
            std::cout << "|" << guard.data().step << "/" << guard.data().step_n;
            return 0;
        },
        privateProgressOptions());
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "1:b;1:a;|2ba0|3 2/2 download " + Messages().get("download_file") + "a|0/0");
}

TEST(RepositoryDumpTest, ListsPackagesWithoutFollowingLinks)
{
    const ChildResult result = runInChild(
        [] {
            Repository repository;
            Package* pkg = package(repository, "foo", "1.0");
            std::ofstream("/tmp/victim") << "precious";
            if (symlink("/tmp/victim", "/tmp/libkw3_package_names_t.txt") != 0)
                return 2;
            repository.dumpStat("t");
            struct stat st;
            lstat("/tmp/libkw3_package_names_t.txt", &st);
            std::ifstream victim("/tmp/victim"), dump("/tmp/libkw3_package_names_t.txt");
            std::stringstream text;
            text << victim.rdbuf() << "|" << dump.rdbuf() << "|" << (S_ISREG(st.st_mode) ? "file " : "other ")
                 << std::oct << (st.st_mode & 0777);
            std::ostringstream expected;
            expected << "precious|" << static_cast<const void*>(pkg) << " foo-1.0.x86_64 ~s\n|file 600";
            std::cout << (text.str() == expected.str() ? "ok" : text.str());
            return 0;
        },
        privateProgressOptions());
    EXPECT_EQ(result.out, "ok") << result.err;
}

}  // namespace
