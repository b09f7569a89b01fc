#ifndef KW_INSTALLER_YUMCONFIGURATOR_H
#define KW_INSTALLER_YUMCONFIGURATOR_H

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/checked_pointer.h"
#include "installer/SystemSpecificConfigurator.h"

class ComponentManager;
class Package;
class Repository;
class SourceManager;

// The configurator of the RPM family: writes the product's yum repository files, imports its signing
// keys into rpm, installs the helper script that drives yum or dnf for the installer, checks the
// package configuration with it and asks the package tool which versions its repositories offer.
class YumConfigurator : public SystemSpecificConfigurator {
public:
    // One supported package tool and the helper script that drives it.
    struct PackageTool {
        const char* toolPath;
        const char* helperPath;
        const char* script;
        std::size_t scriptLength;
    };

    // Chooses dnf when "/usr/bin/dnf-3" exists, else yum; raises "err_yum_not_found" without either.
    // Called once, before the first configurator is made.
    static void detectPackageTool();
    // The helper script of the chosen tool.
    static const char* getHelperPath();
    // The tool that detectPackageTool chose; null before.
    static const PackageTool* activeTool;

    static const PackageTool YUM;
    static const PackageTool DNF;

    static const char REPO_DIR[];
    static const char TEMPORARY_REPO_FILE[];
    // The persistent repository file of a product.
    static std::string persistentRepoFileOf(const std::string& productId);

    // The text setting is kept for the driver's sake only; the source manager and the repository are
    // not owned.
    YumConfigurator(const std::string& setting, SourceManager* sourceManager, Repository* repository);

    // Imports the keys and rewrites the repository files of the current sources.
    void configureSources() override;
    // Refreshes the helper's view of the repositories, then asks the tool once for all the names;
    // later lookups of them run no command.
    void prepareAvailablePackagesList(const std::vector<std::string>& names) override;
    Installer* createInstaller(ComponentManager* componentManager) override;

    // The ids of the product's yum repositories, in id order; the backend enables each for the helper.
    const std::set<std::string>& getRepositoryIds() const { return repositoryIds; }

    // An available package of the OS repositories as "dnf info" shows it.
    static const Package* package_from_yum_info(const std::string& name, const std::string& version,
                                                const std::string& release, const std::string& epoch);

protected:
    const Package* doGetAvailablePackage(const std::string& name) override;
    void doConfigure() override;
    std::string doCheckConfiguration() override;
    void doRemoveTemporarySources() override;

private:
    void writeRepoFiles();
    void configureKeys();
    void configureWrapper();
    // Logs how a helper or system command ended, unless it exited with 0.
    static void logHelperExitStatus(int status, const std::string& label, const std::string& command,
                                    const std::string& errorText);

    std::string setting;
    checked_pointer<SourceManager> sourceManager;
    checked_pointer<Repository> repository;
    std::set<std::string> repositoryIds;
    // Null: the name was asked for and no repository offers it.
    std::map<std::string, const Package*> availablePackages;
};

#endif
