#include "installer/Installer.h"

bool isRemover(const Package* package)
{
    return package->getType() == 'd' && package->getObsolete(0);
}
