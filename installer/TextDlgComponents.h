#ifndef KW_INSTALLER_TEXTDLGCOMPONENTS_H
#define KW_INSTALLER_TEXTDLGCOMPONENTS_H

#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "installer/ComponentManager.h"
#include "installer/DlgComponents.h"
#include "installer/TextDialog.h"

class BuildManager;

// The page on which the user chooses the components of the selected products: one level of one
// product's component tree at a time, every visible line numbered. Numbers toggle components or
// open sub groups; with several products the product lines come first and switch the product.
class TextDlgComponents : public DlgComponents, public TextDialog {
public:
    typedef std::vector<std::pair<std::string, std::string>> productNames_t;  // id, display name

    // Lists the products of the selected releases and requests the upgrade of the components
    // installed in an older version. No selected release is an internal error.
    TextDlgComponents(ComponentManager* manager, BuildManager* builds);

    // FORWARD, BACK or QUIT; QUIT at once when everything is installed and nothing can be removed.
    DialogResult run() override;
    void show();
    // Writes the numbered lines of the listed nodes of a level, advancing the counter per line.
    void showNodes(ComponentManager::nodes_t::const_iterator first, ComponentManager::nodes_t::const_iterator last,
                   int& counter);
    // Acts on the line of that number; false when no line has it.
    bool selectNumber(int n);
    // Something is requested for install or removal; otherwise tells the user so.
    bool canLeave();
    static bool hasSubGroups(ComponentManager::nodes_t::const_iterator first,
                             ComponentManager::nodes_t::const_iterator last);

    BuildManager* builds;  // not owned
    // The products of the selected releases, promoted list first. DlgComponents::products holds the
    // ids the wizard offers on this run.
    productNames_t productNames;
    std::string currentProduct;
    int lineCount = 0;
    // The opened sub groups, innermost last; empty at the product's top level.
    std::vector<boost::shared_ptr<KwCompNode>> openGroups;
    bool uninstallSupport = false;

private:
    // The nodes of the level shown: the roots, or the innermost open group's children.
    const ComponentManager::nodes_t& level() const;
    bool atTopLevel() const { return openGroups.empty(); }
    // The entries of productNames whose ids are in the product set.
    productNames_t offeredProducts() const;
    // Whether the node gets lines at this level: of the current product, and shown.
    bool isListed(const KwCompNode& node) const;
    // Records the request for the whole level, and applies it once the user agrees.
    void markLevel(request_mode_t request);
};

#endif
