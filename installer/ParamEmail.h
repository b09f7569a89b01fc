#ifndef KW_INSTALLER_PARAMEMAIL_H
#define KW_INSTALLER_PARAMEMAIL_H

#include <string>

#include "installer/Param.h"

// A setting holding an e-mail address: one "@" with something else on both sides.
class ParamEmail : public Param {
public:
    using Param::Param;

    std::string getTypeName() const override { return "email"; }
    bool validate(const std::string& text) override;
};

#endif
