#ifndef KW_COMMON_PACKAGE_H
#define KW_COMMON_PACKAGE_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/Dependency.h"
#include "common/PooledString.h"
#include "common/Version.h"
#include "common/checked_pointer.h"
#include "common/md5rep.h"

class Action;
class TiXmlElement;
namespace tinybind {
struct element;
}
class Source;

// One package the system knows of: installed, listed by a build file or the extension catalogue,
// a package file, or a dummy the repository or the resolver makes. Its type code says where it
// comes from.
class Package {
public:
    // Where a package comes from, as one letter.
    typedef char type_t;

    static constexpr type_t TYPE_NONE = 'n';        // just constructed
    static constexpr type_t TYPE_BUILD = 'b';       // build file or main product repository
    static constexpr type_t TYPE_THIRDPARTY = 't';  // third-party repository
    static constexpr type_t TYPE_EXTRAS = 'x';      // extras repository
    static constexpr type_t TYPE_EXTENSION = 'e';   // extension catalogue
    static constexpr type_t TYPE_SYSTEM = 'u';      // operating-system repository
    static constexpr type_t TYPE_INSTALLED = 's';   // installed on the system
    static constexpr type_t TYPE_DUMMY = 'd';       // made by the repository or the resolver
    static constexpr type_t TYPE_DROPPED = 'z';     // dropped from its source

    // A filter on packages.
    class Predicate {
    public:
        virtual ~Predicate();
        virtual bool operator()(const Package* package) const = 0;
    };

    // Takes ownership of the version, which may be null.
    Package(const std::string& name, Version* version);
    Package(const std::string& name, const std::string& version);
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;
    virtual ~Package();

    // An RPMPackage for a name ending in ".rpm", a DebPackage for ".deb"; other names throw.
    static Package* createByFileName(const std::string& name, const std::string& version, const std::string& fileName);
    // From an element named "package"; every attribute but "classes" is required.
    static Package* createFromXml(const tinybind::element& element, type_t type);
    // Reads one installed-package cache record; the counter is advanced by every line read. The
    // package has type TYPE_NONE and no source: the caller sets both.
    static Package* createFromCache(FILE* in, int* lineCounter);
    // Writes one cache record under the given file name (the package's own when null).
    void writeToCache(FILE* out, const char* fileName = nullptr) const;

    // Throws the null-pointer error for a package made without a version.
    virtual const Version& getVersion() const;
    // True when one of the package's provides satisfies the dependency.
    virtual bool satisfies(const Dependency* dependency) const;
    // Fills the package from its own file; the base class cannot.
    virtual void readInfo();
    // A file dependency for a text beginning with '/', else a named one; owned by this package.
    virtual boost::shared_ptr<Dependency> createDependency(const std::string& text) const;

    std::ostream& print(std::ostream& out) const;

    const PooledString& getName() const { return name; }
    type_t getType() const { return type; }
    void setType(type_t type_) { type = type_; }
    const PooledString& getArch() const { return arch; }
    // An empty architecture is "noarch".
    void setArch(const std::string& arch);
    // When no file name is set, name-[epoch:]version (the release left out) is set and kept.
    const std::string& getFileName() const;
    void setFileName(const std::string& fileName_) { fileName = fileName_; }
    uint64_t getBuildTime() const { return buildTime; }
    void setBuildTime(uint64_t time) { buildTime = time; }
    void setBuildTime(const std::string& time);
    int64_t getInstallTime() const { return installTime; }
    void setInstallTime(int64_t time);
    int64_t getSize() const { return size; }
    void setSize(const std::string& size);
    const DependencyFile::md5rep_t& getMd5() const { return md5; }
    void setMd5(const std::string& hex);
    // True when the package file can be read and its digest equals the stored one.
    bool checkMd5() const;

    TiXmlElement* getElement() const { return element; }
    void setElement(TiXmlElement* element_) { element = element_; }
    std::vector<Action*>& getActions() { return actions; }
    void addAction(Action* action) { actions.push_back(action); }
    const Source* getSource() const { return source; }
    void setSource(const Source* source_) { source = source_; }

    const std::map<std::string, std::string>& getProperties() const { return properties; }
    // The value, or an empty text when the property is absent.
    std::string getProperty(const std::string& name) const;
    void setProperty(const std::string& name, const std::string& value);
    // Replaces every [name] reference to a property by its value.
    std::string evaluateString(const std::string& text) const;
    // The classes joined with ",".
    std::string getClasses() const;
    bool hasClass(const std::string& name) const { return classes.count(name) != 0; }

    // Null, empty and artificial ("rpmlib(...)") requirements are skipped.
    void addRequire(const char* text);
    // Null and empty texts are skipped.
    void addProvide(const char* text);
    void addProvide(const boost::shared_ptr<Dependency>& provide);
    void addConflict(const char* text);
    void addObsolete(const char* text);
    // Empty pointers past the end.
    boost::shared_ptr<Dependency> getRequire(uint32_t index) const;
    boost::shared_ptr<Dependency> getProvide(uint32_t index) const;
    boost::shared_ptr<Dependency> getConflict(uint32_t index) const;
    boost::shared_ptr<Dependency> getObsolete(uint32_t index) const;
    std::size_t getProvideCount() const { return provideList.size(); }
    void removeRequire(uint32_t index);
    void clearDependencies();
    // Shares the other package's dependency objects.
    void copyDependencies(const Package* other);
    // "name = version" as a provide, made on first use.
    boost::shared_ptr<Dependency> getSelfProvide() const;
    // True when a requirement of this package has a resolver owned by the other package.
    bool requiresPackage(const Package* other) const;
    // Reads the dependency lists from the kept element.
    void parseRequires();

protected:
    typedef std::vector<boost::shared_ptr<Dependency>> deps_t;

    PooledString name;
    checked_autoclean_pointer<Version> version;
    type_t type;
    PooledString arch;
    uint64_t buildTime;
    DependencyFile::md5rep_t md5;
    mutable std::string fileName;
    int64_t installTime;
    int64_t size;
    TiXmlElement* element;
    std::map<std::string, std::string> properties;
    std::vector<Action*> actions;
    deps_t requireList;
    deps_t provideList;
    deps_t conflictList;
    deps_t obsoleteList;
    std::set<std::string> classes;
    const Source* source;
    mutable boost::shared_ptr<Dependency> selfProvide;
};

inline std::ostream& operator<<(std::ostream& out, const Package& package)
{
    return package.print(out);
}

// The currency in which lists of packages pass between the components, installers and resolver.
typedef std::vector<const Package*> cpkgs_t;

// The packages as log lines list them: each followed by a blank, or "(empty)" for none.
std::string packageListText(const cpkgs_t& packages);

#endif
