#include "common/Downloader.h"

#include <ext/stdio_filebuf.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "common/CurlDownloader.h"
#include "common/Messages.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"

namespace {

const Messages messages;

Downloader::Proxy& processProxy()
{
    static Downloader::Proxy* proxy = new Downloader::Proxy;
    return *proxy;
}

// Made before main(), so that no thread races its creation.
const Downloader::Proxy& proxy_made_early = processProxy();

Downloader::second_sleeper_t second_sleeper = nullptr;

std::atomic<int> retry_count{3};

}  // namespace

std::unique_ptr<Downloader> Downloader::create(const std::string& path)
{
    return std::unique_ptr<Downloader>(new CurlDownloader(path));
}

Downloader::Downloader(const std::string& path_)
    : retries(boost::make_shared<counter_t>()), progress(boost::make_shared<counter_t>()), path(path_)
{
    retries->maximum = retry_count;
}

Downloader::~Downloader() = default;

void Downloader::addMirror(const std::string& url)
{
    std::string mirror = url;
    fileops::ensure_trailing(mirror, '/');
    mirrors.push_back(mirror);
}

void Downloader::setAuth(const std::string& user_, const std::string& password_)
{
    user = user_;
    password = password_;
}

void Downloader::setProxy(const std::string& host, int port)
{
    processProxy().host = host;
    processProxy().port = port;
}

void Downloader::setRetryCount(int count)
{
    // 0 would read as "no maximum" and retry for ever.
    retry_count = std::max(count, 1);
}

int Downloader::getRetryCount()
{
    return retry_count;
}

void Downloader::setProxyAuth(const std::string& user, const std::string& password)
{
    processProxy().user = user;
    processProxy().password = password;
}

const Downloader::Proxy& Downloader::getProxy()
{
    return processProxy();
}

void Downloader::setSecondSleeper(second_sleeper_t sleeper)
{
    second_sleeper = sleeper;
}

void Downloader::sleepOneSecond()
{
    if (second_sleeper)
        second_sleeper();
    else
        sleep_seconds(1);
}

void Downloader::downloadFile(const std::string& local_path)
{
    namespace fs = boost::filesystem;
    const fs::path parent = fs::path(local_path).parent_path();
    if (!parent.empty()) {
        try {
            fs::create_directories(parent);
        } catch (const fs::filesystem_error& failure) {
            std::ostringstream quoted;
            quoted << failure.path1();
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                << format_message(messages.get("err_download_mkdir"), quoted.str()) << " " << failure.code().message();
        }
    }

    // A link planted at the name is replaced, never written through.
    __gnu_cxx::stdio_filebuf<char> buffer(fileops::open_replacing_link(local_path, 0666),
                                          std::ios::out | std::ios::binary);
    std::ostream file(&buffer);
    download(file);
    // The last block may only reach the disk now: a full disk must not pass for a complete file.
    if (!buffer.close() || file.fail()) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_filewrite2"), local_path, strerror(errno));
    }
}
