#include "tests/support/ResolverUniverse.h"

#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

#include <boost/filesystem.hpp>

#include "common/DependencyLogical.h"
#include "common/Repository.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

std::string cacheRecord(const UniversePackage& p)
{
    std::ostringstream out;
    out << "F:" << p.name << "_" << p.version << "_" << p.arch << ".deb\nN:" << p.name << "\nV:" << p.version
        << "\nA:" << p.arch << "\ns:" << p.size << "\n";
    for (const std::string& r : p.requires)
        out << "R:" << r << "\n";
    out << "P:" << p.name << " = " << p.version << "\n";
    for (const std::string& provide : p.provides)
        out << "P:" << provide << "\n";
    for (const std::string& c : p.conflicts)
        out << "C:" << c << "\n";
    for (const std::string& o : p.obsoletes)
        out << "O:" << o << "\n";
    out << "X:\n";
    return out.str();
}

void loadUniverse(Repository& repository, const std::vector<UniversePackage>& packages)
{
    // Consecutive packages of one type are read in one go.
    for (std::size_t i = 0; i < packages.size();) {
        std::string records;
        std::size_t j = i;
        for (; j < packages.size() && packages[j].type == packages[i].type; ++j)
            records += cacheRecord(packages[j]);
        FILE* in = fmemopen(const_cast<char*>(records.data()), records.size(), "r");
        if (!in)
            throw std::runtime_error("fmemopen failed");
        repository.addFromCache(in, packages[i].type, Repository::DUPS_APPEND, nullptr);
        fclose(in);
        i = j;
    }
}

namespace {

// Newer versions of installed names and obsoleters of installed names, after the universe's
// installed packages (its first `installed` entries).
void addRepairs(std::vector<UniversePackage>& universe, int installed, std::mt19937& random)
{
    const auto chance = [&random](int percent) { return static_cast<int>(random() % 100) < percent; };
    const auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int k = 0; k < installed; ++k) {
        const UniversePackage& sys = universe[k];
        if (chance(40)) {
            UniversePackage newer;
            newer.name = sys.name;
            newer.version = "2." + std::to_string(below(3));
            newer.provides = sys.provides;
            // The newer version needs the names of the old one's requirements, some in their
            // newer versions.
            for (const std::string& requirement : sys.requires) {
                const std::string name = requirement.substr(0, requirement.find(' '));
                newer.requires.push_back(chance(30) ? name + " >= 2.0" : name);
            }
            universe.push_back(newer);
        }
        if (chance(10)) {
            UniversePackage obsoleter;
            obsoleter.name = "obs" + std::to_string(k);
            obsoleter.version = "1.0";
            obsoleter.obsoletes.push_back(sys.name);
            if (chance(50))
                obsoleter.provides.push_back(sys.name + " = 3.0");
            universe.push_back(obsoleter);
        }
    }
}

}  // namespace

std::vector<UniversePackage> generateUniverse(unsigned seed, int available, int installed, bool repairs)
{
    std::mt19937 random(seed);
    const auto chance = [&random](int percent) { return static_cast<int>(random() % 100) < percent; };
    const auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const int virtuals = available / 6 + 1;

    std::vector<UniversePackage> universe;
    for (int i = 0; i < installed; ++i) {
        UniversePackage p;
        p.name = "sys" + std::to_string(i);
        p.version = "1." + std::to_string(below(5));
        p.type = 's';
        if (i > 0 && chance(50))
            p.requires.push_back("sys" + std::to_string(below(i)));
        if (chance(20))
            p.provides.push_back("virt" + std::to_string(below(virtuals)) + " = 1." + std::to_string(below(9)));
        if (repairs && i > 0 && chance(30)) {
            const UniversePackage& fixed = universe[below(i)];
            p.requires.push_back(fixed.name + " = " + fixed.version);
        }
        universe.push_back(p);
    }

    // Who provides each virtual name, so that no package requires what it provides itself.
    std::vector<std::set<int>> providers(virtuals);
    std::vector<std::vector<std::string>> provided(available);
    for (int v = 0; v < virtuals; ++v) {
        const int count = 1 + below(3);
        for (int k = 0; k < count; ++k) {
            const int owner = below(available);
            if (providers[v].insert(owner).second)
                provided[owner].push_back("virt" + std::to_string(v) + " = 1." + std::to_string(below(9)));
        }
    }
    const char types[] = {'u', 'u', 'u', 'u', 'u', 'u', 'b', 't'};
    for (int i = 0; i < available; ++i) {
        const int versions = chance(30) ? 2 : 1;
        const Package::type_t type = types[below(sizeof(types))];
        for (int v = 0; v < versions; ++v) {
            UniversePackage p;
            p.name = "pk" + std::to_string(i);
            p.version = std::to_string(v + 1) + "." + std::to_string(below(4));
            p.type = type;
            p.size = 1000 + below(100000);
            p.provides = provided[i];
            const int requirements = below(4);
            std::set<std::string> targets;
            for (int r = 0; r < requirements; ++r) {
                const int kind = below(10);
                std::string target;
                if (kind < 5) {
                    const int j = below(available);
                    if (j == i)
                        continue;
                    target = "pk" + std::to_string(j);
                    if (chance(25))
                        target += " >= " + std::to_string(1 + below(2)) + ".0";
                } else if (kind < 8) {
                    const int w = below(virtuals);
                    if (providers[w].count(i))
                        continue;
                    target = "virt" + std::to_string(w);
                } else if (installed > 0) {
                    target = "sys" + std::to_string(below(installed));
                }
                if (!target.empty() && targets.insert(target.substr(0, target.find(' '))).second)
                    p.requires.push_back(target);
            }
            if (chance(5)) {
                const int j = below(available);
                if (j != i)
                    p.conflicts.push_back("pk" + std::to_string(j) + (chance(50) ? "" : " < 2.0"));
            }
            if (repairs && installed > 0) {
                if (chance(15))
                    p.requires.push_back("sys" + std::to_string(below(installed)) + " >= 2.0");
                if (chance(5))
                    p.conflicts.push_back("sys" + std::to_string(below(installed)) + (chance(50) ? "" : " < 2.0"));
            }
            universe.push_back(p);
        }
    }
    if (repairs)
        addRepairs(universe, installed, random);
    return universe;
}

namespace {

// A named dependency in Debian syntax.
std::string debianRelation(const Dependency& dependency)
{
    const DependencyLogical* logical = dynamic_cast<const DependencyLogical*>(&dependency);
    if (!logical)
        throw std::runtime_error("only named dependencies have a Debian form");
    static const char* const operators[] = {"", "=", "<<", "<=", ">=", ">>"};
    std::string text = logical->getPooledName().c_str();
    if (logical->getVersion())
        text += std::string(" (") + operators[logical->getRelation()] + " " + logical->getVersion()->toString() + ")";
    return text;
}

// The field of the dependencies that `at` yields, the package's own name provide left out.
template <typename At>
void relationField(std::ostream& out, const char* field, const Package* p, At at)
{
    std::string joined;
    for (uint32_t i = 0; boost::shared_ptr<Dependency> dependency = at(p, i); ++i) {
        if (dependency->getName() == p->getName().c_str())
            continue;
        joined += (joined.empty() ? "" : ", ") + debianRelation(*dependency);
    }
    if (!joined.empty())
        out << field << ": " << joined << "\n";
}

std::string controlRecords(const cpkgs_t& packages, bool installed)
{
    std::ostringstream out;
    std::set<const Package*> written;
    for (const Package* p : packages) {
        if (p->getType() == 'd' || !written.insert(p).second)
            continue;
        out << "Package: " << p->getName() << "\n";
        if (installed)
            out << "Status: install ok installed\n";
        out << "Maintainer: Test <test@example.com>\nArchitecture: " << p->getArch()
            << "\nVersion: " << p->getVersion().toString() << "\n";
        relationField(out, "Depends", p, [](const Package* q, uint32_t i) { return q->getRequire(i); });
        relationField(out, "Provides", p, [](const Package* q, uint32_t i) { return q->getProvide(i); });
        relationField(out, "Conflicts", p, [](const Package* q, uint32_t i) { return q->getConflict(i); });
        if (!installed)
            out << "Filename: ./" << p->getFileName() << "\nSize: " << p->getSize() << "\n";
        out << "Description: test package\n\n";
    }
    return out.str();
}

}  // namespace

std::string dpkgStatus(const cpkgs_t& packages)
{
    return controlRecords(packages, true);
}

cpkgs_t leftByInstallation(const cpkgs_t& installed, const cpkgs_t& result)
{
    cpkgs_t left;
    for (const Package* s : installed) {
        bool gone = false;
        for (const Package* p : result) {
            if (p != s && p->getName() == s->getName() && p->getArch() == s->getArch())
                gone = true;
            for (uint32_t i = 0; boost::shared_ptr<Dependency> obsolete = p->getObsolete(i); ++i)
                gone = gone || s->satisfies(obsolete.get());
        }
        if (!gone)
            left.push_back(s);
    }
    left.insert(left.end(), result.begin(), result.end());
    return left;
}

std::string aptPackagesIndex(const cpkgs_t& packages)
{
    return controlRecords(packages, false);
}

std::vector<std::string> aptPrivateOptions(const std::string& dir)
{
    for (const char* sub : {"/lists/partial", "/cache/archives/partial", "/parts", "/preferences.d"})
        boost::filesystem::create_directories(dir + sub);
    for (const char* file : {"/sources.list", "/status"})
        if (!boost::filesystem::exists(dir + file))
            writeWholeFile(dir + file, "");
    return {"-o", "Dir::State::status=" + dir + "/status",
            "-o", "Dir::State::Lists=" + dir + "/lists",
            "-o", "Dir::Cache=" + dir + "/cache",
            "-o", "Dir::Etc::SourceList=" + dir + "/sources.list",
            "-o", "Dir::Etc::SourceParts=" + dir + "/parts",
            "-o", "Dir::Etc::PreferencesParts=" + dir + "/preferences.d",
            "-o", "Dir::State::extended_states=" + dir + "/extended_states",
            "-o", "Debug::NoLocking=1",
            "-o", "APT::Architecture=amd64"};
}

std::vector<AptVerdict> aptCheckAll(const std::vector<cpkgs_t>& sets)
{
    TempDir dir;
    std::string script;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const std::string state = dir / std::to_string(i);
        std::vector<std::string> words{"apt-get", "check", "-q"};
        const std::vector<std::string> options = aptPrivateOptions(state);
        words.insert(words.end(), options.begin(), options.end());
        writeWholeFile(state + "/status", dpkgStatus(sets[i]));
        script += "(" + shell_command(words) + " > " + shell_word(state + "/out") + " 2>&1; echo $? > " +
                  shell_word(state + "/exit") + ") &\n";
    }
    shellOutput(script + "wait");
    std::vector<AptVerdict> verdicts;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const std::string state = dir / std::to_string(i);
        verdicts.push_back(AptVerdict{std::stoi(readWholeFile(state + "/exit")), readWholeFile(state + "/out")});
    }
    return verdicts;
}
