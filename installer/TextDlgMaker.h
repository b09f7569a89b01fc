#ifndef KW_INSTALLER_TEXTDLGMAKER_H
#define KW_INSTALLER_TEXTDLGMAKER_H

#include "installer/DlgMaker.h"

// Makes the console pages (TextDlg...).
class TextDlgMaker : public DlgMaker {
public:
    Dialog* makeHello() override;
    Dialog* makeAdvSettings(const std::string& source, const std::string& target,
                            const Downloader::Proxy& proxy) override;
    Dialog* makeReleases(BuildManager* builds, Repository* repository, int allVersions) override;
    Dialog* makeInstTypes(BuildManager* builds, ComponentManager* components) override;
    Dialog* makeComponents(ComponentManager* components, BuildManager* builds) override;
    Dialog* makeOptions(ParamManager* params) override;
    Dialog* makePackages(const cpkgs_t* packages, Repository* repository) override;
    Dialog* makeYesNo(const std::string& question) override;
    Dialog* makeYesNoNoDefault(const std::string& question) override;
    Dialog* makeMessage(const std::string& text) override;
    Dialog* makePrompt(const std::string& prompt, const std::string& defaultAnswer) override;
};

#endif
