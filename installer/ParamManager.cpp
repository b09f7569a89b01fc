#include "installer/ParamManager.h"

#include <map>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Regexp.h"
#include "common/error.h"
#include "common/fileops.h"
#include "installer/KwComponent.h"
#include "installer/ParamBool.h"
#include "installer/ParamDomain.h"
#include "installer/ParamEmail.h"
#include "installer/ParamEnum.h"
#include "installer/ParamFloat.h"
#include "installer/ParamGroup.h"
#include "installer/ParamHidden.h"
#include "installer/ParamHostname.h"
#include "installer/ParamInteger.h"
#include "installer/ParamPassword.h"
#include "installer/ParamPath.h"
#include "installer/ParamStatic.h"
#include "installer/ParamString.h"
#include "installer/ParamUrl.h"
#include "installer/substitute_variables.h"

namespace {

ParamManager* current_manager = nullptr;

void log_line(Log::level_t level, const std::string& text)
{
    Log::stream(level, true) << text;
}

// The errors of a build file's settings that the loader passes on.
error config_error()
{
    return error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED);
}

// Whether the tag is one of the elements that make settings.
bool makes_setting(const std::string& tag)
{
    return tag == "group" || tag == "setting";
}

}  // namespace

ParamManager::Visitor::~Visitor() = default;

ParamManager::ParamManager()
{
    current_manager = this;
}

ParamManager::~ParamManager()
{
    // The end of every road out of the flow, also an exception's: nothing may escape from here.
    try {
        saveToFile();
    } catch (const error& e) {
        log_line(Log::LEVEL_ERROR, "ERROR: " + e.getText());
    } catch (const std::exception& e) {
        log_line(Log::LEVEL_ERROR, std::string("ERROR: ") + e.what());
    } catch (...) {
        log_line(Log::LEVEL_ERROR, "ERROR: saving the component settings failed");
    }
    for (const std::string& path : exported_files) {
        try {
            fileops::remove(path);
        } catch (const error& e) {
            log_line(Log::LEVEL_ERROR, e.getText());
        } catch (const std::exception& e) {
            log_line(Log::LEVEL_ERROR, e.what());
        } catch (...) {
            log_line(Log::LEVEL_ERROR, "ERROR: can't remove " + path);
        }
    }
    if (current_manager == this)
        current_manager = nullptr;
}

ParamManager* ParamManager::current()
{
    return current_manager;
}

void ParamManager::createParams(const boost::shared_ptr<KwComponent>& component, const tinybind::element& settings)
{
    for (tinybind::iterator child(settings), end; child != end; ++child)
        create(component, *child, boost::shared_ptr<SubParams>(), "");
}

void ParamManager::create(const boost::shared_ptr<KwComponent>& component, const tinybind::element& element,
                          const boost::shared_ptr<SubParams>& parent, const std::string& branch)
{
    const std::string tag = tinybind::get_tag(element);
    param_ptr_t setting;
    if (tag == "group")
        setting.reset(new ParamGroup(component, get_localized_text_from_subnode(element, "description")));
    else if (tag == "setting")
        setting = createSetting(component, element);
    else
        throw config_error() << ("Unsupported tag <" + tag + "> in config.");

    if (parent) {
        parent->addToBranch(branch, setting);
    } else {
        log_line(Log::LEVEL_DEBUG, "ParamManager::create: push back " + setting->getId());
        params.push_back(setting);
    }

    const boost::shared_ptr<SubParams> sub = boost::dynamic_pointer_cast<SubParams>(setting);
    if (!sub)
        return;
    const std::string type = tinybind::get_optional_attribute(element, "type");
    if (type == "enum") {
        for (tinybind::iterator choice(element, "choice"), end; choice != end; ++choice) {
            const std::string choice_id = tinybind::get_optional_attribute(*choice, "id");
            for (tinybind::iterator child(*choice), none; child != none; ++child)
                if (makes_setting(tinybind::get_tag(*child)))
                    create(component, *child, sub, choice_id);
        }
        return;
    }
    const std::string nested_branch = type == "boolean" ? "true" : "";
    for (tinybind::iterator child(element), end; child != end; ++child)
        if (makes_setting(tinybind::get_tag(*child)))
            create(component, *child, sub, nested_branch);
}

param_ptr_t ParamManager::createSetting(const boost::shared_ptr<KwComponent>& component,
                                        const tinybind::element& element)
{
    const std::string id = tinybind::get_optional_attribute(element, "id");
    const std::string type = tinybind::get_optional_attribute(element, "type");
    if (!Regexp("^[a-zA-Z0-9_-]+$", false).match(id.c_str()))
        throw config_error() << ("ERROR: invalid '<setting id=' in config: '" + id + "'");

    const std::string name = get_localized_text_from_subnode(element, "name");
    const std::string description = get_localized_text_from_subnode(element, "description");
    const std::string error_message = get_localized_text_from_subnode(element, "error-message");
    const auto attribute = [&element](const char* attribute_name) {
        return tinybind::get_optional_attribute(element, attribute_name);
    };

    param_ptr_t setting;
    if (type == "integer") {
        setting.reset(new ParamInteger(component, id, attribute("min"), attribute("max")));
    } else if (type == "boolean") {
        setting.reset(new ParamBool(component, id));
    } else if (type == "string") {
        setting.reset(
            new ParamString(component, id, attribute("min-length"), attribute("max-length"), attribute("regex")));
    } else if (type == "password") {
        setting.reset(
            new ParamPassword(component, id, attribute("min-length"), attribute("max-length"), attribute("regex")));
    } else if (type == "float") {
        setting.reset(new ParamFloat(component, id, attribute("min"), attribute("max")));
    } else if (type == "email") {
        setting.reset(new ParamEmail(component, id));
    } else if (type == "domain-name") {
        setting.reset(new ParamDomain(component, id));
    } else if (type == "host-name") {
        setting.reset(new ParamHostname(component, id));
    } else if (type == "static-text") {
        setting.reset(new ParamStatic(component, id));
    } else if (type == "hidden") {
        setting.reset(new ParamHidden(component, id));
    } else if (type == "enum") {
        ParamEnum::choices_t choices;
        for (tinybind::iterator choice(element, "choice"), end; choice != end; ++choice)
            choices.emplace_back(tinybind::get_optional_attribute(*choice, "id"),
                                 get_localized_text_from_subnode(*choice, "name"));
        const boost::shared_ptr<ParamEnum> choice_setting(new ParamEnum(component, id));
        choice_setting->setChoices(choices);
        setting = choice_setting;
    } else if (type == "path") {
        setting.reset(new ParamPath(component, id, tinybind::get_bool_attribute(element, "exists")));
    } else if (type == "url") {
        setting.reset(new ParamUrl(component, id));
    } else {
        throw config_error() << ("Unsupported 'setting type' in config: " + type);
    }
    setting->setTexts(name, description, error_message);

    const std::string behaviour = attribute("behaviour");
    if (behaviour == "secure") {
        setting->setBehaviour(Param::SECURE);
    } else if (behaviour == "detectable") {
        setting->setBehaviour(Param::DETECTABLE);
        // Detectable settings say how the value is read on the server; this program only requires it.
        tinybind::get_child(element, "read-setting-value");
    } else if (!behaviour.empty() && behaviour != "regular") {
        throw config_error() << ("Unsupported attribute 'behaviour' value " + behaviour);
    }

    if (element.node->Attribute("default-value"))
        setting->setDefault(attribute("default-value"));
    return setting;
}

std::string ParamManager::get_localized_text_from_subnode(const tinybind::element& element, const std::string& name)
{
    const std::string locale = Messages().getLocale();
    const std::string lang = locale.substr(0, locale.find('.'));
    log_line(Log::LEVEL_DEBUG, "DEBUG: ParamManager::get_localized_text_from_subnode. Find for lang=" + lang);
    std::string result;
    for (tinybind::iterator child(element, name), end; child != end; ++child) {
        const std::string text = tinybind::get_text(*child, false);
        if (result.empty())
            result = text;
        if (tinybind::get_optional_attribute(*child, "lang") == lang)
            result = text;
    }
    return result;
}

void ParamManager::walk(Visitor& visitor, const param_ptr_t& start, bool editable_only)
{
    bool active = !start;
    visitor.begin();
    for (const param_ptr_t& setting : params) {
        if (editable_only && !isEditable(setting))
            continue;
        if (setting == start)
            active = true;
        walkSetting(visitor, setting, start, active);
    }
    visitor.finish();
}

void ParamManager::walkSetting(Visitor& visitor, const param_ptr_t& setting, const param_ptr_t& start, bool& active)
{
    if (active)
        visitor.visit(setting);
    const boost::shared_ptr<SubParams> sub = boost::dynamic_pointer_cast<SubParams>(setting);
    if (!sub)
        return;
    if (active)
        visitor.enterSubParams(sub);
    // Chosen after the visit: a visitor that sets the value walks into the branch of the new value.
    std::vector<std::string> chosen;
    if (sub->Param::isComplete()) {
        if (sub->getBranches().count(sub->getStoredValue()))
            chosen.push_back(sub->getStoredValue());
    } else {
        for (const SubParams::branches_t::value_type& branch : sub->getBranches())
            chosen.push_back(branch.first);
    }
    for (const std::string& branch : chosen) {
        if (active)
            visitor.enterBranch(sub, branch);
        for (const param_ptr_t& nested : sub->getBranch(branch)) {
            if (nested == start)
                active = true;
            walkSetting(visitor, nested, start, active);
        }
        if (active)
            visitor.leaveBranch(sub, branch);
    }
    if (active)
        visitor.leaveSubParams(sub);
}

bool ParamManager::isEditable(const param_ptr_t& setting) const
{
    for (const boost::shared_ptr<KwComponent>& owner : setting->getComponents())
        if (!owner->isToInstall())
            return false;
    return !setting->is_readonly();
}

void ParamManager::onComponentsSelected(ComponentManager&) {}

int ParamManager::countComponentsWithParams() const
{
    std::set<boost::shared_ptr<KwComponent>> owners;
    for (const param_ptr_t& setting : params)
        if (isEditable(setting))
            owners.insert(setting->getComponents().begin(), setting->getComponents().end());
    return static_cast<int>(owners.size());
}

int ParamManager::countCompleteComponents() const
{
    // One incomplete setting outweighs any number of complete ones that a component may have.
    std::map<boost::shared_ptr<KwComponent>, int> scores;
    for (const param_ptr_t& setting : params) {
        if (!isEditable(setting))
            continue;
        const int score = setting->isComplete() ? 1 : -100;
        for (const boost::shared_ptr<KwComponent>& owner : setting->getComponents())
            scores[owner] += score;
    }
    int complete = 0;
    for (const auto& entry : scores)
        if (entry.second > 0)
            ++complete;
    return complete;
}

std::string ParamManager::expandReferences(const std::string& text_, const Param* expanding) const
{
    // Marks the setting whose default is expanded until the expansion ends, also by an exception.
    struct Mark {
        std::set<const Param*>& marks;
        const Param* marked;
        ~Mark()
        {
            if (marked)
                marks.erase(marked);
        }
    } mark{expanding_defaults, expanding && expanding_defaults.insert(expanding).second ? expanding : nullptr};

    std::string text = text_;
    substitute_variables(text);
    std::string::size_type open = text.find('[');
    while (open != std::string::npos) {
        const std::string::size_type close = text.find(']', open);
        if (close == std::string::npos)
            break;
        const std::string name = text.substr(open + 1, close - open - 1);
        param_ptr_t referred;
        for (const param_ptr_t& setting : params)
            if (setting->getId() == name) {
                referred = setting;
                break;
            }
        if (referred && !expanding_defaults.count(referred.get())) {
            const std::string value = referred->getValue();
            text.replace(open, close - open + 1, value);
            // The value itself is not searched for references.
            open = text.find('[', open + value.size());
        } else {
            open = text.find('[', close);
        }
    }
    return text;
}
