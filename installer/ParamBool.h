#ifndef KW_INSTALLER_PARAMBOOL_H
#define KW_INSTALLER_PARAMBOOL_H

#include <string>

#include "installer/SubParams.h"

// A yes/no setting; its further settings hang under the branch "true".
class ParamBool : public SubParams {
public:
    using SubParams::SubParams;

    std::string getTypeName() const override { return "boolean"; }
    // true, y, yes, false, n or no, in any case.
    bool validate(const std::string& text) override;
    // Stores "true" or "false".
    void store(const std::string& text) override;

    // 1 for a yes word, 0 for a no word, -1 for anything else; case does not matter.
    static int truth(std::string text);
};

#endif
