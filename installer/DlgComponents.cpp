#include "installer/DlgComponents.h"

#include <memory>

#include <boost/algorithm/string/join.hpp>
#include <boost/make_shared.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/DlgMaker.h"
#include "installer/MarkNeedForRequired.h"

namespace {

// Support knows the internal errors of this file by these places.
const char* const SOURCE_NAME = "installer/DlgComponents";
const int LINE_UNRECOGNIZED_STATE = 249;
const int LINE_STATUS_NOT_IN_ROW = 267;

bool mayBeRemoved(const KwComponent& component)
{
    return component.getBuild()->getUninstallSupport() && component.uninstall_support;
}

// Each name replaced by the description of the first component of that name in the changeset, when
// it has one.
std::string describedList(const std::vector<std::string>& names, const ComponentsChangeset& changeset)
{
    std::vector<std::string> shown;
    for (const std::string& name : names) {
        std::string text = name;
        for (const auto& entry : changeset.requests) {
            if (entry.first->name == name) {
                if (!entry.first->getDescription().empty())
                    text = entry.first->getDescription();
                break;
            }
        }
        shown.push_back(text);
    }
    return boost::algorithm::join(shown, ", ");
}

void showMessage(DlgMaker& maker, const std::string& text)
{
    std::unique_ptr<Dialog>(maker.makeMessage(text))->run();
}

}  // namespace

ChangeState::row_t ChangeState::transitions[3];

DlgComponents::DlgComponents(ComponentManager* manager_) : manager(manager_)
{
    const boost::shared_ptr<KwComponent> base = manager->getBaseComponent("");
    if (base && base->getInstallMode() == KwComponent::INSTALL)
        manager->markBaseComponent();
    ComponentManager::MarkNeedForRequired required(manager);
    manager->walk(required);
}

void DlgComponents::changeState(comp_cptr_t component)
{
    const std::unique_ptr<ChangeState> current(ChangeState::create(ChangeState::rowOf(component->getInstallMode()),
                                                                   component->getStatusChar(), component, false));
    const std::unique_ptr<ChangeState> following(ChangeState::create(current->row, current->status, component, true));
    following->apply(manager);
}

bool DlgComponents::confirmChanges(const ComponentsChangeset& changeset)
{
    const std::unique_ptr<DlgMaker> maker(DlgMaker::create());
    Messages messages;
    if (!changeset.conflictNames.empty()) {
        showMessage(*maker, messages.get("components_group_deny_conflict") + "\n" +
                                boost::algorithm::join(changeset.getConflictNames(), ", ") + "\n" +
                                messages.get("components_group_deny_conflict_suggestion") + "\n");
        return false;
    }
    const std::string install = describedList(changeset.getImplicitInstallNames(), changeset);
    const std::string remove = describedList(changeset.getImplicitRemoveNames(), changeset);
    const std::string deselect = describedList(changeset.getImplicitLeaveNames(), changeset);
    if (install.empty() && remove.empty() && deselect.empty())
        return true;

    const std::vector<comp_cptr_t> denied = changeset.getDeniedImplicitRemovals();
    if (!denied.empty()) {
        std::vector<std::string> named;
        for (const comp_cptr_t& component : denied)
            named.push_back(component->getDescription() + " (" + component->name + ")");
        showMessage(*maker, messages.get("components_deny_implicit_remove") + "\n" +
                                boost::algorithm::join(named, ", ") + "\n");
        return false;
    }

    std::string question =
        messages.get(changeset.explicitNames.size() == 1 ? "components_toggle_also" : "components_group_toggle_also") +
        "\n";
    if (!install.empty())
        question += messages.get("components_install_also") + install + "\n";
    if (!remove.empty())
        question += messages.get("components_remove_also") + remove + "\n";
    if (!deselect.empty())
        question += messages.get("components_unmark_also") + deselect + "\n";
    question += "\n" + messages.get("components_install_remove_them");
    return std::unique_ptr<Dialog>(maker->makeYesNo(question))->run() == YES;
}

int ChangeState::rowOf(KwComponent::install_mode_t mode)
{
    switch (mode) {
    case KwComponent::UP2DATE: return 0;
    case KwComponent::UPGRADE: return 1;
    case KwComponent::INSTALL: return 2;
    default: return 3;
    }
}

ChangeState* ChangeState::create(int row, char status, comp_cptr_t component, bool next)
{
    if (row == 3 || status == '!')
        return new ChangeStateInvalid(row, status, component);
    if (transitions[0].empty() && transitions[1].empty() && transitions[2].empty()) {
        // Each entry its own instantiator, the two removals included.
        transitions[0] = {{'=', boost::make_shared<Instantiator<ChangeStateLeaveInstalled>>()},
                          {'X', boost::make_shared<Instantiator<ChangeStateRemove>>()}};
        transitions[1] = {{'*', boost::make_shared<Instantiator<ChangeStateUpdate>>()},
                          {' ', boost::make_shared<Instantiator<ChangeStateNoUpdate>>()},
                          {'X', boost::make_shared<Instantiator<ChangeStateRemove>>()}};
        transitions[2] = {{' ', boost::make_shared<Instantiator<ChangeStateLeaveNotInstalled>>()},
                          {'*', boost::make_shared<Instantiator<ChangeStateInstall>>()}};
    }
    const row_t& entries = transitions[row];
    size_t at = 0;
    while (at < entries.size() && entries[at].first != status)
        ++at;
    if (at == entries.size())
        throw internal_error(SOURCE_NAME, LINE_STATUS_NOT_IN_ROW);
    if (!next)
        return entries[at].second->instantiate(row, status, component);

    at = (at + 1) % entries.size();
    if (entries[at].first == 'X' && !mayBeRemoved(*component))
        at = (at + 1) % entries.size();
    if (entries[at].first == status)
        return new ChangeStateInvalid(row, status, component);
    return entries[at].second->instantiate(row, status, component);
}

void ChangeState::applyRequest(ComponentManager* manager, request_mode_t request)
{
    ComponentsChangeset changeset;
    changeset.requests[component] = request;
    if (!manager->resolveComponents(&changeset))
        throw stateChangeDependenciesError(*component);
    if (DlgComponents::confirmChanges(changeset))
        manager->applyChangeset(&changeset);
}

void ChangeStateInvalid::apply(ComponentManager*)
{
    Messages messages;
    if (row == 3 || status == '!')
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_comp_notavail"), component->getFullName());
    if (!component->getBuild()->getUninstallSupport())
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE)
            << format_message(messages.get("err_comp_instalr"), component->getDescription());
    if (status == '=' && !component->uninstall_support)
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE)
            << format_message(messages.get("err_comp_uninstall_not_supported"), component->getDescription());
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "Warning: components state machine reached ChangeStateInvalid with unrecognized state";
    throw internal_error(SOURCE_NAME, LINE_UNRECOGNIZED_STATE);
}
