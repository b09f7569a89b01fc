#include "installer/TextDlgMaker.h"

#include "installer/TextDlgAdvSettings.h"
#include "installer/TextDlgComponents.h"
#include "installer/TextDlgHello.h"
#include "installer/TextDlgInstTypes.h"
#include "installer/TextDlgMessage.h"
#include "installer/TextDlgOptions.h"
#include "installer/TextDlgPackages.h"
#include "installer/TextDlgPrompt.h"
#include "installer/TextDlgReleases.h"
#include "installer/TextDlgYesNo.h"

DlgMaker* DlgMaker::create()
{
    return new TextDlgMaker();
}

Dialog* TextDlgMaker::makeHello()
{
    return new TextDlgHello();
}

Dialog* TextDlgMaker::makeAdvSettings(const std::string& source, const std::string& target,
                                      const Downloader::Proxy& proxy)
{
    return new TextDlgAdvSettings(source, target, proxy);
}

Dialog* TextDlgMaker::makeReleases(BuildManager* builds, Repository* repository, int allVersions)
{
    return new TextDlgReleases(builds, repository, allVersions != 0);
}

Dialog* TextDlgMaker::makeInstTypes(BuildManager* builds, ComponentManager* components)
{
    return new TextDlgInstTypes(builds, components);
}

Dialog* TextDlgMaker::makeComponents(ComponentManager* components, BuildManager* builds)
{
    return new TextDlgComponents(components, builds);
}

Dialog* TextDlgMaker::makeOptions(ParamManager* params)
{
    return new TextDlgOptions(params);
}

Dialog* TextDlgMaker::makePackages(const cpkgs_t* packages, Repository* repository)
{
    return new TextDlgPackages(packages, repository);
}

Dialog* TextDlgMaker::makeYesNo(const std::string& question)
{
    return new TextDlgYesNo(question, true);
}

Dialog* TextDlgMaker::makeYesNoNoDefault(const std::string& question)
{
    return new TextDlgYesNo(question, false);
}

Dialog* TextDlgMaker::makeMessage(const std::string& text)
{
    return new TextDlgMessage(text);
}

Dialog* TextDlgMaker::makePrompt(const std::string& prompt, const std::string& defaultAnswer)
{
    return new TextDlgPrompt(prompt, defaultAnswer);
}
