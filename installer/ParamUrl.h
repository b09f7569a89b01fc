#ifndef KW_INSTALLER_PARAMURL_H
#define KW_INSTALLER_PARAMURL_H

#include <string>

#include "installer/Param.h"

// A setting holding an address: a scheme, "://" and a host followed by a "/".
class ParamUrl : public Param {
public:
    using Param::Param;

    std::string getTypeName() const override { return "url"; }
    bool validate(const std::string& text) override;
};

#endif
