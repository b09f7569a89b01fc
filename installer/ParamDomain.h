#ifndef KW_INSTALLER_PARAMDOMAIN_H
#define KW_INSTALLER_PARAMDOMAIN_H

#include <string>

#include "installer/Param.h"

// A setting holding a domain name of at least two labels.
class ParamDomain : public Param {
public:
    using Param::Param;

    std::string getTypeName() const override { return "domain-name"; }
    bool validate(const std::string& text) override;

    // Longer than 255 bytes, or a reverse-lookup name: no name of a server.
    static bool isRefusedName(const std::string& text);
    // Two or more dot-separated labels of 1 to 63 letters, digits and hyphens, none beginning or
    // ending with a hyphen.
    static bool matchesDomainPattern(const std::string& text);
};

#endif
