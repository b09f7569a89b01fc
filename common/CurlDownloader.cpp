#include "common/CurlDownloader.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <ios>
#include <type_traits>

#include <curl/curl.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/format_message.h"
#include "common/http_error.h"
#include "common/sysutils.h"

namespace {

const Messages messages;

// libcurl's own set-up is not safe to race; do it before any thread can start a transfer.
const bool curl_initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;

// Waits before the first, the second and every later retry.
const int retry_waits[] = {3, 7, 15};

}  // namespace

static_assert(std::is_same<CURL, void>::value, "the handle is kept as void*");
static_assert(sizeof(curl_off_t) == sizeof(int64_t), "byte counts are passed as int64_t");

struct CurlDownloader::Callbacks {
    static size_t write(char* data, size_t size, size_t count, void* self);
    static int progress(void* self, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t);
    static curl_socket_t openSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
};

template <typename T>
void CurlDownloader::setOption(int option, T value)
{
    if (curl_easy_setopt(handle, static_cast<CURLoption>(option), value) != CURLE_OK) {
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_curl_setup");
    }
}

CurlDownloader::CurlDownloader(const std::string& path_)
    : Downloader(path_), peer("unknown IP"), handle(curl_initialised ? curl_easy_init() : nullptr)
{
    static_assert(sizeof(error_buffer) >= CURL_ERROR_SIZE, "libcurl writes up to CURL_ERROR_SIZE bytes");
    error_buffer[0] = '\0';
    if (!handle) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_curl_init");
    }
    try {
        setOption(CURLOPT_WRITEFUNCTION, &Callbacks::write);
        setOption(CURLOPT_NOPROGRESS, 0L);
        setOption(CURLOPT_XFERINFODATA, static_cast<void*>(this));
        setOption(CURLOPT_XFERINFOFUNCTION, &Callbacks::progress);
        setOption(CURLOPT_OPENSOCKETDATA, static_cast<void*>(this));
        setOption(CURLOPT_OPENSOCKETFUNCTION, &Callbacks::openSocket);
        setOption(CURLOPT_FOLLOWLOCATION, 1L);
        setOption(CURLOPT_MAXREDIRS, 1L);
        setOption(CURLOPT_FAILONERROR, 1L);
        setOption(CURLOPT_CONNECTTIMEOUT, 120L);
        setOption(CURLOPT_LOW_SPEED_LIMIT, 500L);
        setOption(CURLOPT_LOW_SPEED_TIME, 30L);
        setOption(CURLOPT_ERRORBUFFER, error_buffer);
    } catch (...) {
        curl_easy_cleanup(handle);
        throw;
    }
}

CurlDownloader::~CurlDownloader()
{
    curl_easy_cleanup(handle);
}

size_t CurlDownloader::Callbacks::write(char* data, size_t size, size_t count, void* self_)
{
    CurlDownloader* self = static_cast<CurlDownloader*>(self_);
    try {
        self->out->write(data, static_cast<std::streamsize>(size * count));
        // A stream that failed (a full disk) takes nothing: libcurl then ends with its write error.
        return *self->out ? size * count : 0;
    } catch (const std::ios_base::failure&) {
        return 0;
    } catch (...) {
        self->caught = std::current_exception();
        return 0;
    }
}

int CurlDownloader::Callbacks::progress(void* self_, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t)
{
    CurlDownloader* self = static_cast<CurlDownloader*>(self_);
    try {
        return self->reportProgress(expected, received) ? 1 : 0;
    } catch (...) {
        self->caught = std::current_exception();
        return 1;
    }
}

curl_socket_t CurlDownloader::Callbacks::openSocket(void* self_, curlsocktype, curl_sockaddr* address)
{
    CurlDownloader* self = static_cast<CurlDownloader*>(self_);
    try {
        try {
            self->peer = sockaddr_to_string(&address->addr);
        } catch (const error& e) {
            Log::stream(Log::LEVEL_VERBOSE, true) << "Cannot format IP for cURL socket address: " << e.getText();
        }
    } catch (...) {
        self->caught = std::current_exception();
        return CURL_SOCKET_BAD;
    }
    return socket(address->family, address->socktype, address->protocol);
}

bool CurlDownloader::reportProgress(int64_t expected, int64_t received)
{
    progress->maximum = static_cast<unsigned long>(expected);
    progress->setValue(static_cast<unsigned long>(received));
    progress->notify(false);
    return Progress().takeCancelRequest();
}

void CurlDownloader::rethrowCaught()
{
    if (caught) {
        std::exception_ptr pending = caught;
        caught = nullptr;
        std::rethrow_exception(pending);
    }
}

void CurlDownloader::download(std::ostream& stream)
{
    if (mirrors.empty()) {
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_srcs_empty");
    }

    const std::streamoff start = stream.tellp();
    out = &stream;
    setOption(CURLOPT_WRITEDATA, static_cast<void*>(this));

    if (!user.empty()) {
        setOption(CURLOPT_USERPWD, (user + ":" + password).c_str());
        setOption(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    }
    const Proxy& proxy = getProxy();
    if (!proxy.host.empty()) {
        setOption(CURLOPT_PROXY, proxy.host.c_str());
        setOption(CURLOPT_PROXYPORT, static_cast<long>(proxy.port));
        if (!proxy.user.empty())
            setOption(CURLOPT_PROXYUSERPWD, (proxy.user + ":" + proxy.password).c_str());
    }

    long code = -1;  // none recorded
    CURLcode code_read = CURLE_OK;
    std::streamoff most = 0;  // the longest earlier attempt: its tail is still in the stream
    std::string url;
    for (;;) {
        const size_t index = retries->value % mirrors.size();
        url = mirrors[index] + path;
        setOption(CURLOPT_URL, url.c_str());

        peer = "unknown IP";
        reportProgress(0, 0);  // resets the byte counter; a cancellation is acted on below

        const CURLcode result = curl_easy_perform(handle);
        rethrowCaught();
        const std::streamoff got = static_cast<std::streamoff>(stream.tellp()) - start;
        Progress().checkInterrupted();

        if (result == CURLE_OK) {
            if (got >= most)
                return;
            snprintf(error_buffer, sizeof(error_buffer), "%s", "Unexpected size of file");
        } else if (result == CURLE_WRITE_ERROR) {
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_no_space2");
        } else if (error_buffer[0] == '\0') {
            snprintf(error_buffer, sizeof(error_buffer), "%s", curl_easy_strerror(result));
        }

        if (url.compare(0, 4, "http") == 0) {
            code_read = curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
            // The mirror refuses this file for good.
            if ((code >= 401 && code <= 404) || code == 418) {
                mirrors.erase(mirrors.begin() + static_cast<std::ptrdiff_t>(index));
                if (mirrors.empty())
                    break;
            }
        }

        if (retries->maximum != 0 && retries->value == retries->maximum) {
            retries->text = error_buffer;
            retries->notify(false);
            break;
        }

        const int wait = retry_waits[std::min<unsigned long>(retries->value, 2)];
        for (int second = wait; second >= 1; --second) {
            retries->text = format_message(messages.get("download_retry"), error_buffer, second);
            retries->notify(false);
            Progress().checkInterrupted();
            sleepOneSecond();
        }

        most = std::max(most, got);
        stream.seekp(start);
        setOption(CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(0));
        retries->setValue(retries->value + 1);
        retries->text.clear();
        retries->notify(false);
    }

    const std::string message = format_message(messages.get("err_pkg_dwnld"), url + " (" + peer + ")", error_buffer);
    if (code >= 0 && code_read == CURLE_OK) {
        http_error e(url, code);
        e << message;
        throw e;
    }
    throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << message;
}
