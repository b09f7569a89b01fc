#include "installer/ComponentsChangeset.h"

#include <algorithm>
#include <iterator>

const ComponentsChangeset* ComponentsChangeset::orDefault(const ComponentsChangeset* changeset)
{
    if (changeset)
        return changeset;
    static checked_autoclean_pointer<ComponentsChangeset> shared(new ComponentsChangeset);
    return shared.get();
}

const request_mode_t* ComponentsChangeset::find(const comp_cptr_t& component) const
{
    const auto entry = requests.find(component);
    return entry == requests.end() ? nullptr : &entry->second;
}

request_mode_t ComponentsChangeset::getRequest(comp_cptr_t component) const
{
    const request_mode_t* request = find(component);
    return request ? *request : REQ_UNSPECIFIED;
}

bool ComponentsChangeset::isMarkedForInstall(comp_cptr_t component) const
{
    const request_mode_t* request = find(component);
    return request ? *request == REQ_INSTALL : component->getRequest() == REQ_INSTALL;
}

bool ComponentsChangeset::isMarkedForRemove(comp_cptr_t component, bool explicitOnly) const
{
    const request_mode_t* request = find(component);
    if (!request)
        return component->getRequest() == REQ_REMOVE;
    if (*request != REQ_REMOVE)
        return false;
    return !explicitOnly || !component->deny_implicit_removal || isExplicit(component);
}

bool ComponentsChangeset::willBeInstalled(comp_cptr_t component) const
{
    const KwComponent::install_mode_t mode = component->getInstallMode();
    const request_mode_t* request = find(component);
    if (!request)
        return component->willBeInstalled();
    if (*request == REQ_INSTALL)
        return mode != KwComponent::ERROR;
    if (*request == REQ_LEAVE)
        return component->isInstalled();
    return false;
}

bool ComponentsChangeset::willBeInstalledOlder(comp_cptr_t component) const
{
    const KwComponent::install_mode_t mode = component->getInstallMode();
    const request_mode_t* request = find(component);
    if (!request)
        return component->willBeInstalledOlder();
    return *request == REQ_LEAVE && mode == KwComponent::UPGRADE;
}

bool ComponentsChangeset::willBeInstalledNew(comp_cptr_t component) const
{
    const KwComponent::install_mode_t mode = component->getInstallMode();
    const request_mode_t* request = find(component);
    if (!request)
        return component->willBeInstalledNew();
    if (*request == REQ_LEAVE)
        return mode == KwComponent::UP2DATE;
    if (*request == REQ_INSTALL)
        return mode != KwComponent::ERROR;
    return false;
}

bool ComponentsChangeset::willBeNotInstalled(comp_cptr_t component) const
{
    const bool installed = component->isInstalled();
    const request_mode_t* request = find(component);
    if (!request)
        return component->willBeNotInstalled();
    if (*request == REQ_REMOVE)
        return true;
    if (*request == REQ_LEAVE)
        return !installed;
    return false;
}

bool ComponentsChangeset::isExplicit(comp_cptr_t component) const
{
    return component && explicitNames.count(component->name) != 0;
}

bool ComponentsChangeset::isConflict(comp_cptr_t component) const
{
    return component && conflictNames.count(component->name) != 0;
}

void ComponentsChangeset::markExplicit(comp_cptr_t component)
{
    explicitNames.insert(component->name);
}

std::vector<std::string> ComponentsChangeset::getNamesByRequest(request_mode_t request) const
{
    std::vector<std::string> names;
    for (const auto& entry : requests)
        if (entry.second == request)
            names.push_back(entry.first->name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ComponentsChangeset::getLeaveNames() const
{
    return getNamesByRequest(REQ_LEAVE);
}

std::vector<std::string> ComponentsChangeset::getInstallNames() const
{
    return getNamesByRequest(REQ_INSTALL);
}

std::vector<std::string> ComponentsChangeset::getRemoveNames() const
{
    return getNamesByRequest(REQ_REMOVE);
}

std::vector<std::string> ComponentsChangeset::implicitOf(const std::vector<std::string>& names) const
{
    std::vector<std::string> implicit;
    std::set_difference(names.begin(), names.end(), explicitNames.begin(), explicitNames.end(),
                        std::back_inserter(implicit));
    return implicit;
}

std::vector<std::string> ComponentsChangeset::getImplicitLeaveNames() const
{
    return implicitOf(getLeaveNames());
}

std::vector<std::string> ComponentsChangeset::getImplicitInstallNames() const
{
    return implicitOf(getInstallNames());
}

std::vector<std::string> ComponentsChangeset::getImplicitRemoveNames() const
{
    return implicitOf(getRemoveNames());
}

bool ComponentsChangeset::hasImplicitChanges() const
{
    return !getImplicitRemoveNames().empty() || !getImplicitInstallNames().empty() || !getImplicitLeaveNames().empty();
}

std::vector<std::string> ComponentsChangeset::getConflictNames() const
{
    return std::vector<std::string>(conflictNames.begin(), conflictNames.end());
}

std::vector<comp_cptr_t> ComponentsChangeset::getDeniedImplicitRemovals() const
{
    std::vector<comp_cptr_t> denied;
    for (const auto& entry : requests)
        if (entry.second == REQ_REMOVE && entry.first->deny_implicit_removal && !isExplicit(entry.first))
            denied.push_back(entry.first);
    return denied;
}

const char* requestName(request_mode_t request)
{
    switch (request) {
    case REQ_UNSPECIFIED: return "REQ_UNSPECIFIED";
    case REQ_LEAVE: return "REQ_LEAVE";
    case REQ_INSTALL: return "REQ_INSTALL";
    case REQ_REMOVE: return "REQ_REMOVE";
    default: return "REQ_UNKNOWN";
    }
}
