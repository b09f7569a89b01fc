#include "installer/KwRadioGroup.h"

#include <algorithm>
#include <sstream>

#include "common/Log.h"
#include "common/error.h"
#include "installer/ComponentsChangeset.h"

namespace {

// Internal errors keep the line numbers under which support knows them.
const int LINE_DEFAULT_OF_EMPTY_GROUP = 127;
const int LINE_NOTHING_TO_CHOOSE = 211;

void debug(const std::string& text)
{
    Log::stream(Log::LEVEL_DEBUG, true) << text;
}

// How far a mode ranks when the members' modes are combined.
int rank(KwComponent::install_mode_t mode)
{
    switch (mode) {
    case KwComponent::ERROR: return 0;
    case KwComponent::INSTALL: return 1;
    case KwComponent::UPGRADE: return 2;
    case KwComponent::UP2DATE: return 3;
    default: return -1;
    }
}

}  // namespace

KwRadioGroup::KwRadioGroup(const boost::shared_ptr<Build>& build_, const std::string& name_,
                           const std::string& description_)
    : KwGroup(build_, name_, description_)
{
}

KwRadioGroup::~KwRadioGroup()
{
    std::ostringstream line;
    line << "DEBUG: ~KwRadioGroup: " << name << " (" << static_cast<const void*>(this) << ")";
    debug(line.str());
    // Members may outlive the group: leave none pointing at it.
    for (const boost::shared_ptr<KwComponent>& member : members)
        if (member->getRadioGroup() == this)
            member->setRadioGroup(nullptr);
}

char KwRadioGroup::getStatusChar() const
{
    return hasSelected(nullptr) ? '*' : ' ';
}

bool KwRadioGroup::isEmpty() const
{
    return members.empty();
}

void KwRadioGroup::add(const boost::shared_ptr<KwComponent>& member)
{
    member->setRadioGroup(this);
    members.push_back(member);
}

void KwRadioGroup::addAllowedSwitch(const std::string& from, const std::string& to)
{
    allowed_switches.emplace_back(from, to);
}

boost::shared_ptr<KwComponent> KwRadioGroup::getSelected(const ComponentsChangeset* changeset) const
{
    const ComponentsChangeset* judge = ComponentsChangeset::orDefault(changeset);
    for (const boost::shared_ptr<KwComponent>& member : members)
        if (judge->willBeInstalled(member))
            return member;
    return boost::shared_ptr<KwComponent>();
}

bool KwRadioGroup::hasSelected(const ComponentsChangeset* changeset) const
{
    return getSelected(changeset) != nullptr;
}

boost::shared_ptr<KwComponent> KwRadioGroup::getDefault() const
{
    if (members.empty())
        throw internal_error(__FILE__, LINE_DEFAULT_OF_EMPTY_GROUP);
    for (const boost::shared_ptr<KwComponent>& member : members)
        if (member->name == default_name)
            return member;
    return members.front();
}

boost::shared_ptr<KwComponent> KwRadioGroup::getSelectedOrDefault(const ComponentsChangeset* changeset) const
{
    boost::shared_ptr<KwComponent> chosen = getSelected(changeset);
    if (!chosen)
        chosen = getDefault();
    if (!chosen)
        throw internal_error(__FILE__, LINE_NOTHING_TO_CHOOSE);
    return chosen;
}

KwComponent::install_mode_t KwRadioGroup::getInstallMode() const
{
    if (const boost::shared_ptr<KwComponent> selected = getSelected(nullptr))
        return selected->getInstallMode();
    const boost::shared_ptr<KwComponent> fallback = getDefault();
    if (fallback->name == default_name)
        return fallback->getInstallMode();
    KwComponent::install_mode_t highest = members.front()->getInstallMode();
    for (const boost::shared_ptr<KwComponent>& member : members) {
        const KwComponent::install_mode_t mode = member->getInstallMode();
        if (rank(mode) > rank(highest))
            highest = mode;
    }
    return highest;
}

void KwRadioGroup::drop_not_allowed_switches()
{
    if (!switch_rules)
        return;
    const auto installed = std::find_if(members.begin(), members.end(),
                                        [](const boost::shared_ptr<KwComponent>& m) { return m->isInstalled(); });
    const std::string from = installed == members.end() ? std::string() : (*installed)->name;
    debug("DEBUG: drop_not_allowed_switches: from=" + from);
    if (from.empty())
        return;
    const KwComponent* kept = installed->get();
    // Every removal starts the scan again from the first member.
    for (bool removed = true; removed;) {
        removed = false;
        for (members_t::iterator member = members.begin(); member != members.end(); ++member) {
            if (member->get() == kept)
                continue;
            const std::string& to = (*member)->name;
            debug("DEBUG: drop_not_allowed_switches: to=" + to);
            const bool allowed = std::find(allowed_switches.begin(), allowed_switches.end(),
                                           std::make_pair(from, to)) != allowed_switches.end();
            debug(std::string("DEBUG: drop_not_allowed_switches: allowed=") + (allowed ? "true" : "false"));
            if (allowed)
                continue;
            std::ostringstream line;
            line << "DEBUG: drop_not_allowed_switches: erase component " << static_cast<const void*>(member->get())
                 << " " << to;
            debug(line.str());
            (*member)->setRadioGroup(nullptr);
            members.erase(member);
            removed = true;
            break;
        }
    }
}
