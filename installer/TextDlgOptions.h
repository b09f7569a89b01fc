#ifndef KW_INSTALLER_TEXTDLGOPTIONS_H
#define KW_INSTALLER_TEXTDLGOPTIONS_H

#include <set>
#include <string>

#include <boost/shared_ptr.hpp>

#include "installer/DlgOptions.h"
#include "installer/ParamManager.h"
#include "installer/TextDialog.h"

class KwComponent;

// The page of the components' settings: how many components need settings and how many are still
// undefined, then, on request, every editable setting asked component by component, each component
// confirmed or entered again.
class TextDlgOptions : public DlgOptions, public TextDialog {
public:
    // Asks the settings during one walk: announces each component, asks each setting by its kind
    // until the setting accepts the answer, and lets the user confirm or redefine the component.
    class Asker : public ParamManager::Visitor, public TextDialog {
    public:
        // `undefinedOnly`: ask only settings without an accepted value (the settings asked for the
        // component being redefined excepted), and announce only components that have one.
        explicit Asker(bool undefinedOnly);

        void visit(param_ptr_t setting) override;
        void finish() override;

        void askSetting(const param_ptr_t& setting);
        // After the component's settings: go on, or set the redefine flag.
        void confirmComponent();

        boost::shared_ptr<const KwComponent> component;
        int number = 0;
        param_ptr_t restart;  // the first setting asked of the current component
        bool redefine = false;

        bool undefinedOnly;
        std::set<param_ptr_t> asked;     // this pass's settings of the current component
        std::set<param_ptr_t> askAgain;  // the settings of the component being redefined

    private:
        // Whether an undefined-only pass shows the setting: a group when it shows a setting in it.
        bool shows(const param_ptr_t& setting) const;
    };

    explicit TextDlgOptions(ParamManager* params);

    // FORWARD after the asking (or without it when everything is defined and the user skips), BACK
    // or QUIT.
    DialogResult run() override;
    void show();
    std::string choicesText() const;
    // Walks the editable settings with an Asker, again from the redefined component as often as the
    // user asks; FORWARD.
    DialogResult askSettings(bool undefinedOnly = false);

    int mode = 0;  // 0 every component defined, 1 none, 2 some
};

#endif
