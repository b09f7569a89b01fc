#include "installer/TextDlgAdvSettings.h"

#include <iostream>

#include "common/Messages.h"
#include "installer/Options.h"
#include "installer/SourceUrl.h"

void TextDlgAdvSettings::show()
{
    Messages messages;
    showHeader(messages.get("settings_page_hdr"));
    std::cout << messages.get("wizard_current_settings") << "\n";

    SourceUrl sourceUrl;
    sourceUrl.url = source;  // as given: the page shows the text, not a normalised form
    std::cout << messages.get("source_product_source");
    if (source == Options::DEFAULT_SOURCE_URL)
        std::cout << messages.get("source_from_zanth");
    else
        std::cout << messages.get(sourceUrl.isLocal() ? "source_from_local" : "source_from_network") << " " << source;
    std::cout << "\n";

    if (!sourceUrl.isLocal()) {
        std::cout << messages.get("source_target_dir") << target << "\n";
        if (!proxy.host.empty()) {
            std::cout << messages.get("proxy_proxy_host") << proxy.host << ":" << proxy.port << "\n";
            if (!proxy.user.empty())
                std::cout << messages.get("proxy_auth") << proxy.user << "\n";
            else
                std::cout << messages.get("proxy_no_auth") << "\n";
        } else {
            std::cout << messages.get("proxy_no_proxy") << "\n";
        }
        std::cout << messages.get("settings_download_retries") << Options::instance().downloadRetries << "\n";
    }
    std::cout << "\n";
    std::cout << messages.get("settings_page_body") << "\n";
    std::cout << messages.get("settings_page_cfg") << Options::getRcFileCandidates().back() << "\n";
    std::cout << "\n";
    std::cout << messages.get("wizard_legend_header") << "\n";
    if (!noBack)
        std::cout << messages.get("wizard_legend_b_back") << "\n";
    std::cout << messages.get("wizard_legend_q_quit") << "\n";
    std::cout << "\n";
    std::cout << messages.get("wizard_prompt_action");
}

DialogResult TextDlgAdvSettings::run()
{
    show();
    for (;;) {
        const Answer answer = noBack ? askAction("Q", "Q") : askAction("B/q", "B");
        if (isLetter(answer)) {
            const char c = letter(answer);
            if ((c == 'B' || c == 'P') && !noBack)
                return BACK;
            if (c == 'Q')
                return QUIT;
        }
        std::cout << Messages().get("wizard_prompt_action_retry");
    }
}
