#ifndef KW_INSTALLER_TEXTDLGPROMPT_H
#define KW_INSTALLER_TEXTDLGPROMPT_H

#include "installer/DlgPrompt.h"
#include "installer/TextDialog.h"

// Asks for a line of text; an empty line takes the default.
class TextDlgPrompt : public DlgPrompt, public TextDialog {
public:
    using DlgPrompt::DlgPrompt;

    DialogResult run() override;
};

#endif
