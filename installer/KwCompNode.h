#ifndef KW_INSTALLER_KWCOMPNODE_H
#define KW_INSTALLER_KWCOMPNODE_H

#include <string>

class Build;

// A node of a release's component tree (a component, a radio group or a sub-group), as listings see it.
class KwCompNode {
public:
    virtual ~KwCompNode();

    // 'X' will be removed, '*' will be installed, '=' up to date, '!' not available, ' ' nothing to
    // show; a sub-group whose members differ shows '.'.
    virtual char getStatusChar() const = 0;
    virtual std::string getDescription() const = 0;
    // The id of the product whose build the node belongs to.
    virtual std::string getProductId() const = 0;

protected:
    // The id of the product of the build's release; empty when the build, its release or the
    // release's product is missing (an addon build is attached to a release only later).
    static std::string productIdOf(const Build* build);
};

#endif
