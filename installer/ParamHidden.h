#ifndef KW_INSTALLER_PARAMHIDDEN_H
#define KW_INSTALLER_PARAMHIDDEN_H

#include <string>

#include "installer/Param.h"

// A setting the user never sees: it takes its expanded default as value.
class ParamHidden : public Param {
public:
    using Param::Param;

    std::string getTypeName() const override { return "__type_hidden__tei9Rae9__"; }
    bool validate(const std::string&) override { return true; }
};

#endif
