#ifndef KW_COMMON_REASON_H
#define KW_COMMON_REASON_H

#include <list>
#include <ostream>
#include <string>

#include <boost/shared_ptr.hpp>

class Dependency;
class Package;

// Why the resolver black-listed a package; held by boost::shared_ptr and shared between the
// packages that are black for the same cause.
class Reason {
public:
    virtual ~Reason();
    virtual void print(std::ostream& out) const = 0;
};

inline std::ostream& operator<<(std::ostream& out, const Reason& reason)
{
    reason.print(out);
    return out;
}

// A requirement of the package that no acceptable package resolves.
class ReasonUnresolved : public Reason {
public:
    explicit ReasonUnresolved(const boost::shared_ptr<Dependency>& dependency);
    void print(std::ostream& out) const override;

    boost::shared_ptr<Dependency> dependency;
};

// The package that cannot stay (first) and the package it clashes with (second).
class ReasonClash : public Reason {
public:
    ReasonClash(const Package* first, const Package* second);
    void print(std::ostream& out) const override;

    const Package* first;
    const Package* second;
};

// Ready text lines.
class ReasonReport : public Reason {
public:
    explicit ReasonReport(const std::list<std::string>& lines);
    void print(std::ostream& out) const override;

    std::list<std::string> lines;
};

#endif
