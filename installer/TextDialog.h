#ifndef KW_INSTALLER_TEXTDIALOG_H
#define KW_INSTALLER_TEXTDIALOG_H

#include <string>

// The screen side shared by every console page: the header, the answers read from standard input,
// passwords from the terminal and the message page's wait. Output goes to standard output only.
// C and C++ streams stay synchronised: getpass and the pagers use the C stream of standard input.
class TextDialog {
public:
    // A parsed answer: a letter (upper-cased), a number, or nothing usable.
    struct Answer {
        enum kind_t { NONE = 0, LETTER = 1, NUMBER = 2 };

        int kind = NONE;
        int value = -1;  // the letter's character code, the number, or -1
    };

    static bool isLetter(const Answer& answer) { return answer.kind == Answer::LETTER; }
    static bool isNumber(const Answer& answer) { return answer.kind == Answer::NUMBER; }
    static char letter(const Answer& answer) { return static_cast<char>(answer.value); }
    static int number(const Answer& answer) { return answer.value; }

    // The pages print blank lines instead of clearing the screen.
    static bool noClear;

    // Clears the screen (or prints blank lines) and prints the title over a rule.
    static void showHeader(const std::string& title);
    // One letter, or a number of digits only up to INT_MAX; anything else is NONE.
    static Answer parseAnswer(const std::string& text);
    // One line of standard input without its line end. A read that a signal breaks is taken up
    // again unless the signal stops the run; the caller checks std::cin for the end of the input.
    static std::string readLine();
    // One line from the terminal without echo (standard input without a terminal). The end of the
    // input is "err_user_lost".
    static std::string readPassword();
    // Prints " [choices]: " (nothing for no choices) after the page's own prompt and parses the
    // line, or the default for an empty line.
    static Answer askAction(const std::string& choices, const std::string& defaultAnswer);
    // The line typed, or the default for an empty line.
    static std::string askText(const std::string& prompt, const std::string& defaultAnswer);
    // A password typed twice alike, or the default (shown as stars) for an empty entry.
    static std::string askPassword(const std::string& prompt, const std::string& defaultAnswer);
    // Shows the text and waits for Enter; what is typed before it is discarded.
    static void showMessage(const std::string& text);
    // The choices of a prompt with numbered items appended: "base/1", "base/1-N"; "b/q" for none.
    static std::string choiceList(const std::string& base, unsigned count);
};

#endif
