#include "common/Reason.h"

#include "common/Dependency.h"
#include "common/Package.h"

Reason::~Reason() = default;

ReasonUnresolved::ReasonUnresolved(const boost::shared_ptr<Dependency>& dependency_) : dependency(dependency_) {}

void ReasonUnresolved::print(std::ostream& out) const
{
    out << "dependency '" << *dependency << "' is unresolved";
}

ReasonClash::ReasonClash(const Package* first_, const Package* second_) : first(first_), second(second_) {}

void ReasonClash::print(std::ostream& out) const
{
    out << *first << " is conflicting with newly installed " << *second;
}

ReasonReport::ReasonReport(const std::list<std::string>& lines_) : lines(lines_) {}

void ReasonReport::print(std::ostream& out) const
{
    for (const std::string& line : lines)
        out << line << ";";
}
