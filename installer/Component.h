#ifndef KW_INSTALLER_COMPONENT_H
#define KW_INSTALLER_COMPONENT_H

#include <set>
#include <string>
#include <vector>

#include "common/Package.h"
#include "installer/BuildInfFile.h"

namespace Bootstrapper {
class Action;
}

// What the catalogue says about one component of a build. It carries no installed state; the
// component node of the tree builds on it. The packages and actions are owned elsewhere.
class Component {
public:
    // "name description": the name is the text before the first blank, the description the rest.
    explicit Component(const char* text);

    // Whether the first package is a Debian package, or an RPM package; a component without
    // packages cannot tell.
    bool isDebian() const;
    bool isRPM() const;

    cpkgs_t packages;
    cpkgs_t bootstrapper_packages;
    std::vector<Bootstrapper::Action*> bootstrapper_actions;
    BuildInfFile::names_t hardwired_with;
    BuildInfFile::names_t requirements;  // component or group names
    BuildInfFile::names_t conflicts;
    BuildInfFile::names_t expackages;
    BuildInfFile::names_t rmpackages;
    std::vector<BuildInfFile::examine_t> examines;
    std::string name;
    std::string description;
    std::string environment;  // empty (any), "dedicated" or "qz"
    std::vector<BuildInfFile::keypackages_t> keypackages;
    BuildInfFile::names_t yxtemplates;
    std::set<std::string> classes;
    bool uninstall_support = true;
    bool hidden = false;
    bool show_installed_hidden = false;

protected:
    // Every list empty and the flags at their initial values, for the build loader to fill.
    Component() = default;

private:
    const Package* firstPackage() const;
};

#endif
