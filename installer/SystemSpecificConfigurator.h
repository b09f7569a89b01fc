#ifndef KW_INSTALLER_SYSTEMSPECIFICCONFIGURATOR_H
#define KW_INSTALLER_SYSTEMSPECIFICCONFIGURATOR_H

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

class Build;
class ComponentManager;
class Installer;
class Package;
class SourceZanth;

// Prepares the server's own package manager for the product's package sources, answers which package
// versions it offers and creates the matching installation backend. The persistent configuration
// files it changes are kept when the run commits and restored otherwise, when the run ends.
class SystemSpecificConfigurator {
public:
    SystemSpecificConfigurator();
    virtual ~SystemSpecificConfigurator();
    SystemSpecificConfigurator(const SystemSpecificConfigurator&) = delete;
    SystemSpecificConfigurator& operator=(const SystemSpecificConfigurator&) = delete;

    // Writes the sources of the add-ons that the selection currently needs.
    virtual void configureSources() = 0;
    virtual void prepareAvailablePackagesList(const std::vector<std::string>& names);
    // The backend for this package system, owned by the caller.
    virtual Installer* createInstaller(ComponentManager* manager) = 0;

    // Runs the set-up once; a second call is an internal error.
    void configure();
    void configureVariant();
    // The warning text of the configuration check, computed on the first call only.
    std::string checkConfiguration();
    // The package of that name that the system package manager offers, or null. The package stays
    // valid for the rest of the process.
    const Package* getAvailablePackage(const std::string& name);
    // Both do nothing unless the configurator was configured.
    void removeTemporarySources();
    void finish();
    // Makes finish() keep the changes to the persistent files.
    void setCommitChanges();
    // Makes finish() undo the changes to the persistent files, and finishes.
    void rollback();

    // Exports the process-wide download proxy as "http_proxy" for child processes.
    static void setProxyEnvironment();

protected:
    virtual const Package* doGetAvailablePackage(const std::string& name) = 0;
    virtual void doConfigure() = 0;
    virtual std::string doCheckConfiguration();
    virtual void doConfigureVariant();
    virtual void doRemoveTemporarySources() = 0;
    virtual void doFinish();

    // Registers a persistent file before it is changed: its content from before the run is kept
    // beside it, unless a copy from an interrupted earlier run is already there.
    void addPersistentFile(const std::string& path);
    void commitPersistentConfiguration();
    void rollbackPersistentConfiguration();

    // The builds behind the sources that check signatures, each once, in the order of their first
    // source: whose keys the package manager must trust.
    static std::vector<boost::shared_ptr<Build>> signatureCheckedBuilds(
        const std::vector<std::shared_ptr<SourceZanth>>& sources);

    // Set once the set-up has run; a subclass sets it early when clean-up is needed even after a
    // later failure of its set-up.
    bool configured;

private:
    bool commitChanges;
    std::set<std::string> persistentFiles;  // changed since the last commit or rollback
    bool checkDone;
    std::string checkText;
};

#endif
