#include "installer/DownloadUrl.h"

#include <exception>
#include <memory>

#include <curl/curl.h>

#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"

namespace {

const Messages messages;

// Larger resources are refused: they do not belong in memory.
const size_t memory_limit = 1048576;

struct Sink {
    std::vector<unsigned char> bytes;
    std::exception_ptr caught;  // nothing may unwind through libcurl
};

size_t appendBlock(char* data, size_t size, size_t count, void* sink_)
{
    Sink* sink = static_cast<Sink*>(sink_);
    if (sink->bytes.size() > memory_limit)
        return 0;
    try {
        sink->bytes.insert(sink->bytes.end(), data, data + size * count);
    } catch (...) {
        sink->caught = std::current_exception();
        return 0;
    }
    return size * count;
}

}  // namespace

std::vector<unsigned char> downloadUrl(const std::string& url)
{
    if (url.empty())
        throw KW_INTERNAL_ERROR();

    std::unique_ptr<CURL, void (*)(CURL*)> handle(curl_easy_init(), curl_easy_cleanup);
    if (!handle) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_curl_init");
    }
    Sink sink;
    char error_buffer[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, appendBlock);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, static_cast<void*>(&sink));
    curl_easy_setopt(handle.get(), CURLOPT_ERRORBUFFER, error_buffer);

    const CURLcode result = curl_easy_perform(handle.get());
    handle.reset();
    if (sink.caught)
        std::rethrow_exception(sink.caught);
    if (result == CURLE_WRITE_ERROR) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_no_space2");
    }
    if (result != CURLE_OK) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << format_message(
            messages.get("err_pkg_dwnld"), url, error_buffer[0] ? error_buffer : curl_easy_strerror(result));
    }
    return sink.bytes;
}
