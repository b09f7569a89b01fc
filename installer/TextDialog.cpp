#include "installer/TextDialog.h"

bool TextDialog::noClear = false;
