#ifndef KW_INSTALLER_DLGMAKER_H
#define KW_INSTALLER_DLGMAKER_H

#include <string>

#include "common/Downloader.h"
#include "common/Package.h"
#include "installer/Dialog.h"

class BuildManager;
class ComponentManager;
class ParamManager;
class Repository;

// The factory of the wizard's pages: the flows ask it for a page of a kind and never name a page
// class. Every page it makes belongs to the caller, who deletes it through Dialog; texts are copied
// into the page. It holds no state, so any number of factories may exist.
class DlgMaker {
public:
    // The console factory, owned by the caller.
    static DlgMaker* create();

    virtual Dialog* makeHello() = 0;
    virtual Dialog* makeAdvSettings(const std::string& source, const std::string& target,
                                    const Downloader::Proxy& proxy) = 0;
    // `allVersions`: the page also lists the releases it would otherwise leave out.
    virtual Dialog* makeReleases(BuildManager* builds, Repository* repository, int allVersions) = 0;
    virtual Dialog* makeInstTypes(BuildManager* builds, ComponentManager* components) = 0;
    virtual Dialog* makeComponents(ComponentManager* components, BuildManager* builds) = 0;
    virtual Dialog* makeOptions(ParamManager* params) = 0;
    // The page counts the list when it is made and keeps pointing to it.
    virtual Dialog* makePackages(const cpkgs_t* packages, Repository* repository) = 0;
    // An empty answer counts as yes.
    virtual Dialog* makeYesNo(const std::string& question) = 0;
    // An empty answer is refused: the user has to type yes or no.
    virtual Dialog* makeYesNoNoDefault(const std::string& question) = 0;
    virtual Dialog* makeMessage(const std::string& text) = 0;
    virtual Dialog* makePrompt(const std::string& prompt, const std::string& defaultAnswer) = 0;
    virtual ~DlgMaker() = default;
};

#endif
