#ifndef KW_INSTALLER_GPGKEYMANAGER_H
#define KW_INSTALLER_GPGKEYMANAGER_H

#include <memory>
#include <string>
#include <unordered_set>

// Makes the system's package manager trust the public keys that sign the product's packages.
class GpgKeyManager {
public:
    virtual ~GpgKeyManager();
    // Trusts one armored public key.
    virtual void importKey(const std::string& keyText) = 0;

    // The manager for the running system's family.
    static std::unique_ptr<GpgKeyManager> create();

    // The identities (user ids) of the keys that sign the product's packages.
    static const char* const SIGNING_IDENTITIES[2];
};

// Collects the keys in a temporary GnuPG home and exports them into the product's keyrings, which
// its apt lines name.
class AptGpgKeyManager : public GpgKeyManager {
public:
    // A directory of its own under /tmp, removed with everything in it when the object goes.
    class AutoremovedTempdir {
    public:
        AutoremovedTempdir();
        virtual ~AutoremovedTempdir();
        AutoremovedTempdir(const AutoremovedTempdir&) = delete;
        AutoremovedTempdir& operator=(const AutoremovedTempdir&) = delete;

        const std::string& path() const { return path_; }

    private:
        std::string path_;
    };

    // Finds the GnuPG program ("gpg", "gpg2" or "gpg1") and makes the temporary home.
    AptGpgKeyManager();

    void importKey(const std::string& keyText) override;
    // Writes every key imported so far to the keyring file, readable by all.
    void exportKeyring(const std::string& path);
    // The fingerprints of the primary keys of a keyring file; none when it does not exist.
    std::unordered_set<std::string> getFingerprints(const std::string& keyringPath);
    // Deletes from apt's legacy keyring the keys that the product's trusted keyring holds too.
    void removeDuplicateTrustedKeys();

    // The keyring that the product's apt lines name in their signed-by option.
    static const std::string& getKeyringPath();
    // The same keys in apt's directory of trusted keyrings.
    static const std::string& getTrustedPartKeyringPath();
    // apt's legacy keyring.
    static const std::string& getLegacyKeyringPath();

private:
    // The GnuPG command line up to its operation, over the temporary home only.
    std::string gpgCommand() const;

    std::string gpgProgram;
    AutoremovedTempdir home;
};

// Imports the keys into the rpm database.
class YumGpgKeyManager : public GpgKeyManager {
public:
    void importKey(const std::string& keyText) override;
    // Removes the product's keys that rpm holds, so that only the keys imported next stay. Failures
    // are only logged.
    void removeInstalledZanthKeys();
};

#endif
