#ifndef KW_INSTALLER_PARAMINTEGER_H
#define KW_INSTALLER_PARAMINTEGER_H

#include <string>

#include "installer/Param.h"

// A whole number within optional bounds.
class ParamInteger : public Param {
public:
    ParamInteger(const boost::shared_ptr<KwComponent>& owner, const std::string& id, const std::string& min,
                 const std::string& max);

    std::string getTypeName() const override { return "integer"; }
    // A number of signs and digits; a bound that is not a number refuses every text.
    bool validate(const std::string& text) override;

    const std::string& getMin() const { return min; }
    const std::string& getMax() const { return max; }

private:
    std::string min;
    std::string max;
};

#endif
