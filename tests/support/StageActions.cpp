#include "tests/support/StageActions.h"

#include <stdexcept>

#include "common/tinybind.h"

StageActions::~StageActions()
{
    for (Bootstrapper::Action* action : owned)
        delete action;
}

Bootstrapper::actions_t StageActions::load(const std::string& actions, const std::string& parent_name)
{
    tinybind::Document document;
    if (!document.parse_text("<bootstrapper>" + actions + "</bootstrapper>"))
        throw std::invalid_argument("not XML: " + actions);
    Bootstrapper::actions_t loaded;
    try {
        Bootstrapper::loadActions(loaded, document.get_root(), parent_name);
    } catch (...) {
        owned.insert(owned.end(), loaded.begin(), loaded.end());
        throw;
    }
    owned.insert(owned.end(), loaded.begin(), loaded.end());
    return loaded;
}
