#ifndef KW_INSTALLER_TEXTDLGHELLO_H
#define KW_INSTALLER_TEXTDLGHELLO_H

#include "installer/DlgHello.h"
#include "installer/TextDialog.h"

// The welcome page: forward or quit.
class TextDlgHello : public DlgHello, public TextDialog {
public:
    void show();
    DialogResult run() override;
};

#endif
