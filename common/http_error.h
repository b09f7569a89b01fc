#ifndef KW_COMMON_HTTP_ERROR_H
#define KW_COMMON_HTTP_ERROR_H

#include <cstdint>
#include <string>

#include "common/error.h"

// The error of a transfer whose last attempt used an HTTP URL: a failing mirror, worth a later try.
class http_error : public error {
public:
    // code: the last HTTP response code read, 0 when no response arrived.
    http_error(const std::string& url, int64_t code);
    http_error(const http_error&) = default;
    http_error& operator=(const http_error&) = default;
    ~http_error() override;

    std::string url;
    int64_t code;
};

#endif
