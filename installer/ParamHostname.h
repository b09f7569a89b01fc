#ifndef KW_INSTALLER_PARAMHOSTNAME_H
#define KW_INSTALLER_PARAMHOSTNAME_H

#include <string>

#include "installer/Param.h"

// A setting holding a host: a domain name or four dotted numbers.
class ParamHostname : public Param {
public:
    using Param::Param;

    std::string getTypeName() const override { return "host-name"; }
    bool validate(const std::string& text) override;
};

#endif
