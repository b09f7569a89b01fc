// The component manager's short questions about the current selection, each one walk of the forest.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/checked_pointer.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"

namespace {

// Calls a function for every component of the forest.
class EachComponent : public ComponentManager::Visitor {
public:
    explicit EachComponent(const std::function<void(const boost::shared_ptr<KwComponent>&)>& call_) : call(call_) {}

    void visit(const boost::shared_ptr<KwComponent>& component) override { call(component); }

private:
    std::function<void(const boost::shared_ptr<KwComponent>&)> call;
};

}  // namespace

bool ComponentManager::isAllInstalled() const
{
    bool all = true;
    EachComponent check(
        [&all](const boost::shared_ptr<KwComponent>& c) { all = all && c->getInstallMode() == KwComponent::UP2DATE; });
    walk(check);
    return all;
}

bool ComponentManager::isAnySelected() const
{
    bool any = false;
    EachComponent check([&any](const boost::shared_ptr<KwComponent>& c) {
        any = any || c->getRequest() == REQ_INSTALL || c->getRequest() == REQ_REMOVE;
    });
    walk(check);
    return any;
}

std::vector<std::string> ComponentManager::getSelection() const
{
    std::vector<std::string> selection;
    EachComponent collect([&selection](const boost::shared_ptr<KwComponent>& c) {
        if (c->getRequest() == REQ_INSTALL)
            selection.push_back(c->getFullName());
    });
    walk(collect);
    return selection;
}

bool ComponentManager::isSelectedFromRelease(const Release* release) const
{
    bool selected = false;
    EachComponent check([&selected, release](const boost::shared_ptr<KwComponent>& c) {
        selected = selected || (c->getRequest() == REQ_INSTALL && c->getBuild()->getParent().get() == release);
    });
    walk(check);
    return selected;
}

std::set<std::string> ComponentManager::getOsTemplateListToInstall() const
{
    std::set<std::string> templates;
    EachComponent collect([&templates](const boost::shared_ptr<KwComponent>& c) {
        if (c->getRequest() == REQ_INSTALL)
            templates.insert(c->yxtemplates.begin(), c->yxtemplates.end());
    });
    walk(collect);
    return templates;
}

void ComponentManager::getCurrentChanges(ComponentsChangeset* changeset) const
{
    if (!changeset)
        throw KW_NULL_POINTER_ERROR();
    EachComponent record([changeset](const boost::shared_ptr<KwComponent>& c) {
        if (c->getInstallMode() == KwComponent::ERROR)
            return;
        if (c->isToInstall())
            changeset->requests[c] = REQ_INSTALL;
        else if (c->isToRemove())
            changeset->requests[c] = REQ_REMOVE;
        else
            return;
        changeset->markExplicit(c);
    });
    walk(record);
}
