#include "common/http_error.h"

http_error::http_error(const std::string& url_, int64_t code_) : error(1, 2, 1, 2), url(url_), code(code_) {}

http_error::~http_error() = default;
