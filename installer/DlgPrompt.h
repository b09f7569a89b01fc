#ifndef KW_INSTALLER_DLGPROMPT_H
#define KW_INSTALLER_DLGPROMPT_H

#include <string>

#include "installer/Dialog.h"

// A question answered by a line of text; the run leaves the answer here for the caller.
class DlgPrompt : public Dialog {
public:
    DlgPrompt(const std::string& prompt_, const std::string& defaultAnswer_)
        : prompt(prompt_), defaultAnswer(defaultAnswer_)
    {
    }

    std::string prompt;
    std::string defaultAnswer;
    std::string answer;  // empty until the run
};

#endif
