#ifndef KW_INSTALLER_ACTIONSSEQUENCE_H
#define KW_INSTALLER_ACTIONSSEQUENCE_H

#include <string>
#include <vector>

#include "installer/Action.h"

// A named sequence of package actions ("actions" element): its children run in document order, and
// the first failure of a critical child ends it.
class ActionsSequence : public BaseAction {
public:
    ActionsSequence() = default;
    ~ActionsSequence() override;
    ActionsSequence(const ActionsSequence&) = delete;
    ActionsSequence& operator=(const ActionsSequence&) = delete;

    // Reads "sequence" (required) and one child per "actions" or "execute" element; any other child
    // element ends the loading with an error (3, 1, 1, 3). Children loaded before a failure stay.
    void load(TiXmlElement* element, const Package* package) override;
    // 0, or the first non-zero result of a critical child. A child's exception counts as -1; every
    // failure is written into the error report.
    int execute() override;

    std::string getSequence() const { return sequence; }
    // Takes ownership.
    void addAction(Action* action);
    // A new loaded action for an "actions" or "execute" element; null for any other element.
    static Action* createAction(TiXmlElement* element, const Package* package);

private:
    std::vector<Action*> actions;  // owned
    std::string sequence;
};

#endif
