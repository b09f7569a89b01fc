#include "installer/Installer.h"

bool isRemover(const Package* package)
{
    return package->getType() == 'd' && package->getObsolete(0);
}

bool isRemoverFor(const std::pair<std::string, std::string>& target, const Package* package)
{
    return isRemover(package) && package->getObsolete(0)->getName() == target.first &&
           target.second == package->getArch().c_str();
}
