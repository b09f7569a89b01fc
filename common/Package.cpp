#include "common/Package.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <sstream>

#include <boost/algorithm/string/join.hpp>

#include "common/DebPackage.h"
#include "common/DependencyFile.h"
#include "common/DependencyLogical.h"
#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/RPMPackage.h"
#include "common/error.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "common/tinybind.h"

namespace {

const Messages messages;

boost::shared_ptr<Dependency> dependencyAt(const std::vector<boost::shared_ptr<Dependency>>& list, uint32_t index)
{
    return index < list.size() ? list[index] : boost::shared_ptr<Dependency>();
}

// ---- XML records ----

std::string requiredAttribute(const tinybind::element& element, const char* name)
{
    try {
        return tinybind::get_attribute(element, name);
    } catch (const tinybind::err& e) {
        if (e.code != 1)
            throw;
        Log::stream(Log::LEVEL_INFO, true) << "No '" << name << "' attribute for tag 'package'";
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_bad_pkgtag");
    }
}

// ---- Cache records ----

// A line is read in chunks of at most 1,022 characters.
const int CACHE_LINE_SIZE = 1023;

// The single tags in the order of their characters (upper case before lower case).
const char SINGLE_TAGS[] = "ABEFLMNSVfs";
const int SINGLE_TAG_COUNT = sizeof(SINGLE_TAGS) - 1;

error cacheError(const char* key)
{
    return error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get(key);
}

void deleteNone(char* line)
{
    static const char none[] = "(none)";
    const size_t length = sizeof(none) - 1;
    char* found = line;
    while ((found = strstr(found, none)) != nullptr)
        memmove(found, found + length, strlen(found + length) + 1);
}

// Checks a trimmed, cleaned line "T:value" and returns its value with leading white space skipped.
const char* cacheValue(const char* line)
{
    if (strlen(line) < 2)
        throw cacheError("err_cache_shortline");
    if (line[1] != ':')
        throw cacheError("err_cache_semicolon");
    const char* value = line + 2;
    while (isspace(static_cast<unsigned char>(*value)))
        ++value;
    return value;
}

// Reads the next chunk of a line into buffer, counted and trimmed; false at the end of the file.
bool readCacheLine(FILE* in, char* buffer, int* lineCounter)
{
    if (!fgets(buffer, CACHE_LINE_SIZE, in))
        return false;
    ++*lineCounter;
    trim_in_place(buffer);
    return true;
}

// The single values of one record until its package is built.
struct CacheSingles {
    std::string values[SINGLE_TAG_COUNT];
    bool given[SINGLE_TAG_COUNT] = {};

    const std::string& get(char tag) const { return values[strchr(SINGLE_TAGS, tag) - SINGLE_TAGS]; }

    Package* build() const
    {
        const std::string name = get('N').empty() ? std::string("nameless") : get('N');
        if (get('V').empty()) {
            std::string stored;
            for (int i = 0; i < SINGLE_TAG_COUNT; ++i)
                if (given[i])
                    stored += std::string(" '") + SINGLE_TAGS[i] + "=" + values[i] + "'";
            Log::stream(Log::LEVEL_INFO, true) << stored;
            throw cacheError("err_cache_pkgvers");
        }
        std::string version = get('V');
        if (!get('E').empty())
            version = get('E') + ":" + version;
        if (!get('L').empty())
            version += "-" + get('L');
        std::string file = get('F');
        if (file.empty())
            file = "dummy_filename_" + name + "-" + version + ".rpm";

        std::unique_ptr<Package> package(Package::createByFileName(name, version, file));
        package->setArch(get('A').empty() ? std::string("all") : get('A'));
        if (!get('f').empty())
            package->setInstallTime(string_to_long(get('f')));
        if (!get('B').empty())
            package->setBuildTime(get('B'));
        if (!get('s').empty())
            package->setSize(get('s'));
        if (!get('M').empty())
            package->setMd5(get('M'));
        return package.release();
    }
};

}  // namespace

Package::Predicate::~Predicate() = default;

Package::Package(const std::string& name_, Version* version_)
    : name(name_), version(version_), type(TYPE_NONE), arch(""), buildTime(0), md5(), installTime(0), size(0),
      element(nullptr), source(nullptr)
{
}

Package::Package(const std::string& name_, const std::string& version_) : Package(name_, new Version(version_)) {}

Package::~Package() = default;

Package* Package::createByFileName(const std::string& name, const std::string& version, const std::string& fileName)
{
    Package* package;
    if (ends_with(fileName, ".rpm")) {
        package = new RPMPackage(name, version);
    } else if (ends_with(fileName, ".deb")) {
        package = new DebPackage(name, version);
    } else {
        throw error() << "Unable to create package object from file " << fileName;
    }
    package->setFileName(fileName);
    return package;
}

Package* Package::createFromXml(const tinybind::element& element, type_t type)
{
    const std::string name = requiredAttribute(element, "name");
    const std::string file = requiredAttribute(element, "file");
    std::unique_ptr<Package> package;
    if (type == TYPE_EXTENSION) {
        package.reset(new ExtCatalogPackage(name));
        package->setFileName(file);
        package->element = element.node;
        package->parseRequires();
    } else {
        std::string version = requiredAttribute(element, "version");
        const std::string release = requiredAttribute(element, "release");
        if (!release.empty())
            version += "-" + release;
        package.reset(createByFileName(name, version, file));
    }
    package->setArch(requiredAttribute(element, "arch"));
    if (!file.empty()) {
        package->setMd5(requiredAttribute(element, "md5"));
        package->setBuildTime(requiredAttribute(element, "buildtime"));
        package->setSize(requiredAttribute(element, "size"));
    }
    package->setType(type);
    if (element.node && element.node->Attribute("classes")) {
        std::string classes = element.node->Attribute("classes");
        for (std::string::size_type start = 0;;) {
            std::string::size_type comma = classes.find(',', start);
            package->classes.insert(classes.substr(start, comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    return package.release();
}

Package* Package::createFromCache(FILE* in, int* lineCounter)
{
    CacheSingles singles;
    std::unique_ptr<Package> package;  // built at the first multi tag
    char line[CACHE_LINE_SIZE];
    for (;;) {
        if (!readCacheLine(in, line, lineCounter)) {
            Log::stream(Log::LEVEL_INFO, true) << "createFromCache(): package must terminated with 'X'";
            throw cacheError("err_cache_unexpend");
        }
        if (line[0] == '#')
            continue;
        deleteNone(line);
        const char* value = cacheValue(line);
        const char tag = line[0];

        if (const char* single = strchr(SINGLE_TAGS, tag)) {
            if (package) {
                Log::stream(Log::LEVEL_INFO, true)
                    << "Invalid cache format: multi-occured fields mixed with single-occured fields";
                Log::stream(Log::LEVEL_VERBOSE, true)
                    << "Error in Package::createFromCache: input line  " << *lineCounter << ":" << line;
                throw cacheError("err_cache_descend");
            }
            const int index = single - SINGLE_TAGS;
            if (!singles.values[index].empty()) {
                Log::stream(Log::LEVEL_INFO, true)
                    << "Invalid cache format: tag '" << tag << "' occured twice, second in '" << line << "'";
                throw cacheError("err_cache_multitag");
            }
            singles.values[index] = value;
            singles.given[index] = true;
            continue;
        }

        switch (tag) {
        case 'R':
        case 'C':
        case 'O':
            if (!package)
                package.reset(singles.build());
            if (tag == 'R')
                package->addRequire(value);
            else if (tag == 'C')
                package->addConflict(value);
            else
                package->addObsolete(value);
            break;
        case 'P': {
            if (!package)
                package.reset(singles.build());
            const std::string provide = value;
            std::string mode;
            std::string digest;
            // The m and 5 lines that directly follow belong to this provide.
            for (;;) {
                const int next = getc(in);
                if (next == EOF)
                    throw cacheError("err_cache_descend");
                ungetc(next, in);
                if (next != 'm' && next != '5')
                    break;
                readCacheLine(in, line, lineCounter);
                deleteNone(line);
                (next == 'm' ? mode : digest) = cacheValue(line);
            }
            if (!mode.empty() || !digest.empty())
                package->provideList.push_back(boost::shared_ptr<Dependency>(
                    new DependencyFile(provide, string_to_long(mode), digest, package.get())));
            else
                package->provideList.push_back(
                    boost::shared_ptr<Dependency>(new DependencyLogical(provide, package.get())));
            break;
        }
        case 'X':
            if (!package)
                package.reset(singles.build());
            return package.release();
        default:
            Log::stream(Log::LEVEL_ERROR, true) << "Warning: unknow tag in cache, whole line is: " << line << "'";
            break;
        }
    }
}

void Package::writeToCache(FILE* out, const char* fileName_) const
{
    if (fileName.empty() || name.empty()) {
        Log::stream(Log::LEVEL_ERROR, true)
            << "Cant dump package if name or filename is empty(name=" + std::string(name.c_str()) +
                   " filename=" + fileName;
        return;
    }
    if (type == TYPE_NONE) {
        Log::stream(Log::LEVEL_ERROR, true) << "skip dump package of no type";
        return;
    }
    const Version& v = getVersion();
    fprintf(out, "F:%s\n", fileName_ ? fileName_ : fileName.c_str());
    fprintf(out, "N:%s\n", name.c_str());
    if (v.hasEpoch())
        fprintf(out, "E:%ld\n", static_cast<long>(v.getEpoch()));
    fprintf(out, "V:%s\n", v.getVersion().c_str());
    fprintf(out, "L:%s\n", v.getRelease().c_str());
    fprintf(out, "A:%s\n", arch.c_str());
    fprintf(out, "f:%ld\n", static_cast<long>(installTime));
    fprintf(out, "s:%ld\n", static_cast<long>(size));
    fprintf(out, "B:%lu\n", static_cast<unsigned long>(buildTime));
    fprintf(out, "M:%s\n", md5_to_hex(md5).c_str());

    auto printed = [](const boost::shared_ptr<Dependency>& dependency) {
        std::ostringstream text;
        text << *dependency;
        return text.str();
    };
    for (const auto& dependency : requireList)
        fprintf(out, "R:%s\n", printed(dependency).c_str());
    for (const auto& dependency : provideList) {
        fprintf(out, "P:%s\n", printed(dependency).c_str());
        if (const DependencyFile* path = dynamic_cast<const DependencyFile*>(dependency.get())) {
            fprintf(out, "m:%d\n", path->getMode());
            std::string digest = path->getMd5String();
            fprintf(out, "5:%s\n", digest == std::string(32, '0') ? "" : digest.c_str());
        }
    }
    for (const auto& dependency : conflictList)
        fprintf(out, "C:%s\n", printed(dependency).c_str());
    for (const auto& dependency : obsoleteList)
        fprintf(out, "O:%s\n", printed(dependency).c_str());
    fprintf(out, "X:\n");
    fflush(out);
}

const Version& Package::getVersion() const
{
    return *version;
}

bool Package::satisfies(const Dependency* dependency) const
{
    for (const auto& provide : provideList)
        if (dependency->isSatisfiedBy(provide))
            return true;
    return false;
}

void Package::readInfo()
{
    throw error(E_UNSET, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_basepkg_noread");
}

boost::shared_ptr<Dependency> Package::createDependency(const std::string& text) const
{
    if (!text.empty() && text[0] == '/')
        return boost::shared_ptr<Dependency>(new DependencyFile(text, 0, "", this));
    return boost::shared_ptr<Dependency>(new DependencyLogical(text, this));
}

std::ostream& Package::print(std::ostream& out) const
{
    out << name.c_str();
    if (version)
        out << "-" << version->toString();
    if (!arch.empty())
        out << "." << arch.c_str();
    return out;
}

void Package::setArch(const std::string& arch_)
{
    arch = PooledString(arch_.empty() ? std::string("noarch") : arch_);
}

const std::string& Package::getFileName() const
{
    if (fileName.empty())
        fileName = std::string(name.c_str()) + "-" + (version ? version->getVersionString() : "(no version)");
    return fileName;
}

void Package::setBuildTime(const std::string& time)
{
    buildTime = string_to_long(time);
}

void Package::setInstallTime(int64_t time)
{
    installTime = time;
}

void Package::setSize(const std::string& size_)
{
    size = string_to_long(size_);
}

void Package::setMd5(const std::string& hex)
{
    md5_from_hex(hex, md5);
}

bool Package::checkMd5() const
{
    char digest[33];
    return md5_file(fileName.c_str(), digest) && md5_to_hex(md5) == digest;
}

std::string Package::getProperty(const std::string& key) const
{
    auto found = properties.find(key);
    return found == properties.end() ? std::string() : found->second;
}

void Package::setProperty(const std::string& key, const std::string& value)
{
    properties[key] = value;
}

std::string Package::evaluateString(const std::string& text) const
{
    std::string result = text;
    std::string::size_type from = 0;
    for (;;) {
        std::string::size_type open = result.find('[', from);
        if (open == std::string::npos)
            break;
        std::string::size_type close = result.find(']', open);
        if (close == std::string::npos)
            break;
        const std::string key = result.substr(open + 1, close - open - 1);
        auto found = properties.find(key);
        if (found == properties.end()) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "debug: Package::evaluateString: undefined property " + key + " in expression " + result;
            from = close;
            continue;
        }
        result.replace(open, close - open + 1, found->second);
        // Resume at the last character of the value, or before an empty one; an empty value at the
        // very start ends the evaluation.
        if (!found->second.empty())
            from = open + found->second.size() - 1;
        else if (open == 0)
            break;
        else
            from = open - 1;
    }
    return result;
}

std::string Package::getClasses() const
{
    return boost::algorithm::join(classes, ",");
}

void Package::addRequire(const char* text)
{
    if (text && *text && !Dependency::isArtificial(text))
        requireList.push_back(createDependency(text));
}

void Package::addProvide(const char* text)
{
    if (text && *text)
        provideList.push_back(createDependency(text));
}

void Package::addProvide(const boost::shared_ptr<Dependency>& provide)
{
    provideList.push_back(provide);
}

void Package::addConflict(const char* text)
{
    if (text && *text)
        conflictList.push_back(createDependency(text));
}

void Package::addObsolete(const char* text)
{
    if (text && *text)
        obsoleteList.push_back(createDependency(text));
}

boost::shared_ptr<Dependency> Package::getRequire(uint32_t index) const
{
    return dependencyAt(requireList, index);
}

boost::shared_ptr<Dependency> Package::getProvide(uint32_t index) const
{
    return dependencyAt(provideList, index);
}

boost::shared_ptr<Dependency> Package::getConflict(uint32_t index) const
{
    return dependencyAt(conflictList, index);
}

boost::shared_ptr<Dependency> Package::getObsolete(uint32_t index) const
{
    return dependencyAt(obsoleteList, index);
}

void Package::removeRequire(uint32_t index)
{
    if (index < requireList.size())
        requireList.erase(requireList.begin() + index);
}

void Package::clearDependencies()
{
    requireList.clear();
    provideList.clear();
    conflictList.clear();
    obsoleteList.clear();
}

void Package::copyDependencies(const Package* other)
{
    clearDependencies();
    requireList = other->requireList;
    provideList = other->provideList;
    conflictList = other->conflictList;
    obsoleteList = other->obsoleteList;
}

boost::shared_ptr<Dependency> Package::getSelfProvide() const
{
    if (!selfProvide)
        selfProvide = createDependency(std::string(name.c_str()) + " = " + getVersion().toString());
    return selfProvide;
}

bool Package::requiresPackage(const Package* other) const
{
    for (const auto& requirement : requireList)
        for (uint32_t i = 0;; ++i) {
            boost::shared_ptr<Dependency> resolver = requirement->getResolver(i);
            if (!resolver)
                break;
            if (resolver->getOwner() == other)
                return true;
        }
    return false;
}

void Package::parseRequires()
{
    if (!element)
        throw KW_INTERNAL_ERROR();
    Log::stream(Log::LEVEL_DEBUG, true) << "debug: Package::parseRequires " + std::string(name.c_str()) + " filename " +
                                               fileName;
    bool withSelfProvide = !fileName.empty();
    for (tinybind::iterator child(element), end; child != end; ++child) {
        const std::string tag = tinybind::get_name(*child);
        if (tag == "requires")
            addRequire(tinybind::get_text(*child, false).c_str());
        else if (tag == "provides")
            addProvide(tinybind::get_text(*child, false).c_str());
        else if (tag == "conflicts")
            addConflict(tinybind::get_text(*child, false).c_str());
        else if (tag == "obsoletes")
            addObsolete(tinybind::get_text(*child, false).c_str());
        else if (tag == "actions")
            withSelfProvide = true;
    }
    if (withSelfProvide) {
        boost::shared_ptr<Dependency> self = getSelfProvide();
        provideList.push_back(self);
        Log::stream(Log::LEVEL_DEBUG, true) << "debug: Package " << name << "::parseRequires: add self provides "
                                            << static_cast<const void*>(self.get()) << ' ' << *self;
    }
}

std::string packageListText(const cpkgs_t& packages)
{
    if (packages.empty())
        return "(empty)";
    std::ostringstream out;
    for (const Package* package : packages)
        out << *package << ' ';
    return out.str();
}
