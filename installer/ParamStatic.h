#ifndef KW_INSTALLER_PARAMSTATIC_H
#define KW_INSTALLER_PARAMSTATIC_H

#include <string>

#include "installer/Param.h"

// A text the user reads and never changes: it takes its expanded default as value.
class ParamStatic : public Param {
public:
    using Param::Param;

    std::string getTypeName() const override { return "static-text"; }
    bool validate(const std::string&) override { return true; }
};

#endif
