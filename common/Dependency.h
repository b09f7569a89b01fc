#ifndef KW_COMMON_DEPENDENCY_H
#define KW_COMMON_DEPENDENCY_H

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

class Package;

// One entry of a package's requires, provides, conflicts or obsoletes list, always held by
// boost::shared_ptr. It belongs to its owner package; one made without an owner belongs to a
// process-wide dummy package.
class Dependency {
public:
    explicit Dependency(const Package* owner);
    Dependency(const Dependency&) = delete;
    Dependency& operator=(const Dependency&) = delete;
    virtual ~Dependency();

    virtual std::string getName() const = 0;
    virtual bool isSatisfiedBy(const boost::shared_ptr<Dependency>& provide) const;
    // Whether the given dependency, a provide, satisfies this one.
    virtual bool isSatisfiedBy(const Dependency* provide) const = 0;
    virtual std::size_t hash() const = 0;
    virtual bool isSameTarget(const boost::shared_ptr<Dependency>& other) const;
    virtual bool isSameTarget(const Dependency* other) const = 0;
    virtual bool equals(const boost::shared_ptr<Dependency>& other) const = 0;
    virtual boost::shared_ptr<Dependency> clone() const = 0;
    virtual std::ostream& print(std::ostream& out) const = 0;

    // The dependencies (of other packages) found to satisfy this one, held weakly.
    void addResolver(const boost::shared_ptr<Dependency>& resolver);
    // Room for `count` resolvers in all, before they are added one by one.
    void reserveResolvers(std::size_t count);
    // Empty past the end or when that dependency no longer exists.
    boost::shared_ptr<Dependency> getResolver(uint32_t index) const;
    void removeResolver(uint32_t index);
    // Forgets every resolver, before the providers are looked up afresh.
    void clearResolvers();

    // True when a provide of the package, or else its self provide, satisfies this dependency.
    bool isSatisfiedByPackage(const Package* package) const;

    const Package* getOwner() const { return owner; }

    // Dependencies on the package tool's own features ("rpmlib(...)"), never on a package.
    static bool isArtificial(const char* name);
    static bool isArtificial(const std::string& name);
    static void addArtificial(const std::string& name);

    // For hashed containers of dependencies: the hash of the target, and the two equalities.
    struct Hash {
        std::size_t operator()(const boost::shared_ptr<Dependency>& dependency) const { return dependency->hash(); }
    };
    struct SameTarget {
        bool operator()(const boost::shared_ptr<Dependency>& a, const boost::shared_ptr<Dependency>& b) const
        {
            return a->isSameTarget(b);
        }
    };
    struct Equal {
        bool operator()(const boost::shared_ptr<Dependency>& a, const boost::shared_ptr<Dependency>& b) const
        {
            return a->equals(b);
        }
    };

private:
    std::vector<boost::weak_ptr<Dependency>> resolvers;
    const Package* owner;
};

inline std::ostream& operator<<(std::ostream& out, const Dependency& dependency)
{
    return dependency.print(out);
}

#endif
