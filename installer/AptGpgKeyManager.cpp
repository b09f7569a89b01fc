#include "installer/AptGpgKeyManager.h"

const std::string& AptGpgKeyManager::getKeyringPath()
{
    static const std::string* const path = new std::string("/etc/apt/keyrings/zanth.gpg");
    return *path;
}
