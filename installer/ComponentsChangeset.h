#ifndef KW_INSTALLER_COMPONENTSCHANGESET_H
#define KW_INSTALLER_COMPONENTSCHANGESET_H

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "common/checked_pointer.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"

// Requested changes of the component selection, recorded beside the tree without touching it. A
// component without an entry is judged by its own request and install mode, so a changeset
// describes the tree as it would be after the recorded changes.
class ComponentsChangeset {
public:
    // Records one request for the components and radio groups named in a list, each name at its
    // first match in walk order, and warns about the names found nowhere.
    class MarkComponentsByName : public ComponentManager::Visitor {
    public:
        // An empty product id matches every product.
        MarkComponentsByName(ComponentsChangeset* changeset, const std::string& productId,
                             const std::vector<std::string>& names, request_mode_t request, bool markExplicit);

        void visit(const boost::shared_ptr<KwComponent>& component) override;
        void beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group) override;
        // In strict mode, names of components to install that were found nowhere are an error.
        void finish() override;

    private:
        // Whether the node is of the product and its name is still to find; a found name is
        // taken out.
        bool takeName(const KwCompNode& node, const std::string& name);

        checked_pointer<ComponentsChangeset> changeset;
        std::string productId;
        request_mode_t request;
        bool markExplicit;
        std::set<std::string> unfound;
    };

    // Records one request for every node of a part of the forest.
    class MarkSubtree {
    public:
        // An empty product id matches every product. With skipHidden, hidden components are left
        // alone unless they are installed and shown while installed.
        MarkSubtree(ComponentsChangeset* changeset, const std::string& productId, request_mode_t request,
                    bool skipHidden, bool markExplicit);

        void mark(ComponentManager::nodes_t::const_iterator first, ComponentManager::nodes_t::const_iterator last);

    private:
        checked_pointer<ComponentsChangeset> changeset;
        std::string productId;
        request_mode_t request;
        bool markExplicit;
        bool skipHidden;
    };

    // The given changeset, or for null the process-wide default one: made empty on first use and
    // never written, it stands for "no changeset".
    static const ComponentsChangeset* orDefault(const ComponentsChangeset* changeset);

    // REQ_UNSPECIFIED when there is no entry.
    request_mode_t getRequest(comp_cptr_t component) const;
    bool isMarkedForInstall(comp_cptr_t component) const;
    // With explicitOnly, the removal of a component that denies implicit removal counts only when
    // its name is explicit.
    bool isMarkedForRemove(comp_cptr_t component, bool explicitOnly) const;
    // These four need a component whose install mode is decided: an unchecked one is an internal
    // error, whatever its entry.
    bool willBeInstalled(comp_cptr_t component) const;
    bool willBeInstalledOlder(comp_cptr_t component) const;
    bool willBeInstalledNew(comp_cptr_t component) const;
    bool willBeNotInstalled(comp_cptr_t component) const;

    // By name, so one mark covers every component of that name in every product. An empty
    // pointer is neither.
    bool isExplicit(comp_cptr_t component) const;
    bool isConflict(comp_cptr_t component) const;
    void markExplicit(comp_cptr_t component);

    // The names of the entries with the request, sorted byte-wise, not made unique.
    std::vector<std::string> getNamesByRequest(request_mode_t request) const;
    std::vector<std::string> getLeaveNames() const;
    std::vector<std::string> getInstallNames() const;
    std::vector<std::string> getRemoveNames() const;
    // The same without the explicit names; each explicit name cancels one equal name.
    std::vector<std::string> getImplicitLeaveNames() const;
    std::vector<std::string> getImplicitInstallNames() const;
    std::vector<std::string> getImplicitRemoveNames() const;
    bool hasImplicitChanges() const;
    std::vector<std::string> getConflictNames() const;
    // The components to remove that deny implicit removal and were not asked for, in map order.
    std::vector<comp_cptr_t> getDeniedImplicitRemovals() const;

    // One entry per component, keyed by identity; callers insert or overwrite entries directly.
    std::map<comp_cptr_t, request_mode_t> requests;
    std::set<std::string> explicitNames;  // short component names
    std::set<std::string> conflictNames;  // filled by dependency resolution

private:
    // The entry of the component, null without one.
    const request_mode_t* find(const comp_cptr_t& component) const;
    std::vector<std::string> implicitOf(const std::vector<std::string>& names) const;
};

// "REQ_UNSPECIFIED", "REQ_LEAVE", "REQ_INSTALL", "REQ_REMOVE", else "REQ_UNKNOWN".
const char* requestName(request_mode_t request);

// "ComponentsChangeset[ !+zanth/web, =zanth/mail (conflict) ] (! is explicit, = is leave, + is
// install, ~ is remove)"
std::ostream& operator<<(std::ostream& out, const ComponentsChangeset& changeset);

#endif
