#ifndef KW_INSTALLER_PARAMENUM_H
#define KW_INSTALLER_PARAMENUM_H

#include <string>
#include <utility>
#include <vector>

#include "installer/SubParams.h"

// A choice among ids; the settings of a choice hang under the branch of its id.
class ParamEnum : public SubParams {
public:
    typedef std::vector<std::pair<std::string, std::string>> choices_t;  // (choice id, display text)

    using SubParams::SubParams;

    std::string getTypeName() const override { return "enum"; }
    // One of the choice ids, byte for byte.
    bool validate(const std::string& text) override;

    void setChoices(const choices_t& list) { choices = list; }
    const choices_t& getChoices() const { return choices; }

private:
    choices_t choices;
};

#endif
