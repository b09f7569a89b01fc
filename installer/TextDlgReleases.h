#ifndef KW_INSTALLER_TEXTDLGRELEASES_H
#define KW_INSTALLER_TEXTDLGRELEASES_H

#include <string>
#include <vector>

#include "installer/DlgReleases.h"
#include "installer/TextDialog.h"

class Release;

// The page on which the user ticks the products to install or update and picks one release of
// each. It works on the catalogue's selection flags directly, so the selection outlives the page.
class TextDlgReleases : public DlgReleases, public TextDialog {
public:
    // A line of the page: a product line (product id set) or a release line (release set).
    struct Item {
        Release* release = nullptr;  // owned by the catalogue
        bool ticked = false;         // the product takes part and its release lines are shown
        std::string productId;
        std::string productName;
    };

    // Lists the releases with a supported build for this system under their products, and selects
    // the installed release of every product that has one and nothing selected yet.
    TextDlgReleases(BuildManager* builds, Repository* repository, bool allVersions);

    // FORWARD, BACK or QUIT.
    DialogResult run() override;
    void show(bool updateLayout, bool singleProduct);
    // Acts on the line of that number; false when no line has it.
    bool selectNumber(int n, bool singleProduct);
    // One product with one release, already selected: nothing to ask.
    bool canSkip() const;
    // One product whose installed release has a newer one of the same codename listed before it.
    bool isUpdateOffer() const;
    bool isSingleProduct() const;
    // Asks whether error reports may be sent, while the administrator has not decided.
    void askFeedback();

    std::vector<Item> items;
    int lineCount = 0;
    bool allVersions;

private:
    // The text of a release line after its mark.
    std::string releaseText(const Release& release, int number, bool updateLayout) const;
};

#endif
