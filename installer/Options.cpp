#include "installer/Options.h"

Options& Options::instance()
{
    // Never destroyed: threads and exit-time code may still read the settings.
    static Options* options = new Options;
    return *options;
}

bool Options::isExtCatalogNotNeeded() const
{
    if (workMode == INTERACTIVE_CONSOLE || workMode == INTERACTIVE_WEB_UI)
        return false;
    if (workMode != NON_INTERACTIVE)
        return true;
    if (command == SHOW_COMPONENTS)
        return false;
    if (commandOperation == INSTALL_COMMAND || commandOperation == ADD_REMOVE_COMMAND)
        return false;
    if (command != INSTALL)
        return true;
    for (const auto& selection : componentSelections) {
        const int32_t mode = selection.second.mode;
        if (mode != ComponentsSelection::REMOVE_EVERYTHING && mode != ComponentsSelection::UPGRADE_INSTALLED)
            return false;
    }
    return true;
}
