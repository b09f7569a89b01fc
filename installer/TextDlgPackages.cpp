#include "installer/TextDlgPackages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "installer/DlgMaker.h"
#include "installer/PackagesReporter.h"

namespace {

const char* const LESS = "less -m -C -Pm\"Use arrow keys for navigation and 'q' to return to installer\"";
const char* const MORE = "more -d";

// Writes the text into the pager and waits for it to end. A pager that quits before it has read
// everything closes the pipe: the writes then fail (SIGPIPE is held back, so the installer lives on)
// and the rest of the text is dropped. The pager's own status does not matter.
void page(const char* pager, const std::string& text)
{
    std::fflush(stdout);
    FILE* pipe = popen(pager, "w");
    if (!pipe)
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << pager << ": " << std::strerror(errno);
    SigpipeBlock block;
    std::fwrite(text.data(), 1, text.size(), pipe);
    pclose(pipe);
}

// The message page with no text: it waits for Enter.
void waitForEnter()
{
    const std::unique_ptr<DlgMaker> maker(DlgMaker::create());
    const std::unique_ptr<Dialog> message(maker->makeMessage(""));
    message->run();
}

}  // namespace

DialogResult TextDlgPackages::run()
{
    show();
    for (;;) {
        const Answer answer = askAction("F/b/q/s", "F");
        if (isLetter(answer)) {
            switch (letter(answer)) {
            case 'B':
            case 'P': return BACK;
            case 'F':
            case 'N': return FORWARD;
            case 'Q': return QUIT;
            case 'S':
                showPackageList();
                show();
                continue;
            }
        }
        std::cout << Messages().get("wizard_prompt_action_retry");
    }
}

void TextDlgPackages::show()
{
    Messages messages;
    showHeader(messages.get("packages_page_hdr"));
    std::cout << format_message(messages.get("packages_page_body_install"), toInstall) << "\n";
    std::cout << format_message(messages.get("packages_page_body_upgrade"), toUpgrade) << "\n";
    if (toRemove > 0)
        std::cout << format_message(messages.get("packages_page_body_remove"), toRemove) << "\n";
    std::cout << "\n";
    for (const char* key : {"wizard_legend_header", "wizard_legend_f_forward", "wizard_legend_b_back",
                            "wizard_legend_q_quit", "wizard_legend_s_show_packages"})
        std::cout << messages.get(key) << "\n";
    std::cout << "\n" << messages.get("wizard_prompt_action");
}

void TextDlgPackages::showPackageList()
{
    try {
        std::ostringstream list;
        list << PackagesReporter(packages, repository, false);
        if (exec_command("less --version", false, false) == 0) {
            page(LESS, list.str());
        } else if (fileops::is_file("/bin/more")) {
            page(MORE, list.str());
            waitForEnter();
        } else {
            Log::stream(Log::LEVEL_ERROR, true) << Messages().get("err_no_pagers");
            std::cout << list.str() << "\n";
            waitForEnter();
        }
    } catch (error& e) {
        e.addMessage(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << Messages().get("err_show_pkglist");
        throw;
    }
}
