#include "installer/TextDlgInstTypes.h"

#include <iomanip>
#include <iostream>

#include "common/Messages.h"
#include "common/format_message.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "installer/Release.h"

TextDlgInstTypes::TextDlgInstTypes(BuildManager* builds_, ComponentManager* components_)
    : DlgInstTypes(builds_, components_)
{
}

DialogResult TextDlgInstTypes::run()
{
    componentList = false;
    if (chosen.empty())
        return FORWARD;
    currentProduct = chosen.front().first;
    show();
    for (;;) {
        const Answer answer = askAction(choiceList("F/b/q", lastNumber), "F");
        if (isNumber(answer) && selectNumber(number(answer))) {
            show();
            continue;
        }
        if (isLetter(answer)) {
            switch (letter(answer)) {
            case 'B':
            case 'P': return BACK;
            case 'F':
            case 'N': return FORWARD;
            case 'L': componentList = true; return FORWARD;
            case 'Q': return QUIT;
            }
        }
        std::cout << Messages().get("wizard_prompt_action_or_number_retry");
    }
}

void TextDlgInstTypes::show()
{
    Messages messages;
    const InstTypes& data = components->instTypes;
    const InstTypes::product_t& current = data.getProduct(currentProduct);
    std::string title = current.name;
    const std::string releaseId = builds ? builds->getSelectedReleaseId(currentProduct) : std::string();
    if (!releaseId.empty()) {
        if (const boost::shared_ptr<Release> release = builds->findRelease(releaseId))
            title += " " + release->get_codename();
    }

    int number = 0;
    if (chosen.size() == 1) {
        showHeader(format_message(messages.get("insttypes_page_hdr1"), title));
        std::cout << messages.get("insttypes_page_body") << "\n\n";
    } else {
        showHeader(messages.get("insttypes_page_hdr"));
        std::cout << messages.get("insttypes_page_body") << "\n\n";
        for (const InstTypes::product_t& product : data.getProducts()) {
            const std::string& type = InstTypes::getType(product, chosenFor(product.id)).names.front();
            std::cout << std::setw(2) << ++number << ". (" << (product.id == currentProduct ? '*' : ' ') << ") "
                      << product.name << " (" << type << " installation)\n";
        }
        std::cout << "\n" << format_message(messages.get("insttypes_page_hdr1"), title) << ":\n\n";
    }
    const std::string& chosenType = chosenFor(currentProduct);
    for (const InstTypes::type_t& type : current.types) {
        std::cout << std::setw(2) << ++number << ". (" << (type.names.front() == chosenType ? '*' : ' ') << ") "
                  << type.names.front() << "\n       " << type.description << "\n\n";
    }
    lastNumber = number;

    std::cout << "\n";
    for (const char* key :
         {"wizard_legend_header", "wizard_legend_f_forward", "wizard_legend_b_back", "wizard_legend_q_quit"})
        std::cout << messages.get(key) << "\n";
    std::cout << "\n" << messages.get("wizard_prompt_action_or_number");
}

bool TextDlgInstTypes::selectNumber(int number)
{
    const InstTypes& data = components->instTypes;
    int first = 1;  // the number of the first type
    if (chosen.size() > 1) {
        const int products = static_cast<int>(data.getProducts().size());
        if (number >= 1 && number <= products) {
            currentProduct = data.getProducts()[number - 1].id;
            return true;
        }
        first = products + 1;
    }
    const InstTypes::product_t& current = data.getProduct(currentProduct);
    const int index = number - first;
    if (number < first || index >= static_cast<int>(current.types.size()))
        return false;
    chosenFor(currentProduct) = current.types[index].names.front();
    return true;
}
