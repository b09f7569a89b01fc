#ifndef KW_INSTALLER_PARAMPASSWORD_H
#define KW_INSTALLER_PARAMPASSWORD_H

#include <string>

#include "installer/Param.h"

// A secret text within optional length bounds that matches an optional pattern; a refusal says why.
class ParamPassword : public Param {
public:
    ParamPassword(const boost::shared_ptr<KwComponent>& owner, const std::string& id, const std::string& min_length,
                  const std::string& max_length, const std::string& regex);

    std::string getTypeName() const override { return "password"; }
    bool validate(const std::string& text) override;

    const std::string& getMinLength() const { return min_length; }
    const std::string& getMaxLength() const { return max_length; }
    const std::string& getRegex() const { return regex; }

private:
    std::string min_length;
    std::string max_length;
    std::string regex;
};

#endif
