#ifndef KW_INSTALLER_KWRADIOGROUP_H
#define KW_INSTALLER_KWRADIOGROUP_H

#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "installer/KwComponent.h"
#include "installer/KwGroup.h"

class ComponentsChangeset;

// Alternative components, one of which is meant to be installed at a time. With switch rules, an
// installed member may only be exchanged for the members an allowed switch names.
class KwRadioGroup : public KwGroup {
public:
    typedef std::vector<boost::shared_ptr<KwComponent>> members_t;
    typedef std::vector<std::pair<std::string, std::string>> switches_t;  // (from, to)

    KwRadioGroup(const boost::shared_ptr<Build>& build, const std::string& name, const std::string& description);
    ~KwRadioGroup() override;

    // '*' when a member will be installed as the tree stands, else ' '.
    char getStatusChar() const override;
    bool isEmpty() const override;

    // Appends the member, which then points back to this group.
    void add(const boost::shared_ptr<KwComponent>& member);
    void addAllowedSwitch(const std::string& from, const std::string& to);

    // The first member, in order, that will be installed under the changeset (null: the default
    // one); empty when none will.
    boost::shared_ptr<KwComponent> getSelected(const ComponentsChangeset* changeset) const;
    bool hasSelected(const ComponentsChangeset* changeset) const;
    // The member named as default, else the first member.
    boost::shared_ptr<KwComponent> getDefault() const;
    boost::shared_ptr<KwComponent> getSelectedOrDefault(const ComponentsChangeset* changeset) const;
    // The selected member's mode, else the named default's, else the highest of the members' modes
    // in the order error, install, upgrade, up to date.
    KwComponent::install_mode_t getInstallMode() const;
    // With switch rules: lets go of every member that the installed member may not be switched to.
    void drop_not_allowed_switches();

    members_t members;
    std::string default_name;  // may name no member
    switches_t allowed_switches;
    bool switch_rules = false;
};

#endif
