#ifndef KW_TESTS_SUPPORT_STAGEACTIONS_H
#define KW_TESTS_SUPPORT_STAGEACTIONS_H

#include <string>

#include "installer/Bootstrapper.h"

// Stage actions loaded from the "action" elements of a "bootstrapper" element's text, as the build
// loader loads them, and deleted with the object, as the catalogue deletes its own.
class StageActions {
public:
    StageActions() = default;
    ~StageActions();
    StageActions(const StageActions&) = delete;
    StageActions& operator=(const StageActions&) = delete;

    // The actions of `actions` (the children of a "bootstrapper" element, as text).
    Bootstrapper::actions_t load(const std::string& actions, const std::string& parent_name);

private:
    Bootstrapper::actions_t owned;
};

#endif
