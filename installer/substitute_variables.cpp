#include "installer/substitute_variables.h"

#include "common/Messages.h"

namespace {

// Worked out at every call: the catalog's locale may change during a run.
std::string locale_variable()
{
    std::string name = Messages().getLocale();
    name = name.substr(0, name.find('.'));
    if (name.size() > 3 && name[2] == '_')
        name[2] = '-';
    return name;
}

}  // namespace

void substitute_variables(std::string& text)
{
    std::string::size_type open = text.find('[');
    while (open != std::string::npos) {
        const std::string::size_type close = text.find(']', open);
        if (close == std::string::npos)
            return;
        if (text.compare(open + 1, close - open - 1, "LOCALE") == 0) {
            const std::string value = locale_variable();
            text.replace(open, close - open + 1, value);
            // Go on after the value: it is not searched for names itself.
            open = text.find('[', open + value.size());
        } else {
            open = text.find('[', close);
        }
    }
}
