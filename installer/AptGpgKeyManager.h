#ifndef KW_INSTALLER_APTGPGKEYMANAGER_H
#define KW_INSTALLER_APTGPGKEYMANAGER_H

#include <string>

// The signing keys of the product's apt repositories.
class AptGpgKeyManager {
public:
    // The keyring that the product's apt lines name in their signed-by option.
    static const std::string& getKeyringPath();
};

#endif
