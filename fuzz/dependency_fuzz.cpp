// Dependency texts ("name", "name >= 1.2-3", "/path") of both package families, and the questions
// the resolver asks of two of them.
#include <sstream>

#include "common/DebPackage.h"
#include "common/RPMPackage.h"
#include "common/error.h"
#include "fuzz/support/FuzzInput.h"

namespace {

std::string printed(const Dependency& dependency)
{
    std::ostringstream out;
    dependency.print(out);
    return out.str();
}

boost::shared_ptr<Dependency> made(const Package& owner, const std::string& text)
{
    try {
        return owner.createDependency(text);
    } catch (const error&) {
        return boost::shared_ptr<Dependency>();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const DebPackage deb("fuzz", "1.0-1");
    static const RPMPackage rpm("fuzz", "1.0-1");
    const auto texts = inputPair(data, size);
    for (const Package* owner : {static_cast<const Package*>(&deb), static_cast<const Package*>(&rpm)}) {
        const boost::shared_ptr<Dependency> a = made(*owner, texts.first);
        const boost::shared_ptr<Dependency> b = made(*owner, texts.second);
        if (!a)
            continue;
        const boost::shared_ptr<Dependency> copy = a->clone();
        if (!copy->equals(a) || printed(*copy) != printed(*a) || copy->hash() != a->hash())
            __builtin_trap();  // a clone is the same dependency
        a->getName();
        if (!b)
            continue;
        a->isSatisfiedBy(b.get());
        b->isSatisfiedBy(a.get());
        a->isSameTarget(b.get());
        a->equals(b);
    }
    return 0;
}
