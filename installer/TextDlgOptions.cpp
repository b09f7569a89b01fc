#include "installer/TextDlgOptions.h"

#include <iomanip>
#include <iostream>

#include "common/Messages.h"
#include "common/format_message.h"
#include "installer/KwComponent.h"
#include "installer/ParamBool.h"
#include "installer/ParamEnum.h"
#include "installer/ParamHidden.h"
#include "installer/ParamPassword.h"
#include "installer/ParamStatic.h"

namespace {

void writeLegend(const std::initializer_list<const char*>& keys)
{
    Messages messages;
    for (const char* key : keys)
        std::cout << messages.get(key) << "\n";
    std::cout << "\n" << messages.get("wizard_prompt_action");
}

// A group of settings: a heading, nothing to answer.
bool isGroup(const param_ptr_t& setting)
{
    return boost::dynamic_pointer_cast<SubParams>(setting) && !boost::dynamic_pointer_cast<ParamEnum>(setting) &&
           !boost::dynamic_pointer_cast<ParamBool>(setting);
}

// The value offered: the accepted one, else the default, else nothing. A choice whose own value is
// accepted keeps it even while a setting of its branch is still undefined.
std::string proposedValue(const Param& setting)
{
    if (setting.Param::isComplete())
        return setting.getStoredValue();
    return setting.hasDefault() ? setting.getDefault() : std::string();
}

// Asks with `ask` until the setting accepts the answer; each refusal shows the setting's message.
template <typename Ask>
void askUntilAccepted(Param& setting, Ask ask)
{
    while (!setting.setValue(ask())) {
        std::cout << setting.getErrorMessage() << "\n";
    }
}

void askChoice(ParamEnum& setting, const std::string& proposed)
{
    const ParamEnum::choices_t& choices = setting.getChoices();
    std::cout << setting.getDescription() << "\n";
    int marked = 0;
    for (size_t i = 0; i < choices.size(); ++i) {
        const bool isProposed = choices[i].first == proposed;
        if (isProposed && !marked)
            marked = static_cast<int>(i) + 1;
        std::cout << std::setw(2) << i + 1 << ". (" << (isProposed ? '*' : ' ') << ") " << choices[i].second << "\n";
    }
    const int count = static_cast<int>(choices.size());
    const std::string range = count > 1 ? "1-" + std::to_string(count) : "1";
    Messages messages;
    std::cout << messages.get("wizard_prompt_number");
    int selected = 0;
    while (!selected) {
        const TextDialog::Answer answer = TextDialog::askAction(range, "F");
        if (TextDialog::isNumber(answer) && TextDialog::number(answer) >= 1 && TextDialog::number(answer) <= count)
            selected = TextDialog::number(answer);
        else if (TextDialog::isLetter(answer) && TextDialog::letter(answer) == 'F' && count > 0)
            selected = marked ? marked : 1;
        else
            std::cout << messages.get("wizard_prompt_number_retry");
    }
    setting.setValue(choices[selected - 1].first);
}

}  // namespace

TextDlgOptions::TextDlgOptions(ParamManager* params_) : DlgOptions(params_) {}

void TextDlgOptions::show()
{
    Messages messages;
    showHeader(messages.get("options_page_hdr"));
    const int all = params->countComponentsWithParams();
    const int defined = params->countCompleteComponents();
    std::cout << all << messages.get("options_page_body1");
    if (defined == 0) {
        std::cout << messages.get("options_page_body3");
        mode = 1;
    } else if (defined == all) {
        std::cout << messages.get("options_page_body4");
        mode = 0;
    } else {
        std::cout << format_message(messages.get("options_page_body2"), all - defined);
        mode = 2;
    }
    std::cout << "\n";
    switch (mode) {
    case 1:
        writeLegend({"wizard_legend_header", "wizard_legend_f_forward_specify_params", "wizard_legend_b_back",
                     "wizard_legend_q_quit"});
        break;
    case 2:
        writeLegend({"wizard_legend_header", "wizard_legend_f_forward_specify_params",
                     "wizard_legend_u_specify_undefined_params", "wizard_legend_b_back", "wizard_legend_q_quit"});
        break;
    default:
        writeLegend({"wizard_legend_header", "wizard_legend_f_forward_skip_params",
                     "wizard_legend_r_redefine_params_all", "wizard_legend_b_back", "wizard_legend_q_quit"});
    }
}

std::string TextDlgOptions::choicesText() const
{
    switch (mode) {
    case 0: return "F/r/b/q";
    case 1: return "F/b/q";
    case 2: return "F/u/b/q";
    default: return "b/q";
    }
}

DialogResult TextDlgOptions::run()
{
    show();
    for (;;) {
        const Answer answer = askAction(choicesText(), "F");
        if (isLetter(answer)) {
            switch (letter(answer)) {
            case 'B':
            case 'P': return BACK;
            case 'Q': return QUIT;
            case 'F':
            case 'N': return mode == 0 ? FORWARD : askSettings();
            case 'U':
                if (mode == 2)
                    return askSettings(true);
                if (mode == 0)
                    return askSettings();
                break;
            case 'R':
                if (mode == 0)
                    return askSettings();
                break;
            }
        }
        std::cout << Messages().get("wizard_prompt_action_retry");
    }
}

DialogResult TextDlgOptions::askSettings(bool undefinedOnly)
{
    Asker asker(undefinedOnly);
    do {
        asker.component.reset();
        asker.redefine = false;
        asker.number = 0;
        params->walk(asker, asker.restart, true);
    } while (asker.redefine);
    return FORWARD;
}

TextDlgOptions::Asker::Asker(bool undefinedOnly_) : undefinedOnly(undefinedOnly_) {}

void TextDlgOptions::Asker::visit(param_ptr_t setting)
{
    if (redefine)
        return;
    if (undefinedOnly && !shows(setting)) {
        // Still given its value, without announcing a component for it.
        if (boost::dynamic_pointer_cast<ParamHidden>(setting) && !setting->Param::isComplete())
            askSetting(setting);
        return;
    }
    const boost::shared_ptr<KwComponent>& owner = setting->getComponents().front();
    if (owner != component) {
        if (component) {
            confirmComponent();
            if (redefine) {
                askAgain = asked;
                return;
            }
        }
        ++number;
        component = owner;
        restart = setting;
        asked.clear();
        std::cout << "\n\n" << number << ") Component: " << owner->getDescription() << "\n\n";
    }
    asked.insert(setting);
    askSetting(setting);
}

void TextDlgOptions::Asker::finish()
{
    if (redefine || !component)
        return;
    confirmComponent();
    if (redefine)
        askAgain = asked;
}

bool TextDlgOptions::Asker::shows(const param_ptr_t& setting) const
{
    if (askAgain.count(setting))
        return true;
    if (boost::dynamic_pointer_cast<ParamHidden>(setting))
        return false;
    if (!isGroup(setting))
        return !setting->Param::isComplete();
    for (const SubParams::branches_t::value_type& branch :
         boost::dynamic_pointer_cast<SubParams>(setting)->getBranches())
        for (const param_ptr_t& nested : branch.second)
            if (shows(nested))
                return true;
    return false;
}

void TextDlgOptions::Asker::confirmComponent()
{
    Messages messages;
    std::cout << format_message(messages.get("options_page_body5"), component->getDescription()) << "\n";
    writeLegend({"wizard_legend_header", "wizard_legend_f_forward", "wizard_legend_r_redefine_params_one"});
    for (;;) {
        const Answer answer = askAction("F/r", "F");
        if (isLetter(answer)) {
            switch (letter(answer)) {
            case 'F':
            case 'N': return;
            case 'R': redefine = true; return;
            }
        }
        std::cout << messages.get("wizard_prompt_action_retry");
    }
}

void TextDlgOptions::Asker::askSetting(const param_ptr_t& setting)
{
    const std::string proposed = proposedValue(*setting);
    if (const auto choice = boost::dynamic_pointer_cast<ParamEnum>(setting)) {
        askChoice(*choice, proposed);
    } else if (boost::dynamic_pointer_cast<ParamBool>(setting)) {
        const std::string offered = proposed == "true" ? "yes" : proposed == "false" ? "no" : proposed;
        std::cout << setting->getDescription() << "\n";
        askUntilAccepted(*setting, [&] { return askText(setting->getName(), offered); });
    } else if (boost::dynamic_pointer_cast<SubParams>(setting)) {
        std::cout << "\n --- " << setting->getDescription() << " ---\n";
    } else if (boost::dynamic_pointer_cast<ParamPassword>(setting)) {
        std::cout << setting->getDescription() << "\n";
        askUntilAccepted(*setting, [&] { return askPassword(setting->getName(), proposed); });
    } else if (boost::dynamic_pointer_cast<ParamStatic>(setting)) {
        const std::string text = setting->getDefault();
        std::cout << setting->getDescription() << "\n" << setting->getName() << ": " << text << "\n";
        setting->setValue(text);
    } else if (boost::dynamic_pointer_cast<ParamHidden>(setting)) {
        setting->setValue(setting->getDefault());
        return;
    } else {
        std::cout << setting->getDescription() << "\n";
        askUntilAccepted(*setting, [&] { return askText(setting->getName(), proposed); });
    }
    std::cout << "\n";
}
