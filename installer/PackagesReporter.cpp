#include "installer/PackagesReporter.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iomanip>

#include "common/Dependency.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/checked_pointer.h"

namespace {

const char* const ACTIONS[] = {"install", "upgrade", "remove"};

// The counts and byte total of one XML group, whose element the parent owns. The totals are 32 bits
// wide, as readers expect them.
struct Group {
    Group(TiXmlElement& parent, const char* name) : element(new TiXmlElement(name)) { parent.LinkEndChild(element); }

    TiXmlElement* element;
    int count[3] = {0, 0, 0};
    uint32_t bytes = 0;
};

}  // namespace

PackagesReporter::pkgentry::pkgentry(const Package* package_, int kind_) : package(package_), kind(kind_)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "create pkgentry " << *package << " " << kind;
}

PackagesReporter::PackagesReporter(const cpkgs_t* packages_, Repository* repository_, bool xml_)
    : Reporter(0), packages(packages_), repository(repository_), xml(xml_)
{
}

std::vector<PackagesReporter::pkgentry> PackagesReporter::entries() const
{
    if (!packages)
        throw KW_NULL_POINTER_ERROR();
    std::vector<pkgentry> list;
    for (const Package* package : *packages) {
        if (isRemover(package)) {
            if (const Package* target = repository->getInstalledPackage(package->getObsolete(0)->getName()))
                list.emplace_back(target, REMOVE);
        } else {
            list.emplace_back(package, repository->getInstalledPackage(package->getName()) ? UPGRADE : INSTALL);
        }
    }
    for (const Package* package : *packages) {
        for (const auto& obsoleted : repository->getObsoletedBy(package)) {
            const Package* target = obsoleted.second;
            if (target->getType() != Package::TYPE_INSTALLED)
                continue;
            const bool kept = std::any_of(packages->begin(), packages->end(),
                                          [target](const Package* p) { return p->getName() == target->getName(); });
            if (!kept)
                list.emplace_back(target, REMOVE);
        }
    }
    std::sort(list.begin(), list.end(), [](const pkgentry& a, const pkgentry& b) {
        if (a.kind != b.kind)
            return a.kind < b.kind;
        return strcmp(a.package->getName().c_str(), b.package->getName().c_str()) < 0;
    });
    return list;
}

std::ostream& PackagesReporter::put(std::ostream& out) const
{
    const std::vector<pkgentry> list = entries();
    return xml ? putXmlGroups(out, list) : putText(out, list);
}

std::ostream& PackagesReporter::putText(std::ostream& out, const std::vector<pkgentry>& list) const
{
    static const char* const MARKS[] = {". [I] ", ". [U] ", ". [R] "};
    int number = 0;
    for (const pkgentry& entry : list) {
        // The resolver's own markers install nothing the user would recognise.
        if (entry.kind == INSTALL && entry.package->getType() == Package::TYPE_DUMMY)
            continue;
        out << std::setw(3) << ++number << MARKS[entry.kind];
        entry.package->print(out);
        out << "\n";
    }
    if (number == 0)
        out << Messages().get("packages_no_reqpackages") << "\n";
    return out;
}

std::ostream& PackagesReporter::putXmlGroups(std::ostream& out, const std::vector<pkgentry>& list) const
{
    TiXmlElement root("packages");
    Group system(root, "system_packages");
    Group kernel(root, "kernel_packages");
    Group build(root, "build_packages");
    for (const pkgentry& entry : list) {
        const Package* package = entry.package;
        if (package->getType() == Package::TYPE_INSTALLED)
            continue;
        Group* group = entry.kind == REMOVE                         ? &system
                       : package->getType() == Package::TYPE_BUILD  ? &build
                       : package->getType() == Package::TYPE_SYSTEM ? &system
                                                                    : nullptr;
        if (!group)
            continue;
        TiXmlElement* element = new TiXmlElement("package");
        element->SetAttribute("action", ACTIONS[entry.kind]);
        element->SetAttribute("name", package->getName().c_str());
        element->SetAttribute("version", package->getVersion().getVersionString());
        element->SetAttribute("release", package->getVersion().getRelease());
        element->SetAttribute("arch", package->getArch().c_str());
        element->SetAttribute("size", std::to_string(package->getSize()));
        group->element->LinkEndChild(element);
        ++group->count[entry.kind];
        if (entry.kind != REMOVE)
            group->bytes += static_cast<uint32_t>(package->getSize());
    }
    system.element->SetAttribute("install_num", system.count[INSTALL]);
    system.element->SetAttribute("upgrade_num", system.count[UPGRADE]);
    system.element->SetAttribute("remove_num", system.count[REMOVE]);
    system.element->SetAttribute("bytes", std::to_string(system.bytes));
    kernel.element->SetAttribute("install_num", 0);
    kernel.element->SetAttribute("bytes", 0);
    build.element->SetAttribute("install_num", build.count[INSTALL]);
    build.element->SetAttribute("upgrade_num", build.count[UPGRADE]);
    build.element->SetAttribute("remove_num", 0);
    build.element->SetAttribute("bytes", std::to_string(build.bytes));
    return putXml(out, &root);
}
