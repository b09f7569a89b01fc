// Resolution of a changeset's requests into the changes that follow from them, and the application
// of a changeset to the component tree.
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/Log.h"
#include "common/checked_pointer.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwRadioGroup.h"
#include "installer/MarkSpecifiedNamesComponents.h"

namespace {

void logLine(Log::level_t level, const std::string& text)
{
    Log::stream(level, true) << text;
}

std::string textForm(const ComponentsChangeset& changeset)
{
    std::ostringstream out;
    out << changeset;
    return out.str();
}

std::string checkLogAdvice()
{
    return "Check '" + Log::getFileName() + "' for more details.";
}

error dependenciesError(const std::string& text)
{
    return error(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_MAYBE) << text << checkLogAdvice();
}

// The state of one resolution: the components still to process, and those without an entry that a
// rule may still give one.
class Resolver : public ComponentManager::Visitor {
public:
    explicit Resolver(ComponentsChangeset* changeset_) : changeset(changeset_) {}

    // Every available component without an entry becomes a candidate of the rules.
    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        if (component->getInstallMode() == KwComponent::ERROR || changeset->requests.count(component))
            return;
        others[component] = true;
    }

    bool resolve();

private:
    void setRequest(const comp_cptr_t& component, request_mode_t request, bool markExplicit)
    {
        changeset->requests[component] = request;
        queue.push_back(component);
        if (markExplicit)
            changeset->markExplicit(component);
    }
    // At most one member of a radio group is installed: the others of cur's group go.
    void radioStep(const comp_cptr_t& cur);
    void rulesStep(const comp_cptr_t& cur);
    // The request that the first matching rule gives `other` for cur, REQ_UNSPECIFIED for none.
    request_mode_t ruleRequest(const comp_cptr_t& cur, const comp_cptr_t& other) const;
    bool conflicting(const comp_cptr_t& a, const comp_cptr_t& b) const;
    void checkConflicts();
    void logConflict(const comp_cptr_t& a, const comp_cptr_t& b) const;
    std::string initialChange() const;

    checked_pointer<ComponentsChangeset> changeset;
    bool conflict = false;
    std::deque<comp_cptr_t> queue;
    std::map<comp_cptr_t, bool> others;  // component -> still to check
    std::set<comp_cptr_t> initial;
};

bool Resolver::resolve()
{
    logLine(Log::LEVEL_DEBUG, "DEBUG: ComponentManager::resolveComponents() before resolve: " + textForm(*changeset));
    for (const auto& entry : changeset->requests) {
        queue.push_back(entry.first);
        initial.insert(entry.first);
        changeset->markExplicit(entry.first);
    }
    while (!queue.empty()) {
        const comp_cptr_t cur = queue.front();
        radioStep(cur);
        rulesStep(cur);
        queue.pop_front();
    }
    checkConflicts();
    logLine(Log::LEVEL_DEBUG, "DEBUG: ComponentManager::resolveComponents() after resolve: " + textForm(*changeset) +
                                  "; resolution " + (conflict ? "resulted in conflicts" : "succeeded"));
    return !conflict;
}

void Resolver::radioStep(const comp_cptr_t& cur)
{
    const KwRadioGroup* group = cur->getRadioGroup();
    if (!group || !changeset->willBeInstalled(cur))
        return;
    const bool curInitial = initial.count(cur) != 0;
    for (const boost::shared_ptr<KwComponent>& member : group->members) {
        if (member == cur)
            continue;
        // A member that stays by its own state goes only as part of what was asked for.
        setRequest(member, REQ_REMOVE, !member->willBeInstalled() || curInitial);
        const std::map<comp_cptr_t, bool>::iterator other = others.find(member);
        if (other != others.end())
            other->second = false;
    }
}

request_mode_t Resolver::ruleRequest(const comp_cptr_t& cur, const comp_cptr_t& o) const
{
    const ComponentsChangeset* cs = changeset.get();
    if (cs->willBeInstalled(cur) && cur->conflictsWith(o, cs) && o->willBeInstalled())
        return REQ_REMOVE;
    if (cs->willBeInstalledOlder(cur) && o->isRequiredByOlder(cur, cs) && o->willBeInstalledNew())
        return o->getInstallMode() == KwComponent::UPGRADE ? REQ_LEAVE : REQ_REMOVE;
    if (cs->willBeInstalledNew(cur) && cur->isRequiredByOlder(o, cs) && o->willBeInstalledOlder())
        return REQ_INSTALL;
    if (cs->willBeInstalled(cur) && cur->mustCheckWith(o, cs) && o->willBeNotInstalled())
        return REQ_INSTALL;
    if (cs->willBeNotInstalled(cur) && o->mustCheckWith(cur, cs) && o->willBeInstalled())
        return REQ_REMOVE;
    return REQ_UNSPECIFIED;
}

void Resolver::rulesStep(const comp_cptr_t& cur)
{
    for (auto& other : others) {
        if (!other.second)
            continue;
        const request_mode_t request = ruleRequest(cur, other.first);
        if (request == REQ_UNSPECIFIED)
            continue;
        setRequest(other.first, request, false);
        other.second = false;
    }
}

bool Resolver::conflicting(const comp_cptr_t& a, const comp_cptr_t& b) const
{
    const ComponentsChangeset* cs = changeset.get();
    if (a->mustCheckWith(b, cs) && cs->willBeInstalled(a) && cs->willBeNotInstalled(b))
        return true;
    if (b->mustCheckWith(a, cs) && cs->willBeInstalled(b) && cs->willBeNotInstalled(a))
        return true;
    if (a->conflictsWith(b, cs) && cs->willBeInstalled(a) && cs->willBeInstalled(b))
        return true;
    return a->getRadioGroup() && a->getRadioGroup() == b->getRadioGroup() && cs->willBeInstalled(a) &&
           cs->willBeInstalled(b);
}

void Resolver::checkConflicts()
{
    for (const auto& a : changeset->requests) {
        for (const auto& b : changeset->requests) {
            if (a.first == b.first || !conflicting(a.first, b.first))
                continue;
            changeset->conflictNames.insert(a.first->name);
            changeset->conflictNames.insert(b.first->name);
            conflict = true;
            logConflict(a.first, b.first);
            return;
        }
    }
}

void Resolver::logConflict(const comp_cptr_t& a, const comp_cptr_t& b) const
{
    const auto describe = [this](const comp_cptr_t& c) {
        return "'" + c->name + "' (will be installed: " + (changeset->willBeInstalled(c) ? "1" : "0") +
               ", request = " + requestName(changeset->getRequest(c)) + ")";
    };
    logLine(Log::LEVEL_VERBOSE, "Warning: found inter-component dependencies conflict between " + describe(a) +
                                    " and " + describe(b) + " while trying to resolve " + initialChange());
}

std::string Resolver::initialChange() const
{
    if (initial.empty())
        return "unknown (empty) initial component change";
    const comp_cptr_t& first = *initial.begin();
    std::string text = std::string(requestName(changeset->getRequest(first))) + " of component '" + first->name + "'";
    if (initial.size() > 1)
        text += " and " + std::to_string(initial.size() - 1) + " more change(s)";
    return text;
}

// The entries' names by request, for the components of one product.
struct ProductChanges {
    std::vector<std::string> remove;
    std::vector<std::string> install;
    std::vector<std::string> leave;
};

}  // namespace

bool ComponentManager::resolveComponents(ComponentsChangeset* changeset) const
{
    Resolver resolver(changeset);
    walk(resolver);
    return resolver.resolve();
}

void ComponentManager::applyChangeset(ComponentsChangeset* changeset_)
{
    const checked_pointer<ComponentsChangeset> changeset(changeset_);
    // A changeset may hold several products (an upgrade walks the whole forest, the current changes
    // cover the whole tree): each product's names are applied within that product.
    std::map<std::string, ProductChanges> byProduct;
    for (const auto& entry : changeset->requests) {
        ProductChanges& changes = byProduct[entry.first->getProductId()];
        if (entry.second == REQ_REMOVE)
            changes.remove.push_back(entry.first->name);
        else if (entry.second == REQ_INSTALL)
            changes.install.push_back(entry.first->name);
        else if (entry.second == REQ_LEAVE)
            changes.leave.push_back(entry.first->name);
    }
    for (const auto& product : byProduct) {
        MarkSpecifiedNamesComponents remove(this, product.first, product.second.remove, REQ_REMOVE);
        walk(remove);
        MarkSpecifiedNamesComponents install(this, product.first, product.second.install, REQ_INSTALL);
        walk(install);
        MarkSpecifiedNamesComponents leave(this, product.first, product.second.leave, REQ_LEAVE);
        walk(leave);
    }
}

void ComponentManager::resolveAndApply(ComponentsChangeset* changeset)
{
    if (!resolveComponents(changeset))
        throw dependenciesError(
            "Unable to resolve components request mode changeset due to inter-component "
            "dependencies. You possibly need to remove some of the conflicting components. ");
    applyChangeset(changeset);
}

error stateChangeDependenciesError(const KwComponent& component)
{
    return dependenciesError(
        format_message("Unable to change state for %s due to inter-component dependencies. ", component.getFullName()));
}

void ComponentManager::changeComponentState(comp_cptr_t component, request_mode_t request)
{
    ComponentsChangeset changeset;
    changeset.requests[component] = request;
    if (!resolveComponents(&changeset))
        throw stateChangeDependenciesError(*component);
    applyChangeset(&changeset);
}
