#ifndef KW_INSTALLER_BOOTSTRAPPER_H
#define KW_INSTALLER_BOOTSTRAPPER_H

#include <functional>
#include <string>

class ComponentManager;

// The shell commands that the catalogue attaches to components and builds, run around an
// installation by sequence ("prep", "post", "pkgs") and stage ("execute", "commit", "rollback").
namespace Bootstrapper {

// Runs the execute stage of the sequence's actions; true when it succeeded.
bool performActions(ComponentManager& manager, const std::string& sequence, bool forAllComponents);
// Runs the rollback stage of "pkgs", after a failed package installation.
bool performPkgsFailureActions(ComponentManager& manager);

// What runs the actions of one stage: (sequence, stage, forAllComponents) -> success. Until actions
// are collected from the component forest a run has none, and every stage succeeds; tests install a
// runner of their own.
typedef std::function<bool(const std::string&, const std::string&, bool)> StageRunner;
void setStageRunner(const StageRunner& runner);

}  // namespace Bootstrapper

#endif
