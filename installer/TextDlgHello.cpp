#include "installer/TextDlgHello.h"

#include <iostream>

#include "common/Messages.h"

void TextDlgHello::show()
{
    Messages messages;
    showHeader(messages.get("hello_page_hdr"));
    for (const char* key :
         {"hello_page_body", "wizard_legend_header", "wizard_legend_f_forward", "wizard_legend_q_quit"})
        std::cout << messages.get(key) << "\n";
    std::cout << "\n" << messages.get("wizard_prompt_action");
}

DialogResult TextDlgHello::run()
{
    show();
    for (;;) {
        const Answer answer = askAction("F/q", "F");
        if (isLetter(answer)) {
            switch (letter(answer)) {
            case 'F':
            case 'N': return FORWARD;
            case 'Q': return QUIT;
            }
        }
        std::cout << Messages().get("wizard_prompt_action_retry");
    }
}
