#include "installer/ComponentsChangeset.h"

#include "common/checked_pointer.h"

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
