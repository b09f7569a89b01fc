#include "installer/SelectedCounter.h"

#include "common/error.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"

namespace {

// Internal errors keep the source and line numbers under which support knows them.
const char* const MANAGER_SOURCE = "installer/ComponentManager.cpp";
const int LINE_NO_OPEN_GROUP = 1530;
const int LINE_OTHER_GROUP_OPEN = 1531;
const int LINE_TOP_LEVEL_CLOSED = 1535;

}  // namespace

ComponentManager::SelectedCounter::SelectedCounter(const std::string& productId_) : productId(productId_), groups{""} {}

void ComponentManager::SelectedCounter::count(bool selected)
{
    std::pair<int, int>& counted = counts[groups.back()];
    counted.first += selected ? 1 : 0;
    ++counted.second;
}

void ComponentManager::SelectedCounter::visit(const boost::shared_ptr<KwComponent>& component)
{
    if (component->getProductId() != productId || inRadioGroup)
        return;
    if (component->hidden && !(component->show_installed_hidden && component->isInstalled()))
        return;
    count(component->willBeInstalled());
}

void ComponentManager::SelectedCounter::beginRadioGroup(const boost::shared_ptr<KwRadioGroup>&)
{
    inRadioGroup = true;
}

void ComponentManager::SelectedCounter::endRadioGroup(const boost::shared_ptr<KwRadioGroup>& group)
{
    inRadioGroup = false;
    count(group->hasSelected(nullptr));
}

void ComponentManager::SelectedCounter::beginSubGroup(const boost::shared_ptr<KwSubGroup>& group)
{
    groups.push_back(group->name);
}

void ComponentManager::SelectedCounter::endSubGroup(const boost::shared_ptr<KwSubGroup>& group)
{
    if (groups.empty())
        throw internal_error(MANAGER_SOURCE, LINE_NO_OPEN_GROUP);
    if (groups.back() != group->name)
        throw internal_error(MANAGER_SOURCE, LINE_OTHER_GROUP_OPEN);
    groups.pop_back();
    if (groups.empty())
        throw internal_error(MANAGER_SOURCE, LINE_TOP_LEVEL_CLOSED);
    const std::pair<int, int> closed = counts[group->name];
    std::pair<int, int>& enclosing = counts[groups.back()];
    enclosing.first += closed.first;
    enclosing.second += closed.second;
}
