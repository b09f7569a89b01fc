#ifndef KW_INSTALLER_DLGHELLO_H
#define KW_INSTALLER_DLGHELLO_H

#include "installer/Dialog.h"

// The welcome page.
class DlgHello : public Dialog {};

#endif
