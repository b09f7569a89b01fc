#ifndef KW_INSTALLER_COMPONENTMANAGER_H
#define KW_INSTALLER_COMPONENTMANAGER_H

#include <vector>

#include <boost/shared_ptr.hpp>

#include "installer/InstTypes.h"

class KwCompNode;

// Owns the component forest of the releases and addons the run has loaded, and the installation
// types of their products. The build loader fills both; the selection logic reaches every component
// through the manager.
class ComponentManager {
public:
    InstTypes instTypes;
    // The root nodes, in the order the build loader appended them.
    std::vector<boost::shared_ptr<KwCompNode>> roots;
};

#endif
