#ifndef KW_TESTS_SUPPORT_TMUXPANE_H
#define KW_TESTS_SUPPORT_TMUXPANE_H

#include <cstddef>
#include <string>

// A private tmux server with a command in its one pane, a terminal of that size: keys typed there,
// the screen read back. The pane shows "EXIT=<code>" after the command and stays a minute.
class TmuxPane {
public:
    // A server of its own per pane: a new server under the name of one just killed can meet it
    // still exiting and go down with it.
    explicit TmuxPane(const std::string& command, int columns = 100, int rows = 30);
    ~TmuxPane();
    TmuxPane(const TmuxPane&) = delete;
    TmuxPane& operator=(const TmuxPane&) = delete;

    // Types the text (literally) and Enter.
    void type(const std::string& text);
    // Types the text (literally) alone.
    void press(const std::string& keys);
    std::string screen();
    // The screen once it shows the text `times` times (ten seconds at most). The screen keeps no
    // blanks at the ends of lines.
    std::string waitFor(const std::string& text, size_t times = 1);

    // How often the part occurs in the text, overlaps included.
    static size_t count(const std::string& text, const std::string& part);

private:
    void tmux(const std::string& arguments);

    std::string server;
};

#endif
