#ifndef KW_INSTALLER_BOOTSTRAPPER_H
#define KW_INSTALLER_BOOTSTRAPPER_H

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

class ComponentManager;
class KwComponent;
class TiXmlElement;

// The shell commands that the catalogue attaches to components and builds, run around an
// installation by sequence ("prep", "post", "pkgs") and stage ("execute", "commit", "rollback").
// Each phase runs its execute stage, then its commit stage when that succeeded, else its rollback
// stage.
namespace Bootstrapper {

// One action as the catalogue declares it. Every word is compared exactly; catalogue data may use
// any text, and an action whose words match no request never runs.
class Action {
public:
    virtual ~Action();
    // Runs the action; true on success.
    virtual bool execute() const = 0;

    std::string sequence;
    std::string stage = "execute";
    int32_t sequence_order = 0;
    std::string operation = "install";
    std::string parent_name;  // the component's name, or the release id for a build's actions
    bool critical = true;
};

// The only kind of action: a command line for /bin/sh.
class Action_ExecCmd : public Action {
public:
    bool execute() const override;

    std::string exec_cmd;
    std::string m_arch;  // shown in the log only; it does not restrict where the action runs
};

// Owning, in declaration order.
typedef std::vector<Action*> actions_t;
// Not owning, in run order.
typedef std::vector<const Action*> sequence_t;

// The words an action must have to be collected.
struct SequenceMatch {
    std::string sequence;
    std::string stage;
    std::string operation;

    bool matches(const Action& action) const;
};

// Appends one loaded action per "action" child of the element; the list owns them. A missing
// "sequence" or "exec-cmd" raises tinybind::err (code 1) and a bad "sequence-order" the error
// "err_non_digit"; the actions appended before stay in the list.
void loadActions(actions_t& actions, TiXmlElement* element, const std::string& parent_name);

// Appends the component's matching actions when its change calls for them; sets the key's operation
// to "install" when it does.
void getComponentActions(const KwComponent& component, SequenceMatch& key, sequence_t& out, bool forAllComponents);

// Appends, in run order, the actions of the key's sequence and stage: those of the components that
// are installed or kept (every installed one with forAllComponents), then those of each touched
// product's build, "install" while some component of it stays or gets installed, else "remove".
// The key is left unchanged; its operation is not used.
void getActionsSequence(const ComponentManager& manager, const SequenceMatch& key, sequence_t& out,
                        bool forAllComponents);

// Runs the list in order; false once a critical action failed, which stops the list.
bool executeActions(const sequence_t& actions);

// The execute stage of the sequence, then its commit or rollback stage; the result of the execute
// stage. An error of the shell itself (a signal, no shell) passes without commit or rollback.
bool performActions(const ComponentManager& manager, const std::string& sequence, bool forAllComponents);
// The rollback stage of "pkgs", after a failed package installation.
bool performPkgsFailureActions(const ComponentManager& manager);
// The "validate" actions of one component.
bool performValidateActions(const boost::shared_ptr<KwComponent>& component);

}  // namespace Bootstrapper

#endif
