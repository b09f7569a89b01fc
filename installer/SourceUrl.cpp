#include "installer/SourceUrl.h"

#include <boost/filesystem.hpp>

#include "common/Log.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/textutils.h"

SourceUrl::SourceUrl(const std::string& text)
{
    assign(text);
}

void SourceUrl::assign(const std::string& text)
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "SourceUrl: original source url is " << text;
    url = text;
    if (url.empty())
        return;

    if (url.find("file://") == 0) {
        url.erase(0, 7);
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SourceUrl: process as local source, 'file://' proto specified.";
        normaliseLocal();
    } else if (url.find("http://") != 0 && url.find("ftp://") != 0) {
        if (url[0] == '/') {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SourceUrl: process as local, '/' at begin is unix path.";
            normaliseLocal();
        } else if (url.size() >= 3 && url[1] == ':' && url[2] == '\\') {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG: SourceUrl: process as local, <drive> letter and ':\\\\' at begin, seems windows path.";
            normaliseLocal();
        } else if (fileops::exists(url)) {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG: SourceUrl: process as local because 'url' exist in filesystem.";
            normaliseLocal();
        } else {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SourceUrl: process as network with hope on success.";
            normaliseNetwork();
        }
    } else {
        Log::stream(Log::LEVEL_DEBUG, true)
            << "DEBUG: SourceUrl: process as network source, 'http://' or 'ftp://' proto specified.";
        normaliseNetwork();
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "SourceUrl: fixed url is " << url;
}

void SourceUrl::normaliseLocal()
{
    if (!fileops::exists(url))
        return;
    // Neither links nor "." and ".." are resolved: the user's own spelling stays. An absolute path is
    // left to itself: Boost reads one beginning "//" as a network root name and would put the working
    // directory into it.
    if (url[0] != '/')
        url = boost::filesystem::absolute(url).string();
    if (fileops::is_directory(url))
        fileops::ensure_trailing(url, '/');
}

void SourceUrl::normaliseNetwork()
{
    if (url.find("://") == std::string::npos)
        url = "http://" + url;
    const size_t scheme_end = url.find("://");
    if (scheme_end == std::string::npos)
        throw KW_INTERNAL_ERROR();
    const size_t host = scheme_end + 3;
    if (host == url.size()) {
        url.clear();
        return;
    }
    // A catalogue file is named as it is.
    if (url.find('/', host) != std::string::npos && ends_with(url, ".inf3"))
        return;
    fileops::ensure_trailing(url, '/');
}

bool SourceUrl::isLocal() const
{
    return !url.empty() && url[0] == '/';
}

std::string SourceUrl::getBaseUrl() const
{
    const size_t slash = url.rfind('/');
    if (slash == std::string::npos)
        return "/";
    return url.substr(0, slash + 1);
}

std::string SourceUrl::getFileName() const
{
    const size_t slash = url.rfind('/');
    if (slash == std::string::npos)
        return url;
    return url.substr(slash + 1);
}
