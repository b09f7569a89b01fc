#include "installer/TextDialog.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/error.h"

bool TextDialog::noClear = false;

namespace {

const char* const RULE = "===============================================================================";

// Closing standard input (Ctrl+D) ends the session.
error userLost()
{
    return error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NONE) << Messages().get("err_user_lost");
}

// After a failed read: a signal that stops the run throws here. A read that a signal only broke
// (the C stream's error indicator rather than its end-of-file one, or EINTR) is cleared for another
// try; a real end of the input is not.
bool readAgainAfterFailure(bool interrupted)
{
    Progress().checkInterrupted();
    if (!interrupted)
        return false;
    clearerr(stdin);
    std::cin.clear();
    return true;
}

bool readInterrupted()
{
    return ferror(stdin) && !feof(stdin);
}

void throwIfInputEnded()
{
    if (std::cin.fail())
        throw userLost();
}

// Prompts written without a line end must show before the program waits.
void flushOutput()
{
    std::cout.flush();
}

}  // namespace

void TextDialog::showHeader(const std::string& title)
{
    Progress().checkInterrupted();
    if (noClear) {
        std::cout << "\n\n\n\n\n";
    } else {
        flushOutput();
        // Only cosmetic: a missing "clear" leaves the old screen above the page.
        const int ignored = system("clear");
        (void)ignored;
    }
    std::cout << title << "\n" << RULE << "\n\n";
}

TextDialog::Answer TextDialog::parseAnswer(const std::string& text)
{
    Answer answer;
    if (text.empty())
        return answer;
    if (text.size() == 1 && isalpha(static_cast<unsigned char>(text[0]))) {
        answer.kind = Answer::LETTER;
        answer.value = toupper(static_cast<unsigned char>(text[0]));
        return answer;
    }
    for (char c : text)
        if (!isdigit(static_cast<unsigned char>(c)))
            return answer;
    errno = 0;
    const long value = strtol(text.c_str(), nullptr, 10);
    if (errno == 0 && value <= INT_MAX) {
        answer.kind = Answer::NUMBER;
        answer.value = static_cast<int>(value);
    }
    return answer;
}

std::string TextDialog::readLine()
{
    Progress().checkInterrupted();
    flushOutput();
    std::string line;
    for (;;) {
        std::string part;
        std::getline(std::cin, part);
        line += part;  // what came before a broken read stays part of the line
        if (!std::cin.fail() && !readInterrupted())
            return line;
        if (!readAgainAfterFailure(readInterrupted()))
            return line;
    }
}

std::string TextDialog::readPassword()
{
    Progress().checkInterrupted();
    flushOutput();
    for (;;) {
        errno = 0;
        const char* text = getpass("");
        const int read_errno = errno;
        // getpass gives an empty text, not null, when its read fails; standard input's indicators
        // tell when it read from there (no terminal).
        if (text && read_errno != EINTR && !ferror(stdin) && !feof(stdin))
            return text;
        if (!readAgainAfterFailure(read_errno == EINTR || readInterrupted()))
            throw userLost();
    }
}

TextDialog::Answer TextDialog::askAction(const std::string& choices, const std::string& defaultAnswer)
{
    if (!choices.empty())
        std::cout << " [" << choices << "]: ";
    const std::string line = readLine();
    Progress progress;
    if (progress.takeCancelRequest()) {
        std::cin.clear();
        progress.checkInterrupted();
    }
    throwIfInputEnded();
    return parseAnswer(line.empty() ? defaultAnswer : line);
}

std::string TextDialog::askText(const std::string& prompt, const std::string& defaultAnswer)
{
    std::cout << prompt;
    if (!defaultAnswer.empty())
        std::cout << " [" << defaultAnswer << "]";
    std::cout << ": ";
    const std::string line = readLine();
    throwIfInputEnded();
    return line.empty() ? defaultAnswer : line;
}

std::string TextDialog::askPassword(const std::string& prompt, const std::string& defaultAnswer)
{
    for (;;) {
        std::cout << prompt;
        if (!defaultAnswer.empty())
            std::cout << " [" << std::string(defaultAnswer.size(), '*') << "]";
        std::cout << ": ";
        const std::string first = readPassword();
        if (first.empty()) {
            if (!defaultAnswer.empty())
                return defaultAnswer;
            continue;
        }
        std::cout << Messages().get("retype_password");
        if (readPassword() == first)
            return first;
        std::cout << Messages().get("err_passwds_missmatch") << "\n";
    }
}

void TextDialog::showMessage(const std::string& text)
{
    std::cout << "\n\n" << text << "\n";
    Log::stream(Log::LEVEL_INFO, true) << text;
    Progress().checkInterrupted();
    std::cout << Messages().get("message_press_enter") << " ";
    flushOutput();
    do {
        std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    } while (!std::cin.good() && readAgainAfterFailure(readInterrupted()));
    if (!std::cin.good())
        throw userLost();
}

std::string TextDialog::choiceList(const std::string& base, unsigned count)
{
    if (count == 0)
        return "b/q";
    if (count == 1)
        return base + "/1";
    return base + "/1-" + std::to_string(count);
}
