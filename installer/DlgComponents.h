#ifndef KW_INSTALLER_DLGCOMPONENTS_H
#define KW_INSTALLER_DLGCOMPONENTS_H

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "installer/Dialog.h"
#include "installer/KwComponent.h"

class ComponentManager;
class ComponentsChangeset;

// The logic of the components page: toggling one component through the cycle of its states, and
// the confirmation of what a change of the selection implies. Every change of the tree goes
// through a resolved changeset that the user has accepted.
class DlgComponents : public Dialog {
public:
    // Marks the base component when it is not installed, and what the required components need.
    explicit DlgComponents(ComponentManager* manager);

    // Moves the component one step along its cycle, after the user confirms what follows from it.
    void changeState(comp_cptr_t component);
    // Whether the resolved changeset may be applied: false after a conflict or a removal that may
    // not happen implicitly is shown, or when the user declines the implied changes. Applies nothing.
    static bool confirmChanges(const ComponentsChangeset& changeset);

    ComponentManager* manager;       // not owned
    std::set<std::string> products;  // product ids, for the page
};

// One state of a component on the page, and the request that entering it makes. The state objects
// come from a table of the cycles per install mode, keyed by the status character.
class ChangeState {
public:
    // Makes the objects of one kind of state.
    class BaseInstantiator {
    public:
        virtual ChangeState* instantiate(int row, char status, comp_cptr_t component) const = 0;
        virtual ~BaseInstantiator() = default;
    };
    template <typename T>
    class Instantiator : public BaseInstantiator {
    public:
        ChangeState* instantiate(int row, char status, comp_cptr_t component) const override
        {
            return new T(row, status, component);
        }
    };
    typedef std::vector<std::pair<char, boost::shared_ptr<const BaseInstantiator>>> row_t;

    // The install-mode row: 0 up to date, 1 upgradable, 2 not installed, 3 not available.
    static int rowOf(KwComponent::install_mode_t mode);
    // The state of the status character in the row or, with next, the state that follows it; owned
    // by the caller. An unavailable component, or a step that comes back to its start, gives the
    // invalid state.
    static ChangeState* create(int row, char status, comp_cptr_t component, bool next);

    ChangeState(int row_, char status_, comp_cptr_t component_) : row(row_), status(status_), component(component_) {}
    virtual ~ChangeState() = default;

    virtual void apply(ComponentManager* manager) = 0;

    int row;
    char status;  // the status character the object was made for
    comp_cptr_t component;

protected:
    // Resolves the request for the component, asks the user and applies it.
    void applyRequest(ComponentManager* manager, request_mode_t request);

private:
    // The cycles of rows 0 to 2; row 3 has none. Filled on first need.
    static row_t transitions[3];
};

// The request of one state, the same for every component.
template <request_mode_t REQUEST>
class ChangeStateRequest : public ChangeState {
public:
    using ChangeState::ChangeState;

    void apply(ComponentManager* manager) override { applyRequest(manager, REQUEST); }
};

class ChangeStateLeaveInstalled : public ChangeStateRequest<REQ_LEAVE> {
public:
    using ChangeStateRequest::ChangeStateRequest;
};
class ChangeStateRemove : public ChangeStateRequest<REQ_REMOVE> {
public:
    using ChangeStateRequest::ChangeStateRequest;
};
class ChangeStateLeaveNotInstalled : public ChangeStateRequest<REQ_LEAVE> {
public:
    using ChangeStateRequest::ChangeStateRequest;
};
class ChangeStateInstall : public ChangeStateRequest<REQ_INSTALL> {
public:
    using ChangeStateRequest::ChangeStateRequest;
};
class ChangeStateUpdate : public ChangeStateRequest<REQ_INSTALL> {
public:
    using ChangeStateRequest::ChangeStateRequest;
};
class ChangeStateNoUpdate : public ChangeStateRequest<REQ_LEAVE> {
public:
    using ChangeStateRequest::ChangeStateRequest;
};

// No change is possible: applying it raises the reason.
class ChangeStateInvalid : public ChangeState {
public:
    using ChangeState::ChangeState;

    void apply(ComponentManager* manager) override;
};

#endif
