#include "installer/Bootstrapper.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

#include "common/Log.h"
#include "common/POpen.h"
#include "common/Stopwatch.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"

namespace Bootstrapper {

namespace {

// The attribute's value, or the fallback when the attribute is absent (an empty value stays empty).
std::string attributeOr(const TiXmlElement* element, const char* name, const std::string& fallback)
{
    const std::string* value = element->Attribute(std::string(name));
    return value ? *value : fallback;
}

// An exit code in decimal; a negative one, which no exit status gives, as the bits it holds.
std::string exitCodeText(int code)
{
    if (code >= 0)
        return std::to_string(code);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(code));
    return text;
}

std::string stageText(const SequenceMatch& key)
{
    return key.sequence + "/" + key.stage + "/" + key.operation;
}

void appendMatching(const actions_t& actions, const SequenceMatch& key, sequence_t& out)
{
    for (const Action* action : actions)
        if (key.matches(*action))
            out.push_back(action);
}

}  // namespace

Action::~Action() = default;

bool Action_ExecCmd::execute() const
{
    const std::string description = "parent_name='" + parent_name + "', sequence='" + sequence + "', stage='" + stage +
                                    "', sequence_order='" + std::to_string(sequence_order) + "', operation='" +
                                    operation + "', exec_cmd='" + exec_cmd + "', m_arch='" + m_arch + "'";
    Log::stream(Log::LEVEL_DEBUG, true) << " Execute bootstrapper action: " + exec_cmd;
    Stopwatch watch;
    watch.start();
    std::ostringstream output;
    const int code = exec_command(exec_cmd, true, false, &output);
    // One text: the log marks an empty piece written on its own.
    std::ostringstream line;
    line << "Bootstrapper has finished action (exec time: " << watch.elapsed() << " sec.): " << description
         << ", exit code: " << exitCodeText(code) << ", output: " << output.str();
    Log::stream(Log::LEVEL_VERBOSE, true) << line.str();
    return code == 0;
}

bool SequenceMatch::matches(const Action& action) const
{
    return action.sequence == sequence && action.stage == stage && action.operation == operation;
}

void loadActions(actions_t& actions, TiXmlElement* element, const std::string& parent_name)
{
    for (TiXmlElement* child = element->FirstChildElement("action"); child;
         child = child->NextSiblingElement("action")) {
        Action_ExecCmd* action = new Action_ExecCmd;
        try {
            action->sequence = tinybind::get_attribute(child, "sequence");
            action->stage = attributeOr(child, "stage", "execute");
            action->sequence_order = static_cast<int32_t>(string_to_long(attributeOr(child, "sequence-order", "0")));
            action->operation = attributeOr(child, "operation", "install");
            action->critical = attributeOr(child, "critical", "") != "false";
            action->exec_cmd = tinybind::get_attribute(child, "exec-cmd");
            action->m_arch = attributeOr(child, "arch", "");
        } catch (...) {
            delete action;
            throw;
        }
        action->parent_name = parent_name;
        Log::stream(Log::LEVEL_DEBUG, true) << " add action sequence: " + action->sequence +
                                                   ", sequence_order:" + std::to_string(action->sequence_order) +
                                                   ", operation:" + action->operation + ", stage:" + action->stage +
                                                   ", exec_cmd: " + action->exec_cmd;
        actions.push_back(action);
    }
}

void getComponentActions(const KwComponent& component, SequenceMatch& key, sequence_t& out, bool forAllComponents)
{
    const request_mode_t request = component.getRequest();
    const bool eligible =
        request != REQ_REMOVE &&
        (request == REQ_INSTALL || (component.isInstalled() && (component.needsUpgrade() || forAllComponents)));
    if (eligible && !component.bootstrapper_actions.empty()) {
        key.operation = "install";
        Log::stream(Log::LEVEL_DEBUG, true)
            << component.name + ": get component specific actions for " + stageText(key);
        appendMatching(component.bootstrapper_actions, key, out);
    } else {
        Log::stream(Log::LEVEL_DEBUG, true)
            << component.name + ": do not run component specific actions for " + stageText(key);
    }
}

void getActionsSequence(const ComponentManager& manager, const SequenceMatch& key, sequence_t& out,
                        bool forAllComponents)
{
    // The change of each product: its build's actions run for the install when some component of it
    // is or stays installed, for the removal when its components are only removed.
    static const int PRODUCT_REMOVE = 1;
    static const int PRODUCT_INSTALL = 2;

    class SequenceGetter : public ComponentManager::Visitor {
    public:
        SequenceGetter(const SequenceMatch& key, sequence_t& out, bool forAllComponents)
            : key(key), out(out), forAllComponents(forAllComponents)
        {
        }

        void visit(const boost::shared_ptr<KwComponent>& component) override
        {
            getComponentActions(*component, key, out, forAllComponents);
            if (component->willBeInstalled())
                products[component->getProductId()] = PRODUCT_INSTALL;
            else if (component->isToRemove()) {
                int& mode = products[component->getProductId()];
                if (mode != PRODUCT_INSTALL)
                    mode = PRODUCT_REMOVE;
            }
        }

        SequenceMatch key;
        sequence_t& out;
        bool forAllComponents;
        std::map<std::string, int> products;
    } getter(key, out, forAllComponents);

    const size_t first = out.size();
    manager.walk(getter);
    for (const auto& product : getter.products) {
        getter.key.operation = product.second == PRODUCT_INSTALL ? "install" : "remove";
        Log::stream(Log::LEVEL_DEBUG, true)
            << product.first + ": get build specific actions for " + stageText(getter.key);
        const boost::shared_ptr<KwComponent> base = manager.getBaseComponent(product.first);
        appendMatching(base->getBuild()->getActions(), getter.key, out);
    }
    std::stable_sort(out.begin() + first, out.end(),
                     [](const Action* a, const Action* b) { return a->sequence_order < b->sequence_order; });
}

bool executeActions(const sequence_t& actions)
{
    for (const Action* action : actions)
        if (!action->execute() && action->critical)
            return false;
    return true;
}

bool performActions(const ComponentManager& manager, const std::string& sequence, bool forAllComponents)
{
    SequenceMatch key{sequence, "execute", ""};
    sequence_t actions;
    getActionsSequence(manager, key, actions, forAllComponents);
    const bool result = executeActions(actions);

    // Undoing concerns only what this change itself touches.
    key.stage = result ? "commit" : "rollback";
    actions.clear();
    getActionsSequence(manager, key, actions, result && forAllComponents);
    executeActions(actions);
    return result;
}

bool performPkgsFailureActions(const ComponentManager& manager)
{
    const SequenceMatch key{"pkgs", "rollback", ""};
    sequence_t actions;
    getActionsSequence(manager, key, actions, false);
    return executeActions(actions);
}

bool performValidateActions(const boost::shared_ptr<KwComponent>& component)
{
    SequenceMatch key{"validate", "execute", ""};
    sequence_t actions;
    getComponentActions(*component, key, actions, false);
    return executeActions(actions);
}

}  // namespace Bootstrapper
