#include "installer/TextDlgComponents.h"

#include <iomanip>
#include <iostream>

#include <boost/pointer_cast.hpp>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/Build.h"
#include "installer/BuildManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "installer/MarkComponentsForUpgrade.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "installer/SelectedCounter.h"

namespace {

// Support knows the internal errors of this file by these places.
const char* const SOURCE_NAME = "installer/TextDlgComponents";
const int LINE_NO_SELECTED_RELEASE = 36;
const int LINE_NO_OFFERED_PRODUCT = 115;
const int LINE_UNKNOWN_NODE = 318;

// "N of M components selected" for the counts of one group of a product ("": the top level).
std::string selectedText(const ComponentManager& manager, const std::string& productId, const std::string& group)
{
    ComponentManager::SelectedCounter counter(productId);
    manager.walk(counter);
    const auto found = counter.getCounts().find(group);
    const std::pair<int, int> counts = found == counter.getCounts().end() ? std::make_pair(0, 0) : found->second;
    return format_message(Messages().get("components_page_num_selected"), counts.first, counts.second);
}

// The number of a component line, right-aligned in a field of two.
std::ostream& numbered(int& counter)
{
    return std::cout << std::setw(2) << counter++;
}

}  // namespace

TextDlgComponents::TextDlgComponents(ComponentManager* manager_, BuildManager* builds_)
    : DlgComponents(manager_), builds(builds_)
{
    for (const boost::shared_ptr<Release>& release : builds->getReleases(true)) {
        if (!release->is_selected())
            continue;
        for (const boost::shared_ptr<Build>& build : release->get_builds())
            uninstallSupport = uninstallSupport || build->getUninstallSupport();
        productNames.emplace_back(release->prod()->id(), release->prod()->name());
    }
    if (productNames.empty())
        throw internal_error(SOURCE_NAME, LINE_NO_SELECTED_RELEASE);
    currentProduct = productNames.front().first;
    ComponentManager::MarkComponentsForUpgrade upgrades({});
    manager->walk(upgrades);
    upgrades.apply(*manager);
}

const ComponentManager::nodes_t& TextDlgComponents::level() const
{
    if (atTopLevel())
        return manager->roots;
    return boost::static_pointer_cast<KwSubGroup>(openGroups.back())->children;
}

TextDlgComponents::productNames_t TextDlgComponents::offeredProducts() const
{
    productNames_t offered;
    for (const auto& entry : productNames)
        if (products.count(entry.first))
            offered.push_back(entry);
    return offered;
}

bool TextDlgComponents::isListed(const KwCompNode& node) const
{
    if (node.getProductId() != currentProduct)
        return false;
    const KwComponent* component = dynamic_cast<const KwComponent*>(&node);
    return !component || component->isShown();
}

bool TextDlgComponents::hasSubGroups(ComponentManager::nodes_t::const_iterator first,
                                     ComponentManager::nodes_t::const_iterator last)
{
    for (; first != last; ++first)
        if (dynamic_cast<const KwSubGroup*>(first->get()))
            return true;
    return false;
}

void TextDlgComponents::showNodes(ComponentManager::nodes_t::const_iterator first,
                                  ComponentManager::nodes_t::const_iterator last, int& counter)
{
    for (; first != last; ++first) {
        const KwCompNode& node = **first;
        if (!isListed(node))
            continue;
        if (const KwRadioGroup* radio = dynamic_cast<const KwRadioGroup*>(&node)) {
            std::cout << "\n  " << radio->getDescription() << "\n";
            for (const boost::shared_ptr<KwComponent>& member : radio->members)
                if (isListed(*member))
                    numbered(counter) << ". (" << member->getStatusChar() << ") " << member->getDescription() << "\n";
            std::cout << "\n";
        } else if (const KwSubGroup* group = dynamic_cast<const KwSubGroup*>(&node)) {
            numbered(counter) << ". [" << group->getStatusChar() << "] <+> " << group->getDescription() << " // "
                              << selectedText(*manager, currentProduct, group->name) << "\n";
        } else if (const KwComponent* component = dynamic_cast<const KwComponent*>(&node)) {
            if (component->isRequired())
                numbered(counter) << ".  *  " << component->getDescription() << "\n";
            else
                numbered(counter) << ". [" << component->getStatusChar() << "] " << component->getDescription() << "\n";
        } else {
            throw internal_error(SOURCE_NAME, LINE_UNKNOWN_NODE);
        }
    }
}

void TextDlgComponents::show()
{
    Messages messages;
    int counter = 1;
    if (atTopLevel()) {
        std::string shownName;  // of the current product
        const productNames_t offered = offeredProducts();
        if (products.size() > 1) {
            showHeader(messages.get("components_page_hdr"));
            std::cout << messages.get("components_page_body1") << "\n\n";
            for (const auto& entry : offered) {
                const bool current = entry.first == currentProduct;
                std::cout << counter++ << ". (" << (current ? '*' : ' ') << ") " << entry.second << "  ........ "
                          << selectedText(*manager, entry.first, "") << "\n";
                if (current)
                    shownName = entry.second;
            }
        } else {
            if (offered.empty())
                throw internal_error(SOURCE_NAME, LINE_NO_OFFERED_PRODUCT);
            showHeader(messages.get("components_page_hdr1") + offered.front().second);
            std::cout << " " << selectedText(*manager, offered.front().first, "") << "\n";
            shownName = offered.front().second;
        }
        std::cout << "\n" << format_message(messages.get("components_page_body2"), shownName) << "\n\n";
    } else {
        showHeader(messages.get("components_page_hdr") + " / " +
                   boost::static_pointer_cast<KwGroup>(openGroups.back())->name);
        std::cout << messages.get("components_page_body3") << "\n";
    }
    const ComponentManager::nodes_t& nodes = level();
    showNodes(nodes.begin(), nodes.end(), counter);
    lineCount = counter - 1;
    std::cout << "\n"
              << messages.get(hasSubGroups(nodes.begin(), nodes.end()) ? "components_page_bottom_toggle_groups"
                                                                       : "components_page_bottom_toggle_components")
              << "\n\n";
    std::cout << messages.get("wizard_legend_header") << "\n";
    if (atTopLevel())
        std::cout << messages.get("wizard_legend_f_forward") << "\n";
    for (const char* key :
         {"wizard_legend_b_back", "wizard_legend_q_quit", "wizard_legend_a_select_all", "wizard_legend_d_deselect_all"})
        std::cout << messages.get(key) << "\n";
    std::cout << "\n" << messages.get("wizard_prompt_action_or_number");
}

bool TextDlgComponents::selectNumber(int n)
{
    int number = 0;
    if (atTopLevel() && products.size() > 1) {
        for (const auto& entry : offeredProducts()) {
            if (++number == n) {
                currentProduct = entry.first;
                return true;
            }
        }
    }
    for (const boost::shared_ptr<KwCompNode>& node : level()) {
        if (!isListed(*node))
            continue;
        if (const KwRadioGroup* radio = dynamic_cast<const KwRadioGroup*>(node.get())) {
            for (const boost::shared_ptr<KwComponent>& member : radio->members) {
                if (isListed(*member) && ++number == n) {
                    changeState(member);
                    return true;
                }
            }
        } else if (dynamic_cast<const KwSubGroup*>(node.get())) {
            if (++number == n) {
                openGroups.push_back(node);
                return true;
            }
        } else if (const boost::shared_ptr<KwComponent> component = boost::dynamic_pointer_cast<KwComponent>(node)) {
            if (++number == n) {
                changeState(component);
                return true;
            }
        } else {
            throw internal_error(SOURCE_NAME, LINE_UNKNOWN_NODE);
        }
    }
    return false;
}

bool TextDlgComponents::canLeave()
{
    if (manager->isAnySelected())
        return true;
    showMessage(Messages().get("components_atleast_one"));
    return false;
}

void TextDlgComponents::markLevel(request_mode_t request)
{
    ComponentsChangeset changeset;
    const ComponentManager::nodes_t& nodes = level();
    ComponentsChangeset::MarkSubtree(&changeset, currentProduct, request, true, true).mark(nodes.begin(), nodes.end());
    // A conflict shows in the confirmation, which then refuses the change.
    manager->resolveComponents(&changeset);
    if (confirmChanges(changeset))
        manager->applyChangeset(&changeset);
}

DialogResult TextDlgComponents::run()
{
    openGroups.clear();
    currentProduct = products.empty() ? std::string() : *products.begin();
    if (manager->isAllInstalled() && !uninstallSupport) {
        std::cout << "\n" << Messages().get("components_allready_installed") << "\n";
        return QUIT;
    }
    show();
    for (;;) {
        const bool top = atTopLevel();
        const Answer answer = askAction(choiceList(top ? "F/b/q/a/d" : "B/q/a/d", lineCount), top ? "F" : "B");
        if (isNumber(answer)) {
            if (selectNumber(number(answer))) {
                show();
                continue;
            }
        } else if (isLetter(answer)) {
            switch (letter(answer)) {
            case 'A':
                markLevel(REQ_INSTALL);
                show();
                continue;
            case 'D':
                markLevel(REQ_LEAVE);
                show();
                continue;
            case 'B':
            case 'P':
                if (top)
                    return BACK;
                openGroups.pop_back();
                show();
                continue;
            case 'F':
            case 'N':
                if (!top)
                    break;
                if (canLeave())
                    return FORWARD;
                show();
                continue;
            case 'Q': return QUIT;
            }
        }
        std::cout << Messages().get("wizard_prompt_action_or_number_retry");
    }
}
