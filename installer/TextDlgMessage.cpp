#include "installer/TextDlgMessage.h"

DialogResult TextDlgMessage::run()
{
    showMessage(text);
    return DONE;
}
