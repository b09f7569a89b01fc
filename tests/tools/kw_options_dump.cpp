// kw_options_dump ARGS...: builds the run's settings from ARGS as the driver does and prints every
// member of the record in declaration order, one "name=value" line each, then the process-wide values
// that the parsers set. An `error` prints "error: <class>: <text>", a parse failure of the command
// syntax "parse-error: <text>"; both exit with 1.
// KW_DUMP_HELP=1: instead of the record, the help printer of the parsed work mode writes its text.
// KW_DUMP_CATALOGUE=SOURCE: before the record is printed, the catalogue at SOURCE is loaded as the
// command-line flow loads it (the installed packages' brief list, the catalogue's release states) and
// the selector words are interpreted against it.
#include <stdlib.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/algorithm/string/join.hpp>
#include <boost/program_options/errors.hpp>

#include "common/FileFetcher.h"
#include "common/Opsys.h"
#include "common/Repository.h"
#include "common/SourceSysDeb.h"
#include "common/SourceSysRPM.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "installer/BuildManager.h"
#include "installer/Options.h"
#include "installer/Reporter.h"
#include "installer/SourceUrl.h"
#include "installer/TextDialog.h"

namespace {

std::string joined(const std::vector<std::string>& items, const char* separator = ",")
{
    return boost::algorithm::join(items, separator);
}

std::string selector_text(const ReleaseSelector& selector)
{
    static const char* const kinds[] = {"LATEST", "CURRENT", "ID"};
    std::string text = selector.getProductId() + ":" + kinds[selector.getKind()];
    if (selector.getKind() == ReleaseSelector::ID)
        text += ":" + selector.getReleaseId();
    return text;
}

void dump(const Options& o)
{
    std::ostream& out = std::cout;
    for (const auto& product : o.componentSettings)
        for (const auto& setting : product.second)
            out << "componentSettings[" << product.first << "][" << setting.first
                << "]=" << quote_c_string(setting.second) << "\n";
    out << "workMode=" << o.workMode << "\n";
    out << "command=" << o.command << "\n";
    out << "commandOperation=" << o.commandOperation << "\n";
    std::vector<std::string> selectors;
    for (const ReleaseSelector& selector : o.releaseSelectors)
        selectors.push_back(selector_text(selector));
    out << "releaseSelectors=" << joined(selectors, ";") << "\n";
    for (const auto& entry : o.componentSelections) {
        const ComponentsSelection& s = entry.second;
        out << "componentSelections[" << entry.first << "]=" << s.mode << "|" << joined(s.installComponents) << "|"
            << joined(s.removeComponents) << "|" << joined(s.componentClasses) << "|" << s.installationType << "\n";
    }
    out << "source=" << o.source.url << "\n";
    out << "useProductUpdates=" << o.useProductUpdates << "\n";
    out << "systemPackagesCache=" << o.systemPackagesCache << "\n";
    out << "target=" << o.target << "\n";
    out << "releaseTiers=" << joined(o.releaseTiers) << "\n";
    out << "releaseTiersDefault=" << o.releaseTiersDefault << "\n";
    out << "selectedReleaseIds=" << joined(o.selectedReleaseIds) << "\n";
    out << "allVersions=" << o.allVersions << "\n";
    out << "proxy=" << o.proxy.host << ":" << o.proxy.port << ":" << o.proxy.user << ":" << o.proxy.password << "\n";
    out << "truncateLog=" << o.truncateLog << "\n";
    out << "separateLogs=" << o.separateLogs << "\n";
    out << "maxStoredSeparateLogs=" << o.maxStoredSeparateLogs << "\n";
    out << "notifyEmail=" << o.notifyEmail << "\n";
    out << "helpVerbosity=" << o.helpVerbosity << "\n";
    out << "strict=" << o.strict << "\n";
    out << "debug=" << o.debug << "\n";
    out << "noDaemon=" << o.noDaemon << "\n";
    out << "downloadOnly=" << o.downloadOnly << "\n";
    out << "webUiDefaultPage=" << o.webUiDefaultPage << "\n";
    out << "skipCleanup=" << o.skipCleanup << "\n";
    out << "disableSelfUpgrade=" << o.disableSelfUpgrade << "\n";
    out << "showHiddenComponents=" << o.showHiddenComponents << "\n";
    out << "extCatalogUrl=" << o.extCatalogUrl << "\n";
    out << "skipComponentsCheck=" << o.skipComponentsCheck << "\n";
    out << "forceRemovePackagesTree=" << o.forceRemovePackagesTree << "\n";
    out << "showOptions=" << o.showOptions << "\n";
    out << "removeEverything=" << o.removeEverything << "\n";
    out << "interactiveUninstall=" << o.interactiveUninstall << "\n";
    out << "sslCertificate=" << o.sslCertificate << "\n";
    out << "sslProtocols=" << o.sslProtocols << "\n";
    out << "sslCiphers=" << o.sslCiphers << "\n";
    out << "sslCipherServerPreference=" << o.sslCipherServerPreference << "\n";
    out << "withoutSsl=" << o.withoutSsl << "\n";
    out << "openBrowser=" << o.openBrowser << "\n";
    out << "packagesToRemove=" << joined(o.packagesToRemove) << "\n";
    out << "feedbackProduct=" << o.feedbackProduct << "\n";
    out << "feedbackGroupId=" << o.feedbackGroupId << "\n";
    out << "interactionModeGiven=" << o.interactionModeGiven << "\n";
    out << "downloadRetries=" << o.downloadRetries << "\n";
    out << "skipGpgCheck=" << o.skipGpgCheck << "\n";
    out << "stopTerminate=" << o.stopTerminate << "\n";
    out << "commandName=" << o.commandName << "\n";
    out << "selectors=" << joined(o.selectors) << "\n";
    out << "selectedProduct=" << o.selectedProduct << "\n";
    out << "selectedReleaseId=" << o.selectedReleaseId << "\n";
    out << "selectedVersion=" << o.selectedVersion << "\n";
    out << "terminalWidth=" << o.terminalWidth << "\n";
    out << "xmlOutput=" << Reporter::xmlOutput << "\n";
    out << "statusPrefix=" << Reporter::statusPrefix << "\n";
    out << "noClear=" << TextDialog::noClear << "\n";
    out << "overrideName=" << Opsys::overrideName << "\n";
    out << "overrideVendor=" << Opsys::overrideVendor << "\n";
    out << "overrideVersion=" << Opsys::overrideVersion << "\n";
    out << "overrideArch=" << Opsys::overrideArch << "\n";
    out << "overrideEnvironment=" << Opsys::overrideEnvironment << std::endl;
}

void interpretAgainstCatalogue(Options& o, const std::string& source)
{
    Repository repository;
    const std::unique_ptr<Source> system(Opsys().isRedHatBased() ? static_cast<Source*>(new SourceSysRPM(&repository))
                                                                 : new SourceSysDeb(&repository));
    system->loadBrief();
    char target[] = "/tmp/kw_options_dump.XXXXXX";
    if (!mkdtemp(target))
        throw std::runtime_error("no temporary directory for the catalogue");
    struct Removed {
        const char* path;
        ~Removed() { fileops::remove_all(path); }
    } removed{target};
    FileFetcher fetcher{SourceUrl(source), target};
    BuildManager catalogue(fetcher, "");
    catalogue.calculateReleasesState(repository);
    o.interpretSelectors(catalogue);
}

void printHelp(const Options& o)
{
    switch (o.workMode) {
    case Options::HELP_OPTIONS: Options::printUsage(); break;
    case Options::HELP_COMMAND: const_cast<Options&>(o).printCommandHelp(); break;
    case Options::HELP: Options::printCommandsUsage(); break;
    default: std::cout << "no help in work mode " << o.workMode << std::endl;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options::argc = argc;
    Options::argv = argv;
    try {
        Options& options = Options::instance();
        const std::string catalogue = get_env("KW_DUMP_CATALOGUE");
        if (!catalogue.empty())
            interpretAgainstCatalogue(options, catalogue);
        if (get_env("KW_DUMP_HELP") == "1")
            printHelp(options);
        else
            dump(options);
    } catch (const error& e) {
        std::cout << "error: " << e.getClassName() << ": " << e.getText() << std::flush;
        return 1;
    } catch (const boost::program_options::error& e) {
        std::cout << "parse-error: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
