#include "installer/TextDlgYesNo.h"

#include <iostream>
#include <locale>

#include "common/Messages.h"

void TextDlgYesNo::show()
{
    std::cout << "\n" << question;
}

DialogResult TextDlgYesNo::run()
{
    show();
    for (;;) {
        std::string answer = askText(defaultYes ? " [Y/n]" : " [y/n]", "");
        const std::locale locale;
        for (char& c : answer)
            c = std::tolower(c, locale);
        if (answer == "y" || answer == "yes" || (answer.empty() && defaultYes))
            return YES;
        if (answer == "n" || answer == "no")
            return NO;
        std::cout << Messages().get("yesno_retry");
    }
}
