#include "installer/TextDlgPrompt.h"

DialogResult TextDlgPrompt::run()
{
    answer = askText(prompt, defaultAnswer);
    return DONE;
}
