#ifndef KW_INSTALLER_DOWNLOADURL_H
#define KW_INSTALLER_DOWNLOADURL_H

#include <string>
#include <vector>

// Fetches one small resource (at most about 1 MiB) into memory, without retries, proxy or
// time-outs. An HTTP error page comes back as content.
std::vector<unsigned char> downloadUrl(const std::string& url);

#endif
