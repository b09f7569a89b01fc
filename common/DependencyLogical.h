#ifndef KW_COMMON_DEPENDENCYLOGICAL_H
#define KW_COMMON_DEPENDENCYLOGICAL_H

#include <memory>

#include "common/Dependency.h"
#include "common/PooledString.h"
#include "common/Version.h"

// A named dependency: a name with an optional relation and version, such as "foo >= 1.2-3".
class DependencyLogical : public Dependency {
public:
    enum relation_t { NONE = 0, EQ = 1, LT = 2, LE = 3, GE = 4, GT = 5 };

    // Parses the text; an empty text is an internal error.
    DependencyLogical(const std::string& text, const Package* owner);
    ~DependencyLogical() override;

    using Dependency::isSameTarget;
    using Dependency::isSatisfiedBy;

    std::string getName() const override;
    // True exactly when the version ranges of this requirement and the provide overlap.
    bool isSatisfiedBy(const Dependency* provide) const override;
    // The same for a provide known to be named.
    bool isSatisfiedByNamed(const DependencyLogical& provide) const;
    std::size_t hash() const override;
    bool isSameTarget(const Dependency* other) const override;
    bool equals(const boost::shared_ptr<Dependency>& other) const override;
    boost::shared_ptr<Dependency> clone() const override;
    std::ostream& print(std::ostream& out) const override;

    virtual Version* createVersion(const std::string& text) const;

    const PooledString& getPooledName() const { return name; }
    int getRelation() const { return relation; }
    // Null exactly when the relation is NONE.
    const Version* getVersion() const { return version.get(); }

private:
    DependencyLogical(const DependencyLogical& other);
    void parse(const std::string& text);

    std::unique_ptr<Version> version;
    PooledString name;
    int relation;
};

#endif
