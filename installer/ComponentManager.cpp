#include "installer/ComponentManager.h"

#include <algorithm>
#include <sstream>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "installer/Build.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_NO_ROOT_COMPONENT = 84;
const int LINE_UNKNOWN_NODE = 1106;
const int LINE_EMPTY_GROUP_NOT_EMPTY = 1437;

std::string address(const void* object)
{
    std::ostringstream out;
    out << object;
    return out.str();
}

void debug(const std::string& text)
{
    Log::stream(Log::LEVEL_DEBUG, true) << text;
}

void walkNode(const boost::shared_ptr<KwCompNode>& node, ComponentManager::Visitor& visitor)
{
    if (const boost::shared_ptr<KwComponent> component = boost::dynamic_pointer_cast<KwComponent>(node)) {
        visitor.visit(component);
    } else if (const boost::shared_ptr<KwRadioGroup> radio = boost::dynamic_pointer_cast<KwRadioGroup>(node)) {
        visitor.beginRadioGroup(radio);
        for (const boost::shared_ptr<KwComponent>& member : radio->members)
            visitor.visit(member);
        visitor.endRadioGroup(radio);
    } else if (const boost::shared_ptr<KwSubGroup> sub = boost::dynamic_pointer_cast<KwSubGroup>(node)) {
        visitor.beginSubGroup(sub);
        for (const boost::shared_ptr<KwCompNode>& child : sub->children)
            walkNode(child, visitor);
        visitor.endSubGroup(sub);
    } else {
        throw internal_error(__FILE__, LINE_UNKNOWN_NODE);
    }
}

}  // namespace

void ComponentManager::Visitor::beginRadioGroup(const boost::shared_ptr<KwRadioGroup>&) {}
void ComponentManager::Visitor::beginSubGroup(const boost::shared_ptr<KwSubGroup>&) {}
void ComponentManager::Visitor::endSubGroup(const boost::shared_ptr<KwSubGroup>&) {}
void ComponentManager::Visitor::endRadioGroup(const boost::shared_ptr<KwRadioGroup>&) {}
void ComponentManager::Visitor::finish() {}
ComponentManager::Visitor::~Visitor() = default;

void ComponentManager::walk(Visitor& visitor) const
{
    for (const boost::shared_ptr<KwCompNode>& root : roots)
        walkNode(root, visitor);
    visitor.finish();
}

boost::shared_ptr<KwComponent> ComponentManager::getBaseComponent(const std::string& productId) const
{
    if (roots.empty())
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_binf3_nocomps2");
    boost::shared_ptr<KwComponent> first;
    for (const boost::shared_ptr<KwCompNode>& root : roots) {
        const boost::shared_ptr<KwComponent> component = boost::dynamic_pointer_cast<KwComponent>(root);
        if (!component || (!productId.empty() && component->getProductId() != productId))
            continue;
        if (component->name == "base")
            return component;
        if (!first)
            first = component;
    }
    if (!first)
        throw internal_error(__FILE__, LINE_NO_ROOT_COMPONENT);
    return first;
}

void ComponentManager::markBaseComponent()
{
    const boost::shared_ptr<KwComponent> base = getBaseComponent("");
    if (base->getBuild()->getUninstallSupport())
        return;
    base->requestInstall();
    base->markRequired();
}

void ComponentManager::find_and_edit(nodes_t& nodes, const boost::shared_ptr<KwCompNode>& target,
                                     const boost::shared_ptr<KwComponent>& replacement)
{
    for (nodes_t::iterator node = nodes.begin(); node != nodes.end(); ++node) {
        const KwGroup* group = dynamic_cast<const KwGroup*>(node->get());
        if (group && *node == target) {
            if (!replacement) {
                debug("DEBUG: find_and_edit: erase " + address(group));
                nodes.erase(node);
                throw done();
            }
            debug("DEBUG: find_and_edit: replace " + group->name + " (" + address(group) + ") with " +
                  replacement->name + " (" + address(replacement.get()) + ")");
            *node = replacement;
            replacement->setRadioGroup(nullptr);
            const nodes_t::iterator first_group = std::find_if(nodes.begin(), nodes.end(), [](const auto& n) {
                return dynamic_cast<const KwGroup*>(n.get()) != nullptr;
            });
            if (first_group != nodes.end())
                std::iter_swap(node, first_group);
            throw done();
        }
        if (KwSubGroup* sub = dynamic_cast<KwSubGroup*>(node->get()))
            find_and_edit(sub->children, target, replacement);
    }
}

void ComponentManager::edit_components_tree_remove(const boost::shared_ptr<KwCompNode>& target)
{
    try {
        find_and_edit(roots, target, boost::shared_ptr<KwComponent>());
    } catch (const done&) {
        return;
    }
    debug("DEBUG: edit_components_tree_remove: " + address(target.get()) + " not found!");
}

void ComponentManager::edit_components_tree_replace(const boost::shared_ptr<KwCompNode>& target,
                                                    const boost::shared_ptr<KwComponent>& component)
{
    try {
        find_and_edit(roots, target, component);
    } catch (const done&) {
        return;
    }
    debug("DEBUG: edit_components_tree_replace: " + address(target.get()) + " not found!");
}

ComponentManager::ShriveledRadioGroupsRemover::ShriveledRadioGroupsRemover(ComponentManager* manager_)
    : manager(manager_)
{
}

void ComponentManager::ShriveledRadioGroupsRemover::beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group)
{
    group->drop_not_allowed_switches();
    if (group->members.size() >= 2)
        return;
    if (group->members.size() == 1) {
        pending = group;
        return;
    }
    if (!group->isEmpty())
        throw internal_error(__FILE__, LINE_EMPTY_GROUP_NOT_EMPTY);
    empty_groups.push_back(group);
}

void ComponentManager::ShriveledRadioGroupsRemover::visit(const boost::shared_ptr<KwComponent>& component)
{
    if (!pending)
        return;
    lone_members.emplace_back(pending, component);
    pending.reset();
}

void ComponentManager::ShriveledRadioGroupsRemover::finish()
{
    for (const boost::shared_ptr<KwRadioGroup>& group : empty_groups)
        manager->edit_components_tree_remove(group);
    for (const auto& lone : lone_members) {
        const boost::shared_ptr<KwRadioGroup>& group = lone.first;
        const boost::shared_ptr<KwComponent>& member = lone.second;
        debug("rename component " + member->name + "(" + address(member.get()) + ") to " + group->name);
        manager->edit_components_tree_replace(group, member);
        member->name = group->name;
    }
}
