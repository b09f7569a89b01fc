#ifndef KW_INSTALLER_COMPONENTSCHANGESET_H
#define KW_INSTALLER_COMPONENTSCHANGESET_H

#include <map>

#include "installer/KwComponent.h"

// Requested changes of the component selection, recorded beside the tree without touching it. A
// component without an entry is judged by its own request and install mode.
class ComponentsChangeset {
public:
    // The given changeset, or for null the process-wide default one: made empty on first use and
    // never written, it stands for "no changeset".
    static const ComponentsChangeset* orDefault(const ComponentsChangeset* changeset);

    // REQ_UNSPECIFIED when there is no entry.
    request_mode_t getRequest(comp_cptr_t component) const;
    // These three need a component whose install mode is decided: an unchecked one is an internal
    // error, whatever its entry.
    bool willBeInstalled(comp_cptr_t component) const;
    bool willBeInstalledOlder(comp_cptr_t component) const;
    bool willBeNotInstalled(comp_cptr_t component) const;

    // One entry per component, keyed by identity; callers insert or overwrite entries directly.
    std::map<comp_cptr_t, request_mode_t> requests;

private:
    // The entry of the component, null without one.
    const request_mode_t* find(const comp_cptr_t& component) const;
};

#endif
