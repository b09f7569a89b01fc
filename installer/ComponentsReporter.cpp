#include "installer/ComponentsReporter.h"

#include <tinyxml.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "installer/Options.h"
#include "installer/ParamBool.h"
#include "installer/ParamEnum.h"
#include "installer/ParamHidden.h"
#include "installer/ParamPassword.h"

namespace {

const char* const GROUP_ID = "__SUBGROUP";

bool upgradableOnly()
{
    return Options::instance().command == Options::SHOW_UPGRADABLE_COMPONENTS;
}

// One line per component, each followed by its settings when they are asked for.
class TextComponentsReporter : public ComponentManager::Visitor {
public:
    TextComponentsReporter(std::ostream& out_, checked_pointer<ParamManager> params_) : out(out_), params(params_) {}

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        if (upgradableOnly() && component->getInstallMode() != KwComponent::UPGRADE)
            return;
        out << "  " << pad_right(component->name, 18) << "[" << component->getInstallModeName() << "] - "
            << component->getDescription() << "\n";
        if (Options::instance().showOptions) {
            ComponentsReporter::OptionsPrinter printer(component, out);
            params->walk(printer);
            printed += printer.count();
        }
    }

    // The note goes to the log: the reply itself has nothing to say about settings.
    void finish() override
    {
        if (Options::instance().showOptions && printed == 0)
            Log::stream(Log::LEVEL_ERROR, true) << Messages().get("comps_no_options");
    }

private:
    std::ostream& out;
    checked_pointer<ParamManager> params;
    int printed = 0;
};

// Fills the "components" element of one release.
class CompNodeInserter : public ComponentManager::Visitor {
public:
    CompNodeInserter(TiXmlElement* list_, const Release& release_) : list(list_), release(release_) {}

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        const boost::shared_ptr<Release>& owner = component->getBuild()->getParent();
        if (!owner || owner->get_id() != release.get_id())
            return;
        if (upgradableOnly() && component->getInstallMode() != KwComponent::UPGRADE)
            return;
        std::string classes;
        for (const std::string& name : component->classes)
            classes += (classes.empty() ? "" : ",") + name;
        TiXmlElement* element = new TiXmlElement("component");
        element->SetAttribute("id", component->name);
        element->SetAttribute("classes", classes);
        element->SetAttribute("action", component->getInstallModeName());
        element->SetAttribute("serverbuildtime", std::to_string(component->getAvailableBuildTime()));
        element->SetAttribute("localbuildtime", std::to_string(component->getInstalledBuildTime()));
        element->SetAttribute("serverversion", component->getAvailableVersion());
        element->SetAttribute("localversion", component->getInstalledVersion());
        element->SetAttribute("kernelupdate", "false");
        if (component->isRequired())
            element->SetAttribute("required", "true");
        tinybind::add_text_child(element, "description", component->getDescription());
        TiXmlElement* dependencies = new TiXmlElement("dependencies");
        addDependencies(dependencies, component->hardwired_with, "hardwired");
        addDependencies(dependencies, component->requirements, "required");
        addDependencies(dependencies, component->conflicts, "conflict");
        element->LinkEndChild(dependencies);
        list->LinkEndChild(element);
        if (Options::instance().showOptions)
            throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
                << "ComponentsReporter: --show-options with --enable-xml-output is not implemented.";
    }

private:
    static void addDependencies(TiXmlElement* dependencies, const BuildInfFile::names_t& names, const char* type)
    {
        for (const std::string& name : names) {
            TiXmlElement* dependency = new TiXmlElement("dependency");
            dependency->SetAttribute("id", name);
            dependency->SetAttribute("type", type);
            dependencies->LinkEndChild(dependency);
        }
    }

    TiXmlElement* list;
    const Release& release;
};

}  // namespace

ComponentsReporter::ComponentsReporter(Repository* repository_, const BuildManager* catalogue_,
                                       const ComponentManager* components_, ParamManager* params_)
    : Reporter(0), repository(repository_), catalogue(catalogue_), components(components_), params(params_)
{
}

std::ostream& ComponentsReporter::put(std::ostream& out) const
{
    return xmlOutput ? putXmlReleases(out) : putText(out);
}

std::ostream& ComponentsReporter::putText(std::ostream& out) const
{
    TextComponentsReporter lines(out, params);
    components->walk(lines);
    return out;
}

std::ostream& ComponentsReporter::putXmlReleases(std::ostream& out) const
{
    TiXmlElement releases("releases");
    for (const auto& release : catalogue->getReleases(false)) {
        if (!release->is_selected())
            continue;
        TiXmlElement* element = new TiXmlElement("release");
        element->SetAttribute("id", release->get_id());
        element->SetAttribute("version", release->get_version().getVersionString());
        tinybind::add_text_child(element, "description", release->get_name());
        TiXmlElement* list = new TiXmlElement("components");
        element->LinkEndChild(list);
        // Owned by the document from here, so that an error of the walk loses nothing.
        releases.LinkEndChild(element);
        CompNodeInserter inserter(list, *release);
        components->walk(inserter);
    }
    return putXml(out, &releases);
}

ComponentsReporter::OptionsPrinter::OptionsPrinter(const boost::shared_ptr<KwComponent>& component_, std::ostream& out_)
    : component(component_), out(out_)
{
}

void ComponentsReporter::OptionsPrinter::visit(param_ptr_t setting)
{
    inComponent = setting->getComponents().front().get() == component.get();
    if (!inComponent || setting->getId() == GROUP_ID || dynamic_cast<const ParamHidden*>(setting.get()))
        return;
    const std::string margin(indent, ' ');
    out << margin << "Option: " << setting->getId() << " - " << setting->getDescription() << "\n";
    if (const ParamEnum* choices = dynamic_cast<const ParamEnum*>(setting.get()))
        for (const auto& choice : choices->getChoices())
            out << margin << "  " << choice.first << " - " << choice.second << "\n";
    printValue(*setting);
    ++printed;
}

void ComponentsReporter::OptionsPrinter::enterBranch(boost::shared_ptr<SubParams> setting, const std::string& branch)
{
    if (!inComponent)
        return;
    const std::string margin(indent, ' ');
    if (setting->getId() == GROUP_ID)
        out << margin << "=== " << setting->getDescription() << " ===\n";
    else
        out << margin << "For variant '" << (dynamic_cast<const ParamBool*>(setting.get()) ? "yes" : branch)
            << "' following sub-options available:\n";
    indent += 2;
}

void ComponentsReporter::OptionsPrinter::leaveBranch(boost::shared_ptr<SubParams>, const std::string&)
{
    if (inComponent)
        indent -= 2;
}

void ComponentsReporter::OptionsPrinter::printValue(const Param& setting)
{
    std::string value;
    const char* label;
    if (setting.Param::isComplete()) {
        value = setting.getStoredValue();
        label = "Current: ";
    } else if (setting.hasDefault()) {
        value = setting.getDefault();
        label = "Default: ";
    } else {
        return;
    }
    if (dynamic_cast<const ParamBool*>(&setting)) {
        // A default is kept as the build file wrote it: any word the setting accepts reads as its answer.
        const int answer = ParamBool::truth(value);
        if (answer < 0)
            throw internal_error("installer/ComponentsReporter.cpp", 81);
        value = answer ? "yes" : "no";
    } else if (dynamic_cast<const ParamPassword*>(&setting)) {
        value = std::string(value.size(), '*');
    }
    out << std::string(indent, ' ') << "  " << label << value << "\n";
}
