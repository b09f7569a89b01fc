#include "installer/ProductInf3FileGuard.h"

#include <exception>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"

namespace {
const Messages messages;
}

bool ProductInf3FileGuard::newBuildAvailable = false;

ProductInf3FileGuard::ProductInf3FileGuard(const FileFetcher& fetcher_, const std::string& path_)
    : fetcher(fetcher_), path(path_), exceptions_at_construction(std::uncaught_exceptions())
{
    local_file = fetcher.getFile(path);
    md5 = get_file_md5(local_file);
    if (md5.empty())
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_md5_pre"), local_file);
}

ProductInf3FileGuard::~ProductInf3FileGuard()
{
    // A failed or cancelled run is not the moment to look for news on the server.
    if (Progress().isInterrupted() || std::uncaught_exceptions() > exceptions_at_construction)
        return;
    try {
        checkForNewBuild();
    } catch (const error& e) {
        Log::stream(Log::LEVEL_INFO, true)
            << "Error during checking for build updates at download site: " << trim_right(e.getText());
    } catch (const std::exception& e) {
        Log::stream(Log::LEVEL_INFO, true)
            << "std::exception during checking for build updates at download site: " << e.what();
    } catch (...) {
        Log::stream(Log::LEVEL_INFO, true)
            << "Unexpected exception during checking for build updates at download site.";
    }
}

void ProductInf3FileGuard::checkForNewBuild()
{
    Progress().markCancelUnsafe();
    // Every way out of the check, once cancelling was marked unsafe, marks it safe again.
    struct CancelSafeAgain {
        ~CancelSafeAgain() { Progress().markCancelSafe(); }
    } cancel_safe_again;

    fetcher.getRenderer()->setQuiet(true);
    const std::string fetched = fetcher.getFile(path);
    const std::string current = get_file_md5(fetched);
    if (current.empty()) {
        Log::stream(Log::LEVEL_ERROR, true) << messages.get("err_chk_md5") << fetched;
        return;
    }
    if (current != md5) {
        Log::stream(Log::LEVEL_ERROR, true) << messages.get("new_build_avail");
        newBuildAvailable = true;
    }
    Log::stream(Log::LEVEL_VERBOSE, true)
        << "ProductInf3FileGuard destroyed. Build " << (newBuildAvailable ? "changed" : "didn't change");
}
