#ifndef KW_INSTALLER_FLOW_STEPS_H
#define KW_INSTALLER_FLOW_STEPS_H

#include <set>
#include <string>
#include <vector>

#include "common/checked_pointer.h"

class BuildManager;
class ComponentsExamine;
class ComponentManager;
class FileFetcher;
class Installer;
class ParamManager;
class ReleaseSelector;
class Repository;
class SourceManager;
class SourceUrl;
class SystemSpecificConfigurator;
class TiXmlElement;

// The steps that the command-line flow, the console wizard and the web interface share: the
// catalogue with the system package source, the release selection, the configurator and the
// installer of this system, explicit component lists and the installation itself.
namespace driver {

// Attaches the package source of the installed packages that fits the running system's vendor and
// makes it the process-wide one. With warnIfPresent, a process that has one already attaches none.
void add_system_source(Repository* repository, bool warnIfPresent);

// Fills the holders: a repository with the system source (unless one is held), a file fetcher for
// the source and the catalogue it reads, with the release states computed and the releases cropped
// by the settings' tiers.
void load_build_manager(const SourceUrl& source, const std::string& target,
                        checked_autoclean_pointer<Repository>& repository,
                        checked_autoclean_pointer<FileFetcher>& fetcher,
                        checked_autoclean_pointer<BuildManager>& buildManager);

// The id of the release that the selector names.
std::string get_release_id(const ReleaseSelector& selector, BuildManager* manager);
// Selects the release of every selector of the settings, in order: a later selector of a product wins.
void select_releases(BuildManager* manager);

// The configurator of the running system, owned by the caller; null when none fits (a base
// component without Debian packages outside the Red Hat family).
SystemSpecificConfigurator* create_configurator(Repository* repository, FileFetcher* fetcher, const SourceUrl& source,
                                                ComponentManager* components, SourceManager* sources);
// The configurator's installer, owned by the caller; null without a configurator.
Installer* create_installer(Repository* repository, ComponentManager* components,
                            SystemSpecificConfigurator* configurator, SourceManager* sources);
// The warning text of the configuration check, computed once until the package flavour of the base
// component changes.
std::string get_configuration_warnings(SystemSpecificConfigurator* configurator);

// Requests the named components of the product for installation and removal with everything they
// imply; refuses implicit removals that a component denies and conflicting requests.
void report_dependency_changes(ComponentManager* components, const std::string& product,
                               const std::vector<std::string>& install, const std::vector<std::string>& remove);

class auto_configurator;

// The installation of the resolved selection: the settings files, the error-report utility, the
// product repositories the selection needs, the installer's work, the action-time record, the new
// release states and the post-installation checks. Cancelling by SIGHUP is held off throughout; a
// failure runs the checks meant for failed installations before it passes on.
void do_install(BuildManager* catalogue, ComponentManager* components, ComponentsExamine* examine, FileFetcher* fetcher,
                Installer* installer, ParamManager* params, Repository* repository, SourceManager* sources,
                auto_configurator* configurator);
// Marks the configuration for commit, then runs the post-installation checks: one with an error
// result fails the run, the configuration staying committed. Removes the cached list of the system's
// packages unless clean-up is skipped.
void run_post_examine(Installer* installer, ComponentsExamine* examine);

// The value of the element's attribute, "" without one; a null element is a tinybind::err.
std::string get_attribute(const TiXmlElement* element, const std::string& name);
// The products whose selected release of the main list is no upgrade.
std::set<std::string> get_non_upgrade_products(BuildManager* manager);

}  // namespace driver

#endif
