#include "installer/TextDlgReleases.h"

#include <iostream>
#include <memory>
#include <sstream>

#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/BuildManager.h"
#include "installer/CustomerFeedback.h"
#include "installer/DlgMaker.h"
#include "installer/Product.h"
#include "installer/Release.h"

namespace {

// The releases of the page are the console wizard's: those it hides are shown without a tag.
const int DISPLAY_MODE = Release::HIDE_CLI;
// Only on lines from this number on does a release show its version (the first ones are the
// newest, told apart by the codename).
const int FIRST_LINE_WITH_VERSION = 4;

bool isProductLine(const TextDlgReleases::Item& item)
{
    return !item.productId.empty();
}

bool isReleaseLine(const TextDlgReleases::Item& item)
{
    if (isProductLine(item))
        return false;
    if (!item.release)
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << "bad item object";
    return true;
}

std::string runningSystem()
{
    std::ostringstream text;
    Opsys()->print(text);
    return text.str();
}

}  // namespace

TextDlgReleases::TextDlgReleases(BuildManager* builds_, Repository* repository_, bool allVersions_)
    : DlgReleases(builds_, repository_), allVersions(allVersions_)
{
    const Opsys system;
    std::string previousProduct;
    for (const boost::shared_ptr<Release>& release : builds->getReleases(true)) {
        if (!release->has_supported_build(system))
            continue;
        const std::string& productId = release->prod()->id();
        if (items.empty() || productId != previousProduct) {
            const std::string selected = builds->getSelectedReleaseId(productId);
            std::string installed;
            if (selected.empty()) {
                installed = builds->getCurrentReleaseId(productId);
                if (!installed.empty())
                    builds->selectRelease(productId, installed);
            }
            Item product;
            product.ticked = !selected.empty() || !installed.empty();
            product.productId = productId;
            product.productName = release->prod()->name();
            items.push_back(product);
        }
        Item line;
        line.release = release.get();
        items.push_back(line);
        if (release->is_current())
            builds->selectRelease(productId, release->get_id());
        previousProduct = productId;
    }
}

std::string TextDlgReleases::releaseText(const Release& release, int number, bool updateLayout) const
{
    Messages messages;
    if (updateLayout)
        return messages.get(number == 1 ? "releases_install_latest_update" : "releases_add_remove_components");
    std::ostringstream text;
    if (allVersions) {
        text << release.get_name();
    } else {
        text << release.prod()->name() << " " << release.get_codename();
        if (number >= FIRST_LINE_WITH_VERSION) {
            text << " ";
            release.get_version().print(text);
        }
    }
    if (release.is_visible(DISPLAY_MODE))
        text << " (" << release.get_display_tag() << ")";
    return text.str();
}

void TextDlgReleases::show(bool updateLayout, bool singleProduct)
{
    Messages messages;
    showHeader(messages.get("releases_page_hdr"));
    if (items.empty()) {
        std::cout << format_message(messages.get("releases_no_avail"), runningSystem()) << "\n\n\n";
    } else {
        if (!updateLayout)
            std::cout << messages.get("releases_page_body") << "\n";
        const char* indent = singleProduct ? "" : "  ";
        int number = 0;
        bool shown = false;  // the release lines of the current product are shown
        for (const Item& item : items) {
            if (isProductLine(item)) {
                shown = singleProduct || item.ticked;
                if (!singleProduct)
                    std::cout << "\n"
                              << ++number << ". [" << (item.ticked ? '*' : ' ') << "] " << item.productName << "\n";
            } else if (isReleaseLine(item) && shown) {
                ++number;
                std::cout << indent << number << ". " << (item.release->is_selected() ? "(*) " : "( ) ")
                          << releaseText(*item.release, number, updateLayout) << "\n";
            }
        }
        lineCount = number;
        std::cout << "\n";
    }
    for (const char* key : {"wizard_legend_header", "wizard_legend_f_forward", "wizard_legend_b_back",
                            "wizard_legend_q_quit", "wizard_legend_s_advanced_settings"})
        std::cout << messages.get(key) << "\n";
    std::cout << "\n" << messages.get("wizard_prompt_action_or_number");
}

bool TextDlgReleases::selectNumber(int n, bool singleProduct)
{
    int number = 0;
    bool shown = false;
    for (Item& item : items) {
        if (isProductLine(item)) {
            shown = singleProduct || item.ticked;
            if (singleProduct || ++number != n)
                continue;
            if (item.ticked) {
                builds->unselectProductReleases(item.productId);
                item.ticked = false;
                return true;
            }
            item.ticked = true;
            // The newest release this system has a build for; an installed release wins.
            const Opsys system;
            for (const boost::shared_ptr<Release>& release : builds->getReleases(false)) {
                if (release->prod()->id() == item.productId && release->has_supported_build(system)) {
                    builds->selectRelease(item.productId, release->get_id());
                    break;
                }
            }
            for (const boost::shared_ptr<Release>& release : builds->getReleases(true))
                if (release->prod()->id() == item.productId && release->is_current())
                    builds->selectRelease(item.productId, release->get_id());
            return true;
        }
        if (isReleaseLine(item) && shown && ++number == n) {
            builds->selectRelease(item.release->prod()->id(), item.release->get_id());
            return true;
        }
    }
    return false;
}

bool TextDlgReleases::canSkip() const
{
    return !allVersions && items.size() == 2 && isProductLine(items[0]) && isReleaseLine(items[1]) &&
           items[1].release->is_selected();
}

bool TextDlgReleases::isUpdateOffer() const
{
    if (allVersions || items.size() != 3 || !isProductLine(items[0]) || !isReleaseLine(items[1]) ||
        !isReleaseLine(items[2]))
        return false;
    const Release& newer = *items[1].release;
    const Release& installed = *items[2].release;
    return installed.is_current() && !newer.get_codename().empty() && newer.get_codename() == installed.get_codename();
}

bool TextDlgReleases::isSingleProduct() const
{
    if (allVersions)
        return false;
    int products = 0;
    for (const Item& item : items)
        products += isProductLine(item) ? 1 : 0;
    return products == 1;
}

void TextDlgReleases::askFeedback()
{
    if (!CustomerFeedback::isUndecided())
        return;
    const std::unique_ptr<DlgMaker> maker(DlgMaker::create());
    std::cout << "\n";
    const std::unique_ptr<Dialog> question(maker->makeYesNo(Messages().get("ask_customer_feedback")));
    CustomerFeedback::setEnabled(question->run() == YES);
}

DialogResult TextDlgReleases::run()
{
    if (canSkip() && canContinue()) {
        askFeedback();
        return FORWARD;
    }
    const bool updateLayout = isUpdateOffer();
    const bool singleProduct = updateLayout || isSingleProduct();
    show(updateLayout, singleProduct);
    for (;;) {
        const Answer answer = askAction(choiceList("F/b/q/s", lineCount), "F");
        if (isNumber(answer)) {
            if (selectNumber(number(answer), singleProduct)) {
                show(updateLayout, singleProduct);
                continue;
            }
        } else if (isLetter(answer)) {
            switch (letter(answer)) {
            case 'F':
            case 'N':
                if (canContinue()) {
                    askFeedback();
                    return FORWARD;
                }
                show(updateLayout, singleProduct);
                continue;
            case 'B':
            case 'P': return BACK;
            case 'Q': return QUIT;
            case 'S':
                if (advSettings && advSettings->run() == QUIT)
                    return QUIT;
                show(updateLayout, singleProduct);
                continue;
            }
        }
        std::cout << Messages().get("wizard_prompt_action_or_number_retry");
    }
}
