// The changeset's text form and the operations that fill a changeset from outside the component
// manager: by names, and by a part of the forest.
#include <boost/algorithm/string/join.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "installer/Options.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_UNKNOWN_NODE = 141;

char requestSign(request_mode_t request)
{
    switch (request) {
    case REQ_LEAVE: return '=';
    case REQ_INSTALL: return '+';
    case REQ_REMOVE: return '~';
    default: return '?';
    }
}

// Records the request for one component, and its name as explicit when asked to.
void record(ComponentsChangeset& changeset, const boost::shared_ptr<KwComponent>& component, request_mode_t request,
            bool markExplicit)
{
    changeset.requests[component] = request;
    if (markExplicit)
        changeset.markExplicit(component);
}

// A named or selected radio group: every member for a leave or a removal, the chosen member for an
// install. `skipNew`: leave the group alone when the chosen member will be installed new anyway.
void recordGroup(ComponentsChangeset& changeset, const KwRadioGroup& group, request_mode_t request, bool markExplicit,
                 bool skipNew)
{
    if (request == REQ_LEAVE || request == REQ_REMOVE) {
        for (const boost::shared_ptr<KwComponent>& member : group.members)
            record(changeset, member, request, markExplicit);
    } else if (request == REQ_INSTALL) {
        const boost::shared_ptr<KwComponent> chosen = group.getSelectedOrDefault(&changeset);
        if (!skipNew || !changeset.willBeInstalledNew(chosen))
            record(changeset, chosen, request, markExplicit);
    }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const ComponentsChangeset& changeset)
{
    out << "ComponentsChangeset[";
    const char* separator = " ";
    for (const auto& entry : changeset.requests) {
        out << separator << (changeset.isExplicit(entry.first) ? "!" : "") << requestSign(entry.second)
            << entry.first->getProductId() << "/" << entry.first->name
            << (changeset.isConflict(entry.first) ? " (conflict)" : "");
        separator = ", ";
    }
    return out << " ] (! is explicit, = is leave, + is install, ~ is remove)";
}

ComponentsChangeset::MarkComponentsByName::MarkComponentsByName(ComponentsChangeset* changeset_,
                                                                const std::string& productId_,
                                                                const std::vector<std::string>& names,
                                                                request_mode_t request_, bool markExplicit_)
    : changeset(changeset_), productId(productId_), request(request_), markExplicit(markExplicit_),
      unfound(names.begin(), names.end())
{
}

bool ComponentsChangeset::MarkComponentsByName::takeName(const KwCompNode& node, const std::string& name)
{
    if (!productId.empty() && node.getProductId() != productId)
        return false;
    return unfound.erase(name) != 0;
}

void ComponentsChangeset::MarkComponentsByName::visit(const boost::shared_ptr<KwComponent>& component)
{
    if (takeName(*component, component->name))
        record(*changeset, component, request, markExplicit);
}

void ComponentsChangeset::MarkComponentsByName::beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group)
{
    if (takeName(*group, group->name))
        recordGroup(*changeset, *group, request, markExplicit, false);
}

void ComponentsChangeset::MarkComponentsByName::finish()
{
    if (unfound.empty())
        return;
    std::string line = productId.empty()
                           ? std::string("Warning: the following component(s) were not found: ")
                           : "Warning: the following component(s) were not found in product " + productId + ": ";
    for (const std::string& name : unfound)
        line += " '" + name + "'";
    Log::stream(Log::LEVEL_VERBOSE, true) << line;

    if (!Options::instance().strict || request != REQ_INSTALL)
        return;
    const std::string names = boost::algorithm::join(unfound, ", ");
    const std::string text =
        productId.empty()
            ? format_message(messages.get("err_comps_not_found") + messages.get("err_comps_not_found_use_list"), names)
            : format_message(messages.get("err_comps_not_found_in_prod") + messages.get("err_comps_not_found_use_list"),
                             productId, names);
    throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << text;
}

ComponentsChangeset::MarkSubtree::MarkSubtree(ComponentsChangeset* changeset_, const std::string& productId_,
                                              request_mode_t request_, bool skipHidden_, bool markExplicit_)
    : changeset(changeset_), productId(productId_), request(request_), markExplicit(markExplicit_),
      skipHidden(skipHidden_)
{
}

void ComponentsChangeset::MarkSubtree::mark(ComponentManager::nodes_t::const_iterator first,
                                            ComponentManager::nodes_t::const_iterator last)
{
    for (; first != last; ++first) {
        const boost::shared_ptr<KwCompNode>& node = *first;
        if (!productId.empty() && node->getProductId() != productId)
            continue;
        if (const KwSubGroup* sub = dynamic_cast<const KwSubGroup*>(node.get())) {
            mark(sub->children.begin(), sub->children.end());
        } else if (const KwRadioGroup* radio = dynamic_cast<const KwRadioGroup*>(node.get())) {
            recordGroup(*changeset, *radio, request, markExplicit, true);
        } else if (const boost::shared_ptr<KwComponent> component = boost::dynamic_pointer_cast<KwComponent>(node)) {
            if (skipHidden && !component->isShown())
                continue;
            record(*changeset, component, request, markExplicit);
        } else {
            throw internal_error(__FILE__, LINE_UNKNOWN_NODE);
        }
    }
}
