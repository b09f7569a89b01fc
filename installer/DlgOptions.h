#ifndef KW_INSTALLER_DLGOPTIONS_H
#define KW_INSTALLER_DLGOPTIONS_H

#include "installer/Dialog.h"

class ParamManager;

// The page of the components' settings.
class DlgOptions : public Dialog {
public:
    explicit DlgOptions(ParamManager* params_) : params(params_) {}

    ParamManager* params;  // not owned
};

#endif
