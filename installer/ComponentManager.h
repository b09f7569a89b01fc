#ifndef KW_INSTALLER_COMPONENTMANAGER_H
#define KW_INSTALLER_COMPONENTMANAGER_H

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/Package.h"
#include "common/checked_pointer.h"
#include "installer/InstTypes.h"
#include "installer/KwComponent.h"

class ComponentsChangeset;
class KwCompNode;
class KwRadioGroup;
class KwSubGroup;
class Release;
class Repository;
class SystemSpecificConfigurator;

// Owns the component forest of the releases and addons the run has loaded, and the installation
// types of their products. The build loader fills both; the selection logic reaches every component
// through the manager, mostly by walking the forest with a visitor.
class ComponentManager {
public:
    typedef std::vector<boost::shared_ptr<KwCompNode>> nodes_t;

    // What a walk calls for each node. A visitor that changes the forest's structure collects the
    // changes and makes them in finish(), after the last node.
    class Visitor {
    public:
        virtual void visit(const boost::shared_ptr<KwComponent>& component) = 0;
        virtual void beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group);
        virtual void beginSubGroup(const boost::shared_ptr<KwSubGroup>& group);
        virtual void endSubGroup(const boost::shared_ptr<KwSubGroup>& group);
        virtual void endRadioGroup(const boost::shared_ptr<KwRadioGroup>& group);
        virtual void finish();
        virtual ~Visitor();
    };

    // Ends the search of find_and_edit once the target is edited.
    class done {};

    // The selection's visitors, each in a header of its own name.
    class MarkSpecifiedNamesComponents;
    class MarkComponentsForUpgrade;
    class MarkNeedForRequired;
    class SelectedCounter;

    // Drops the members that switch rules do not allow, then removes the radio groups left without
    // members and puts a lone member, under its group's name, in its group's place.
    class ShriveledRadioGroupsRemover : public Visitor {
    public:
        explicit ShriveledRadioGroupsRemover(ComponentManager* manager);

        void visit(const boost::shared_ptr<KwComponent>& component) override;
        void beginRadioGroup(const boost::shared_ptr<KwRadioGroup>& group) override;
        void finish() override;

    private:
        ComponentManager* manager;
        boost::shared_ptr<KwRadioGroup> pending;  // a one-member group whose member comes next
        std::vector<boost::shared_ptr<KwRadioGroup>> empty_groups;
        std::vector<std::pair<boost::shared_ptr<KwRadioGroup>, boost::shared_ptr<KwComponent>>> lone_members;
    };

    // Every root in order, depth first; finish() once at the end.
    void walk(Visitor& visitor) const;
    // The root component named "base" of the product (of any product for an empty id), else the
    // product's first root component.
    boost::shared_ptr<KwComponent> getBaseComponent(const std::string& productId) const;
    // Unless its build can be uninstalled, requests the base component for install and locks it.
    void markBaseComponent();
    // Appends the packages that the bootstrapper actions of the components to install need.
    void getBootstrapperPackagesToInstall(cpkgs_t& out, Repository* repository) const;
    // Appends the packages of the components to install, removal markers for the packages of the
    // components to remove, then the additional packages.
    void getPackagesToInstall(cpkgs_t& out, Repository* repository,
                              checked_pointer<SystemSpecificConfigurator> configurator) const;
    // Appends the repository's package of each wanted one unless the list has one of its name or
    // the system has it in the same or a newer version; registers it with the installation progress
    // for the component's release. The component may be null.
    static void addPackagesToInstall(const KwComponent* component, const cpkgs_t& wanted, Repository* repository,
                                     cpkgs_t& out);
    // Both only log when the group is not in the forest.
    void edit_components_tree_remove(const boost::shared_ptr<KwCompNode>& target);
    void edit_components_tree_replace(const boost::shared_ptr<KwCompNode>& target,
                                      const boost::shared_ptr<KwComponent>& component);
    // Removes the target group from the nodes or their sub-groups' children, or puts the replacement
    // in its place and swaps it with the first group of that list; throws done once edited.
    static void find_and_edit(nodes_t& nodes, const boost::shared_ptr<KwCompNode>& target,
                              const boost::shared_ptr<KwComponent>& replacement);

    // Extends the changeset by the requests that follow from its entries; false when two of its
    // entries conflict. The tree is left alone.
    bool resolveComponents(ComponentsChangeset* changeset) const;
    // Writes the changeset's requests into the tree through the components' request operations.
    void applyChangeset(ComponentsChangeset* changeset);
    // Applies the changeset once it is resolved; a conflict is an error and changes nothing.
    void resolveAndApply(ComponentsChangeset* changeset);
    void changeComponentState(comp_cptr_t component, request_mode_t request);
    // Writes the request on every component of the nodes (a radio group's selected or default
    // member), past the request operations' checks; only a required component keeps its request
    // against REQ_LEAVE. An empty product id matches every product.
    static void setRequestMode(nodes_t::const_iterator first, nodes_t::const_iterator last, request_mode_t request,
                               const std::string& productId, bool skipHidden);
    // Records the type for the product and requests its components.
    void selectByInstallationType(const std::string& typeName, const std::string& productId);
    void markAdditionalPackagesForUpgrade(const cpkgs_t& packages);
    // The names of what the component needs, directly or through what it reaches, that is neither
    // up to date nor requested for install yet; in the order found.
    std::vector<std::string> getComponentsForCheckWith(const boost::shared_ptr<KwComponent>& component) const;

    bool isAllInstalled() const;
    // Whether some component is requested for install or removal, available or not.
    bool isAnySelected() const;
    // The full names of the components requested for install, in walk order.
    std::vector<std::string> getSelection() const;
    bool isSelectedFromRelease(const Release* release) const;
    std::set<std::string> getOsTemplateListToInstall() const;
    // Records the installs and removals the tree holds now, as explicit changes.
    void getCurrentChanges(ComponentsChangeset* changeset) const;

    InstTypes instTypes;
    // The root nodes, in the order the build loader appended them.
    nodes_t roots;

    // Packages every install list receives.
    cpkgs_t additionalPackages;
    cpkgs_t additionalPackagesForUpgrade;
    // Product id -> the name of the installation type chosen for it.
    std::map<std::string, std::string> instTypeByProduct;
};

// The error of a change of the component's state that the inter-component dependencies do not allow.
error stateChangeDependenciesError(const KwComponent& component);

#endif
