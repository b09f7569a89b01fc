#ifndef KW_INSTALLER_PARAMFLOAT_H
#define KW_INSTALLER_PARAMFLOAT_H

#include <string>

#include "installer/Param.h"

// A decimal number within optional bounds.
class ParamFloat : public Param {
public:
    ParamFloat(const boost::shared_ptr<KwComponent>& owner, const std::string& id, const std::string& min,
               const std::string& max);

    std::string getTypeName() const override { return "float"; }
    // The text must hold a decimal number; it is read as a float from its start (0 when it does not
    // start with one) and compared with the bounds read the same way.
    bool validate(const std::string& text) override;

    const std::string& getMin() const { return min; }
    const std::string& getMax() const { return max; }

private:
    std::string min;
    std::string max;
};

#endif
