#include "common/http_error.h"

http_error::http_error(const std::string& url_, int64_t code_)
    : error(E_REPOSITORY, REP_LATER, SYS_STABLE, SUPP_MAYBE), url(url_), code(code_)
{
}

http_error::~http_error() = default;
