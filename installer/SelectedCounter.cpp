#include "installer/SelectedCounter.h"

#include "common/error.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"

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
    if (!component->isShown())
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
    // Another product's radio group would show in this product's counts.
    if (group->getProductId() == productId)
        count(group->hasSelected(nullptr));
}

void ComponentManager::SelectedCounter::beginSubGroup(const boost::shared_ptr<KwSubGroup>& group)
{
    groups.push_back(group->name);
}

void ComponentManager::SelectedCounter::endSubGroup(const boost::shared_ptr<KwSubGroup>& group)
{
    if (groups.empty())
        throw KW_INTERNAL_ERROR();
    if (groups.back() != group->name)
        throw KW_INTERNAL_ERROR();
    groups.pop_back();
    if (groups.empty())
        throw KW_INTERNAL_ERROR();
    const std::pair<int, int> closed = counts[group->name];
    std::pair<int, int>& enclosing = counts[groups.back()];
    enclosing.first += closed.first;
    enclosing.second += closed.second;
}
