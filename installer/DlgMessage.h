#ifndef KW_INSTALLER_DLGMESSAGE_H
#define KW_INSTALLER_DLGMESSAGE_H

#include <string>

#include "installer/Dialog.h"

// A notice that the user acknowledges.
class DlgMessage : public Dialog {
public:
    explicit DlgMessage(const std::string& text_) : text(text_) {}

    std::string text;
};

#endif
