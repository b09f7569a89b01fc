#include "installer/ActionsSequence.h"

#include <tinyxml.h>

#include <exception>
#include <typeinfo>

#include "common/Log.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/tinybind.h"
#include "installer/Action_Execute.h"
#include "installer/ReportError.h"

namespace {

// A child that threw counts as failed; the exception is only logged.
void logFailure(const Action& child, const std::string& text)
{
    Log::stream(Log::LEVEL_INFO, true) << "Error occured while performing action '" +
                                              std::string(typeid(child).name()) + "': " + text;
}

}  // namespace

ActionsSequence::~ActionsSequence()
{
    for (Action* action : actions)
        delete action;
}

void ActionsSequence::load(TiXmlElement* element, const Package* package)
{
    loadBase(element, package);
    sequence = tinybind::get_attribute(element, "sequence");
    for (TiXmlElement* child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
        Action* action = createAction(child, package);
        if (!action)
            throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
                << format_message("Unable to parse 'action' element %s ", child->ValueStr());
        addAction(action);
    }
}

void ActionsSequence::addAction(Action* action)
{
    actions.push_back(action);
}

Action* ActionsSequence::createAction(TiXmlElement* element, const Package* package)
{
    const std::string tag = tinybind::get_name(element);
    Action* action = nullptr;
    if (tag == "actions")
        action = new ActionsSequence;
    else if (tag == "execute")
        action = new Action_Execute;
    else
        return nullptr;
    try {
        action->load(element, package);
    } catch (...) {
        delete action;
        throw;
    }
    return action;
}

int ActionsSequence::execute()
{
    for (Action* child : actions) {
        const BaseAction* base = dynamic_cast<const BaseAction*>(child);
        const std::string name = base ? base->displayname : std::string();
        if (!name.empty())
            Log::stream(Log::LEVEL_ERROR, true) << name;
        const bool critical = base ? base->critical : true;
        int result = -1;
        try {
            result = child->execute();
        } catch (const error& e) {
            logFailure(*child, e.getText());
        } catch (const tinybind::err& e) {
            logFailure(*child, e.message);
        } catch (const std::exception& e) {
            logFailure(*child, e.what());
        } catch (...) {
            logFailure(*child, "unexpected error");
        }
        if (result != 0)
            ReportError::create(Log::LEVEL_ERROR)
                << format_message("Action '%s' failed with error %d(0x%08x)", name, result, result) << std::endl;
        if (result != 0 && critical)
            return result;
    }
    return 0;
}
