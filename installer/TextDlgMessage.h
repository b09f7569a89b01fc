#ifndef KW_INSTALLER_TEXTDLGMESSAGE_H
#define KW_INSTALLER_TEXTDLGMESSAGE_H

#include "installer/DlgMessage.h"
#include "installer/TextDialog.h"

// Shows the text and waits for Enter.
class TextDlgMessage : public DlgMessage, public TextDialog {
public:
    using DlgMessage::DlgMessage;

    DialogResult run() override;
};

#endif
