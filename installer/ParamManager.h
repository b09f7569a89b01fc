#ifndef KW_INSTALLER_PARAMMANAGER_H
#define KW_INSTALLER_PARAMMANAGER_H

#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/tinybind.h"
#include "installer/Param.h"
#include "installer/SubParams.h"

class ComponentManager;
class KwComponent;

// The component settings of one run: the settings the build files define, the answers loaded from
// the saved settings and the command line, the parameter files written for the installation. The flow
// that makes it owns it; its end saves the answers and removes the parameter files.
class ParamManager {
public:
    // A consumer of a walk over the settings (see walk()).
    class Visitor {
    public:
        virtual ~Visitor();
        virtual void begin() {}
        virtual void visit(param_ptr_t setting) = 0;
        virtual void enterSubParams(boost::shared_ptr<SubParams>) {}
        virtual void enterBranch(boost::shared_ptr<SubParams>, const std::string& /*branch*/) {}
        virtual void leaveBranch(boost::shared_ptr<SubParams>, const std::string& /*branch*/) {}
        virtual void leaveSubParams(boost::shared_ptr<SubParams>) {}
        virtual void finish() {}
    };

    class ParamLoader;
    class ParamFileSaver;
    class ParamFileExport;

    // Becomes the current manager.
    ParamManager();
    // Saves the answers, then removes the exported parameter files; never throws.
    ~ParamManager();
    ParamManager(const ParamManager&) = delete;
    ParamManager& operator=(const ParamManager&) = delete;

    // The manager made last and not yet ended, or null. Default expansion finds other settings here.
    static ParamManager* current();

    // The settings of a component's "settings" element, each child in order.
    void createParams(const boost::shared_ptr<KwComponent>& component, const tinybind::element& settings);
    // One "group" or "setting" element, hung into the parent's branch or, without a parent, appended
    // to the top-level settings; then its nested elements. Settings made before an error stay.
    void create(const boost::shared_ptr<KwComponent>& component, const tinybind::element& element,
                const boost::shared_ptr<SubParams>& parent, const std::string& branch);
    // The setting of one "setting" element, of the class its type names.
    param_ptr_t createSetting(const boost::shared_ptr<KwComponent>& component, const tinybind::element& element);
    // The text of the child elements of that name: the first is the fall-back, the last in the
    // current language wins; "" without one.
    static std::string get_localized_text_from_subnode(const tinybind::element& element, const std::string& name);

    // Calls the visitor over the settings in order, descending into the branch of a set value, or
    // into every branch while unset. With a start setting, callbacks begin at it (its enclosing
    // settings still get their leave callbacks). Editable only: settings whose owners are all to be
    // installed and none installed already.
    void walk(Visitor& visitor, const param_ptr_t& start = param_ptr_t(), bool editable_only = false);

    // The selection is settled; nothing to prepare.
    void onComponentsSelected(ComponentManager& manager);
    // Applies the per-product option values of the run's settings; refused values are one user error
    // after the whole walk, listing each.
    void loadFromOptions();
    // Writes the answers of this run to ".kitwright/options.ini" in the home directory; failures are
    // logged, the previous file stays.
    void saveToFile();
    // Writes each product's parameter file for the components' scripts and remembers the paths.
    void exportToFiles();

    // Components owning an editable top-level setting.
    int countComponentsWithParams() const;
    // Components whose editable top-level settings are all complete.
    int countCompleteComponents() const;

    // Variables, then references to top-level settings written as "[id]", replaced by their values.
    // The expanding setting's own references, and those of every setting whose default is being
    // expanded meanwhile, stay as written: a cycle of defaults ends there.
    std::string expandReferences(const std::string& text, const Param* expanding = nullptr) const;

    const params_t& getParams() const { return params; }
    const std::vector<std::string>& getExportedFiles() const { return exported_files; }

private:
    void walkSetting(Visitor& visitor, const param_ptr_t& setting, const param_ptr_t& start, bool& active);
    // The filter of the editable walk and of the counts.
    bool isEditable(const param_ptr_t& setting) const;
    // The path of options.ini, made of the home directory.
    static std::string optionsIniPath();

    params_t params;                          // the top-level settings, in definition order
    std::vector<std::string> exported_files;  // the parameter files of the last export
    mutable std::set<const Param*> expanding_defaults;
};

#endif
