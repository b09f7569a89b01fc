#ifndef KW_INSTALLER_PARAMPATH_H
#define KW_INSTALLER_PARAMPATH_H

#include <string>

#include "installer/Param.h"

// A full path of a directory, optionally one that must exist; a refusal says why.
class ParamPath : public Param {
public:
    ParamPath(const boost::shared_ptr<KwComponent>& owner, const std::string& id, bool must_exist);

    std::string getTypeName() const override { return "path"; }
    bool validate(const std::string& text) override;
    // Stores the path without its trailing "/"s.
    void store(const std::string& text) override;

    bool mustExist() const { return must_exist; }

private:
    bool must_exist;
};

#endif
