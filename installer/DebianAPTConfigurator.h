#ifndef KW_INSTALLER_DEBIANAPTCONFIGURATOR_H
#define KW_INSTALLER_DEBIANAPTCONFIGURATOR_H

#include <map>
#include <string>
#include <vector>

#include "installer/SystemSpecificConfigurator.h"

class ComponentManager;
class Package;
class Repository;
class SourceManager;

// The configurator of Debian and Ubuntu: writes the product's apt list files, installs its signing
// keys into apt's keyrings, registers i386 on x86_64, refreshes apt's indexes, checks that the
// system's own release repositories are configured and asks apt-cache for candidate versions.
class DebianAPTConfigurator : public SystemSpecificConfigurator {
public:
    // The text setting is kept for the driver's sake only; the component manager is not kept, the
    // source manager and the repository are not owned.
    DebianAPTConfigurator(const std::string& setting, ComponentManager* componentManager, SourceManager* sourceManager,
                          Repository* repository);

    void configureSources() override;
    // Asks apt-cache once for the candidates of all the names; later lookups of them run no command.
    void prepareAvailablePackagesList(const std::vector<std::string>& names) override;
    Installer* createInstaller(ComponentManager* componentManager) override;

    // Whether apt names a "cdrom://" source; the backend warns about it before it installs.
    bool isCdromSourceFound() const { return cdromSourceFound; }

    static const char LIST_DIR[];
    static const char TEMPORARY_LIST[];
    // The persistent list file of a product.
    static std::string persistentListOf(const std::string& productId);

protected:
    const Package* doGetAvailablePackage(const std::string& name) override;
    void doConfigure() override;
    void doRemoveTemporarySources() override;

private:
    void writeSourceLists();
    void configureKeys();
    void process_apt_get_update(bool echo);
    void registerNewArchitecture(const std::string& arch);
    void checkSourceForCurrentRelease();
    // Stores the package under the name and logs it.
    void storeAvailable(const std::string& name, const Package* package);

    std::string setting;
    SourceManager* sourceManager;
    bool cdromSourceFound;
    Repository* repository;
    // Null: apt offers no candidate for the name that was asked for.
    std::map<std::string, const Package*> availablePackages;
};

#endif
