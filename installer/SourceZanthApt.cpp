#include "installer/SourceZanthApt.h"

#include "common/Log.h"
#include "common/error.h"
#include "installer/Build.h"
#include "installer/GpgKeyManager.h"
#include "installer/Options.h"

namespace {

// Internal errors keep the line numbers under which support knows them.
const int LINE_EMPTY_APT_LINE = 16;

}  // namespace

SourceZanthApt::SourceZanthApt(Repository* repository, const FileFetcher& fetcher,
                               const boost::shared_ptr<Build>& build, char kind, const std::string& apt_line_,
                               bool persistent_)
    : SourceZanth(repository, fetcher, build, kind), apt_line(apt_line_)
{
    if (apt_line.empty())
        throw internal_error(__FILE__, LINE_EMPTY_APT_LINE);
    persistent = persistent_;
}

std::string SourceZanthApt::getSourceLine() const
{
    const boost::shared_ptr<Build> owner = liveBuild(__FILE__, __LINE__);
    std::string line = "deb [signed-by=" + AptGpgKeyManager::getKeyringPath() + "] ";
    const SourceUrl& source = Options::instance().source;
    if (source.isLocal())
        line += "file://";
    std::string base = source.getBaseUrl();
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: getSourceLine: src 1 = " << base;
    if (!source.getFileName().empty()) {
        // A source that names a file lies in a directory of the repository tree; the apt line's path
        // after its first directory says where that tree starts.
        const size_t blank = apt_line.find(' ');
        const size_t slash = apt_line.find('/');
        std::string stop;
        if (slash < blank) {
            stop = apt_line.substr(slash + 1, blank == std::string::npos ? std::string::npos : blank - slash - 1);
        } else {
            stop = apt_line.substr(0, blank);
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Warning: no '/' before the first blank of the apt source line '" << apt_line
                << "': its first word is taken as the directory to look for in the installation source";
        }
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: getSourceLine: variable stop_before=" << stop;
        const size_t at = base.find(stop);
        if (at != std::string::npos)
            base.erase(at);
    }
    line += base;
    if (!owner->getSource().empty())
        line += owner->getSource() + "/";
    return line + apt_line;
}
