#include "common/Dependency.h"

#include <cstring>
#include <set>

#include "common/Package.h"

namespace {

// The owner of every dependency made without one; kept to the end of the process.
const Package* dummyMasterPackage()
{
    static Package* master = nullptr;
    if (!master) {
        master = new Package("dummy_masterpackage_for_dependency", "1.2.3");
        master->setType(Package::TYPE_DUMMY);
    }
    return master;
}

std::set<std::string>& artificialNames()
{
    static std::set<std::string>* names = new std::set<std::string>;
    return *names;
}

}  // namespace

Dependency::Dependency(const Package* owner_) : owner(owner_ ? owner_ : dummyMasterPackage()) {}

Dependency::~Dependency() = default;

bool Dependency::isSatisfiedBy(const boost::shared_ptr<Dependency>& provide) const
{
    return isSatisfiedBy(provide.get());
}

bool Dependency::isSameTarget(const boost::shared_ptr<Dependency>& other) const
{
    return isSameTarget(other.get());
}

void Dependency::addResolver(const boost::shared_ptr<Dependency>& resolver)
{
    resolvers.push_back(resolver);
}

void Dependency::reserveResolvers(std::size_t count)
{
    resolvers.reserve(count);
}

boost::shared_ptr<Dependency> Dependency::getResolver(uint32_t index) const
{
    if (index >= resolvers.size())
        return boost::shared_ptr<Dependency>();
    return resolvers[index].lock();
}

void Dependency::removeResolver(uint32_t index)
{
    if (index < resolvers.size())
        resolvers.erase(resolvers.begin() + index);
}

void Dependency::clearResolvers()
{
    resolvers.clear();
}

bool Dependency::isSatisfiedByPackage(const Package* package) const
{
    for (uint32_t i = 0;; ++i) {
        boost::shared_ptr<Dependency> provide = package->getProvide(i);
        if (!provide)
            break;
        if (isSatisfiedBy(provide))
            return true;
    }
    return isSatisfiedBy(package->getSelfProvide());
}

bool Dependency::isArtificial(const char* name)
{
    return strncmp(name, "rpmlib(", 7) == 0;
}

bool Dependency::isArtificial(const std::string& name)
{
    return isArtificial(name.c_str()) || artificialNames().count(name) != 0;
}

void Dependency::addArtificial(const std::string& name)
{
    artificialNames().insert(name);
}
