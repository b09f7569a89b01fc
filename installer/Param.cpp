#include "installer/Param.h"

#include "common/Log.h"
#include "common/error.h"
#include "common/textutils.h"
#include "installer/KwComponent.h"
#include "installer/ParamManager.h"

Param::Param(const boost::shared_ptr<KwComponent>& owner, const std::string& id_) : id(id_), owners{owner} {}

Param::~Param() = default;

bool Param::isComplete() const
{
    return !unset;
}

void Param::store(const std::string& text_)
{
    value = text_;
}

bool Param::setValue(const std::string& text_)
{
    if (is_readonly())
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "Param::setValue: try to change read-only param";
    text = text_;
    const bool accepted = validate(text_);
    if (accepted) {
        store(text_);
        unset = false;
    }
    valid = accepted;
    return accepted;
}

std::string Param::getDefault() const
{
    if (!has_default)
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
            << ("Param::getDefault - default value is not set for opton " + id);
    if (const ParamManager* manager = ParamManager::current())
        return manager->expandReferences(default_text, this);
    return default_text;
}

std::string Param::getValue() const
{
    if (isComplete())
        return value;
    return has_default ? getDefault() : "";
}

bool Param::is_readonly() const
{
    bool installed = false;
    for (const boost::shared_ptr<KwComponent>& owner : owners) {
        const KwComponent::install_mode_t mode = owner->getInstallMode();
        if (mode == KwComponent::UPGRADE || mode == KwComponent::UP2DATE) {
            installed = true;
            break;
        }
    }
    Log::stream(Log::LEVEL_DEBUG, true) << ("Param::is_readonly: " + id + " return " + (installed ? "true" : "false"));
    return installed;
}

void Param::setDefault(const std::string& text_)
{
    default_text = text_;
    has_default = true;
}

void Param::setTexts(const std::string& name_, const std::string& description_, const std::string& error_message_)
{
    name = name_;
    description = description_;
    error_message = error_message_;
}

const Param::components_t& Param::getComponents() const
{
    if (owners.empty())
        throw KW_INTERNAL_ERROR();
    return owners;
}

void Param::addComponent(const boost::shared_ptr<KwComponent>& component)
{
    for (const boost::shared_ptr<KwComponent>& owner : owners)
        if (owner == component)
            throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                << ("Component " + component->name + " contains param " + id + " twice");
    owners.push_back(component);
}

std::string Param::getErrorMessage() const
{
    return detail.empty() ? error_message : error_message + " - " + detail;
}

uint32_t Param::lengthBound(const std::string& bound)
{
    return static_cast<uint32_t>(string_to_long(bound));
}
