#include "installer/TextDlgMaker.h"

#include "common/error.h"
#include "installer/TextDlgAdvSettings.h"
#include "installer/TextDlgHello.h"
#include "installer/TextDlgMessage.h"
#include "installer/TextDlgPrompt.h"
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

// The console pages of the releases, installation types, components, settings and packages come
// with the wizard's flow; until then asking for one is a fault of the caller.
Dialog* TextDlgMaker::makeReleases(BuildManager*, Repository*, int)
{
    throw KW_INTERNAL_ERROR();
}

Dialog* TextDlgMaker::makeInstTypes(BuildManager*, ComponentManager*)
{
    throw KW_INTERNAL_ERROR();
}

Dialog* TextDlgMaker::makeComponents(ComponentManager*, BuildManager*)
{
    throw KW_INTERNAL_ERROR();
}

Dialog* TextDlgMaker::makeOptions(ParamManager*)
{
    throw KW_INTERNAL_ERROR();
}

Dialog* TextDlgMaker::makePackages(const cpkgs_t*, Repository*)
{
    throw KW_INTERNAL_ERROR();
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
