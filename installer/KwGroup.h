#ifndef KW_INSTALLER_KWGROUP_H
#define KW_INSTALLER_KWGROUP_H

#include <string>

#include <boost/shared_ptr.hpp>

#include "installer/KwCompNode.h"

class Build;

// An inner node of the component tree. The build loader writes the fields directly.
class KwGroup : public KwCompNode {
public:
    KwGroup(const boost::shared_ptr<Build>& build, const std::string& name, const std::string& description);

    std::string getDescription() const override;
    std::string getProductId() const override;
    virtual bool isEmpty() const = 0;

    boost::shared_ptr<Build> getBuild() const { return build; }

    std::string name;
    std::string description;
    boost::shared_ptr<Build> build;  // of the release the group comes from
};

#endif
