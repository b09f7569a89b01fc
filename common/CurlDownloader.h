#ifndef KW_COMMON_CURLDOWNLOADER_H
#define KW_COMMON_CURLDOWNLOADER_H

#include <cstdint>
#include <exception>
#include <ostream>
#include <string>

#include "common/Downloader.h"

// The downloader over one libcurl easy handle, which keeps its connection cache between attempts.
class CurlDownloader : public Downloader {
public:
    explicit CurlDownloader(const std::string& path);
    ~CurlDownloader() override;

    void download(std::ostream& out) override;

    // The numeric address of the server of the running attempt; "unknown IP" until a socket opens
    // (and on a reused connection).
    std::string peer;

private:
    // libcurl's callbacks, defined with the libcurl types where libcurl is included.
    struct Callbacks;
    friend struct Callbacks;

    // Shows the byte counts and answers whether a signal asks to stop the transfer.
    bool reportProgress(int64_t expected, int64_t received);
    // Sets an option (a CURLoption); a refusal throws the setup error.
    template <typename T>
    void setOption(int option, T value);
    // Rethrows what a callback caught: nothing may unwind through libcurl.
    void rethrowCaught();

    void* handle;  // the easy handle: libcurl's CURL is void
    std::ostream* out = nullptr;
    std::exception_ptr caught;
    char error_buffer[256];  // libcurl's CURL_ERROR_SIZE
};

#endif
