#ifndef KW_INSTALLER_COMPONENTSREPORTER_H
#define KW_INSTALLER_COMPONENTSREPORTER_H

#include <boost/shared_ptr.hpp>

#include "common/checked_pointer.h"
#include "installer/ParamManager.h"
#include "installer/Reporter.h"

class BuildManager;
class ComponentManager;
class KwComponent;
class Repository;

// The answer to the component queries: every component of the loaded releases with its state, or
// only those with an upgrade. With the run's showOptions the text form also lists each component's
// settings with their current or default values.
class ComponentsReporter : public Reporter {
public:
    // The repository is not read by the reply.
    ComponentsReporter(Repository* repository, const BuildManager* catalogue, const ComponentManager* components,
                       ParamManager* params);

    std::ostream& put(std::ostream& out) const override;

    // Prints the settings that one component owns first, nested under their branches.
    class OptionsPrinter : public ParamManager::Visitor {
    public:
        OptionsPrinter(const boost::shared_ptr<KwComponent>& component, std::ostream& out);

        void visit(param_ptr_t setting) override;
        void enterBranch(boost::shared_ptr<SubParams> setting, const std::string& branch) override;
        void leaveBranch(boost::shared_ptr<SubParams> setting, const std::string& branch) override;

        int count() const { return printed; }

    private:
        void printValue(const Param& setting);

        boost::shared_ptr<KwComponent> component;
        std::ostream& out;
        int indent = 4;
        bool inComponent = false;  // the setting visited last belongs to the component
        int printed = 0;
    };

private:
    std::ostream& putText(std::ostream& out) const;
    std::ostream& putXmlReleases(std::ostream& out) const;

    checked_pointer<Repository> repository;
    checked_pointer<const BuildManager> catalogue;
    checked_pointer<const ComponentManager> components;
    checked_pointer<ParamManager> params;
};

#endif
