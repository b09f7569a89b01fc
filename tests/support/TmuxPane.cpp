#include "tests/support/TmuxPane.h"

#include <unistd.h>

#include <chrono>

#include "tests/support/ChildProcess.h"

namespace {

int panes = 0;

}  // namespace

TmuxPane::TmuxPane(const std::string& command, int columns, int rows)
    : server("kw-test-" + std::to_string(getpid()) + "-" + std::to_string(++panes))
{
    tmux("-f /dev/null new-session -d -x " + std::to_string(columns) + " -y " + std::to_string(rows) + " \"" + command +
         "; echo EXIT=\\$?; sleep 60\"");
}

TmuxPane::~TmuxPane()
{
    tmux("kill-server");
}

void TmuxPane::type(const std::string& text)
{
    if (!text.empty())
        press(text);
    tmux("send-keys -t 0 Enter");
}

void TmuxPane::press(const std::string& keys)
{
    tmux("send-keys -t 0 -l '" + keys + "'");
}

std::string TmuxPane::screen()
{
    return shellOutput("tmux -L " + server + " capture-pane -p -t 0");
}

std::string TmuxPane::waitFor(const std::string& text, size_t times)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string shown = screen();
    while (count(shown, text) < times && std::chrono::steady_clock::now() < deadline) {
        usleep(20000);
        shown = screen();
    }
    return shown;
}

size_t TmuxPane::count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

void TmuxPane::tmux(const std::string& arguments)
{
    shellOutput("tmux -L " + server + " " + arguments + " 2>&1");
}
