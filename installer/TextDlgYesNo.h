#ifndef KW_INSTALLER_TEXTDLGYESNO_H
#define KW_INSTALLER_TEXTDLGYESNO_H

#include "installer/DlgYesNo.h"
#include "installer/TextDialog.h"

// Asks until the answer is yes or no.
class TextDlgYesNo : public DlgYesNo, public TextDialog {
public:
    using DlgYesNo::DlgYesNo;

    void show();
    DialogResult run() override;
};

#endif
