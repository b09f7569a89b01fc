#include "common/DependencyLogical.h"

#include "common/Log.h"
#include "common/Package.h"
#include "common/error.h"

namespace {

bool isOperatorChar(char c)
{
    return c == '<' || c == '=' || c == '>';
}

// The relation from the operator's length and first character: "<<" counts as "<=", ">>" as ">="
// and anything else as "=".
int relationOf(const std::string& op)
{
    if (op.size() == 1)
        return op[0] == '<' ? DependencyLogical::LT : op[0] == '>' ? DependencyLogical::GT : DependencyLogical::EQ;
    return op[0] == '<' ? DependencyLogical::LE : op[0] == '>' ? DependencyLogical::GE : DependencyLogical::EQ;
}

// Epoch order of the dependency test: a missing epoch counts as 0.
int compareEpochs(const Version& a, const Version& b)
{
    if (a.hasEpoch() && b.hasEpoch())
        return a.compareEpoch(b);
    if (a.hasEpoch())
        return a.getEpoch() != 0 ? 1 : 0;
    if (b.hasEpoch())
        return b.getEpoch() != 0 ? -1 : 0;
    return 0;
}

}  // namespace

DependencyLogical::DependencyLogical(const std::string& text, const Package* owner)
    : Dependency(owner), name(""), relation(NONE)
{
    if (text.empty()) {
        {
            Log::stream log(Log::LEVEL_ERROR, true);
            log << "Error: empty data for dependency of package " << static_cast<const void*>(owner);
            if (owner)
                log << " " << *owner;
        }
        throw KW_INTERNAL_ERROR();
    }
    parse(text);
}

DependencyLogical::DependencyLogical(const DependencyLogical& other)
    : Dependency(other.getOwner()), version(other.version ? new Version(*other.version) : nullptr), name(other.name),
      relation(other.relation)
{
}

DependencyLogical::~DependencyLogical() = default;

void DependencyLogical::parse(const std::string& text)
{
    // The last blank after position 0 separates the version.
    std::string::size_type b = text.rfind(' ');
    if (b == std::string::npos || b == 0) {
        name = PooledString(text);
        return;
    }
    const std::string version_text = text.substr(b + 1);
    std::string::size_type i = b;
    while (i > 0 && text[i] == ' ')
        --i;
    if (i == 0 || !isOperatorChar(text[i])) {
        name = PooledString(text);  // a name with a blank, not a relation
        return;
    }
    std::string::size_type j = i;
    while (j > 0 && text[j] != ' ')
        --j;
    const std::string op = text.substr(j + 1, i - j);
    std::string::size_type k = j;
    while (k > 0 && text[k] == ' ')
        --k;
    version.reset(createVersion(version_text));
    name = PooledString(text.substr(0, k + 1));
    relation = relationOf(op);
}

Version* DependencyLogical::createVersion(const std::string& text) const
{
    return new Version(text);
}

std::string DependencyLogical::getName() const
{
    return name.c_str();
}

bool DependencyLogical::isSatisfiedBy(const Dependency* provide_dep) const
{
    const DependencyLogical* provide = dynamic_cast<const DependencyLogical*>(provide_dep);
    return provide && isSatisfiedByNamed(*provide);
}

bool DependencyLogical::isSatisfiedByNamed(const DependencyLogical& provide_named) const
{
    const DependencyLogical* provide = &provide_named;
    if (provide->name != name)
        return false;
    if (relation == NONE && provide->relation == NONE)
        return true;
    if (!version || !provide->version)
        return true;

    const Version& vr = *version;
    const Version& vp = *provide->version;
    int outcome = compareEpochs(vr, vp);
    if (outcome == 0)
        outcome = vr.compareVersion(vp);
    if (outcome == 0 && !vr.getRelease().empty() && !vp.getRelease().empty())
        outcome = vr.compareRelease(vp);

    const int r = relation;
    const int p = provide->relation;
    if (outcome > 0)
        return r == LT || r == LE || p == GE || p == GT;
    if (outcome < 0)
        return r == GE || r == GT || p == LT || p == LE;
    switch (r) {
    case EQ: return p == EQ || p == LE || p == GE;
    case LE: return p == EQ || p == LT || p == LE || p == GE;
    case GE: return p == EQ || p == LE || p == GE || p == GT;
    case LT: return p == LT || p == LE;
    case GT: return p == GE || p == GT;
    default: return false;
    }
}

std::size_t DependencyLogical::hash() const
{
    uint64_t p = reinterpret_cast<uintptr_t>(name.c_str());
    return ((p << 21) | (p >> 11)) * 5;
}

bool DependencyLogical::isSameTarget(const Dependency* other) const
{
    const DependencyLogical* logical = dynamic_cast<const DependencyLogical*>(other);
    return logical && logical->name == name;
}

bool DependencyLogical::equals(const boost::shared_ptr<Dependency>& other) const
{
    const DependencyLogical* logical = dynamic_cast<const DependencyLogical*>(other.get());
    if (!logical || logical->name != name || logical->relation != relation)
        return false;
    if (!version || !logical->version)
        return !version && !logical->version;
    return *version == *logical->version;
}

boost::shared_ptr<Dependency> DependencyLogical::clone() const
{
    return boost::shared_ptr<Dependency>(new DependencyLogical(*this));
}

std::ostream& DependencyLogical::print(std::ostream& out) const
{
    static const char* const operators[] = {"", " = ", " < ", " <= ", " >= ", " > "};
    out << name.c_str();
    if (version) {
        if (relation <= NONE || relation > GT)
            throw KW_INTERNAL_ERROR();
        out << operators[relation];
        version->print(out);
    }
    return out;
}
