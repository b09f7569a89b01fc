#ifndef KW_INSTALLER_KWSUBGROUP_H
#define KW_INSTALLER_KWSUBGROUP_H

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "installer/KwGroup.h"

// Components and nested groups gathered for display and selection.
class KwSubGroup : public KwGroup {
public:
    typedef std::vector<boost::shared_ptr<KwCompNode>> children_t;

    KwSubGroup(const boost::shared_ptr<Build>& build, const std::string& name, const std::string& description);

    // The children's common character; ' ' without children, '.' when they differ.
    char getStatusChar() const override;
    bool isEmpty() const override;

    children_t children;
};

#endif
