#include "installer/KwCompNode.h"

#include "installer/Build.h"
#include "installer/Product.h"
#include "installer/Release.h"

KwCompNode::~KwCompNode() = default;

std::string KwCompNode::productIdOf(const Build* build)
{
    if (!build || !build->getParent() || !build->getParent()->prod())
        return "";
    return build->getParent()->prod()->id();
}
