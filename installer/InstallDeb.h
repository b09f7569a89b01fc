#ifndef KW_INSTALLER_INSTALLDEB_H
#define KW_INSTALLER_INSTALLDEB_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/Installer.h"

class DebianAPTConfigurator;

// The installer of Debian and Ubuntu: apt-get works out the transaction, its simulated plan is read
// back into packages, and apt-get installs them. A dpkg lock held by another process is waited out.
class InstallDeb : public Installer {
public:
    // The configurator must be the apt one, and apt-get must be there.
    InstallDeb(Repository* repository, ComponentManager* componentManager,
               checked_pointer<SystemSpecificConfigurator> configurator);
    ~InstallDeb() override;

    // The selection's packages, then whatever apt-get's simulation adds or removes with them.
    cpkgs_t& resolve() override;
    // One apt-get run, repeated while another process holds the dpkg lock.
    void installPackages(cpkgs_t& list) override;
    // apt-get fetches the packages while it installs; only a download-only run fetches here.
    void download() override;

    // The apt-get command line up to its operation, the same for every run of this installer.
    std::string commandPrefix() const;
    // The operation's arguments for the packages, each after a blank; empty when apt-get has nothing
    // to do with them.
    static std::string packageArguments(const cpkgs_t& list, Repository& repository);

    // Replaces the sleep between the attempts of an install (null restores it), so that tests can
    // run the retry rule without waiting.
    typedef std::function<void(int seconds)> sleeper_t;
    static void setSleeper(sleeper_t sleeper);

    static const char APT_GET[];
    // Attempts after the first while the lock is held, and the wait before each.
    static constexpr int LOCK_RETRIES = 30;
    static constexpr int LOCK_WAIT_SECONDS = 60;

private:
    // Adds the packages of an "Inst", "Conf", "Remv" or "Purg" line of the simulation.
    void addPlannedPackage(const std::string& line);
    void reportResolveFailure(const std::string& errorText, const std::string& command, int code,
                              const std::string& output) const;

    DebianAPTConfigurator* aptConfigurator;
    // The packages of apt's plan that the repository does not know.
    std::vector<std::unique_ptr<Package>> plannedPackages;
};

#endif
