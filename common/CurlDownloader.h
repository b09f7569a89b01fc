#ifndef KW_COMMON_CURLDOWNLOADER_H
#define KW_COMMON_CURLDOWNLOADER_H

#include <exception>
#include <ostream>
#include <string>

#include <curl/curl.h>

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
    static size_t writeCallback(char* data, size_t size, size_t count, void* self);
    static int progressCallback(void* self, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t);
    static curl_socket_t openSocketCallback(void* self, curlsocktype purpose, curl_sockaddr* address);

    // Shows the byte counts and answers whether a signal asks to stop the transfer.
    bool reportProgress(curl_off_t expected, curl_off_t received);
    // Sets an option; a refusal throws the setup error.
    template <typename T>
    void setOption(CURLoption option, T value);
    // Rethrows what a callback caught: nothing may unwind through libcurl.
    void rethrowCaught();

    CURL* handle;
    std::ostream* out = nullptr;
    std::exception_ptr caught;
    char error_buffer[CURL_ERROR_SIZE];
};

#endif
