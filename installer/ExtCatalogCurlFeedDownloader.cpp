#include "installer/ExtCatalogCurlFeedDownloader.h"

#include <sstream>

#include "common/Downloader.h"
#include "common/Log.h"
#include "common/error.h"
#include "common/fileops.h"
#include "installer/ProgressValueRender.h"

namespace ExtCatalog {

CurlFeedDownloader::CurlFeedDownloader(const std::string& url_) : url(url_)
{
    if (url.empty())
        throw internal_error(__FILE__, 15);
}

std::string CurlFeedDownloader::download(const std::string& platform, const std::string& version,
                                         const std::string& apiVersion)
{
    if (platform.empty())
        throw internal_error(__FILE__, 20);
    if (version.empty())
        throw internal_error(__FILE__, 21);
    if (apiVersion.empty())
        throw internal_error(__FILE__, 22);

    // The service takes the values as they are: no percent-escaping.
    const std::string path =
        "api/" + apiVersion + "/packages?platform=" + platform + "&version=" + version + "&kw-compatible";
    std::string base = url;
    fileops::ensure_trailing(base, '/');
    const std::string feedUrl = base + path;
    Log::stream(Log::LEVEL_DEBUG, true) << "Debug: download extension catalog feed: " << feedUrl;

    boost::shared_ptr<DownloadProgressRenderer> renderer = DownloadProgressRenderer::create();
    // Never marked a success: the feed is not a file the user waits for, so no "completed." is shown.
    DownloadProgressRenderer::FileGuard guard(renderer, feedUrl);
    // Destroyed before the guard ends the line that shows its counters.
    std::unique_ptr<Downloader> downloader = Downloader::create(path);
    downloader->addMirror(base);
    renderer->attach(downloader->progress, downloader->retries);
    std::ostringstream body;
    downloader->download(body);
    return body.str();
}

}  // namespace ExtCatalog
