#ifndef KW_INSTALLER_DLGYESNO_H
#define KW_INSTALLER_DLGYESNO_H

#include <string>

#include "installer/Dialog.h"

// A question answered yes or no.
class DlgYesNo : public Dialog {
public:
    DlgYesNo(const std::string& question_, bool defaultYes_) : question(question_), defaultYes(defaultYes_) {}

    std::string question;
    bool defaultYes;  // an empty answer counts as yes
};

#endif
