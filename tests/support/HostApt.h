#ifndef KW_TESTS_SUPPORT_HOSTAPT_H
#define KW_TESTS_SUPPORT_HOSTAPT_H

#include <string>

// What the host's apt configuration and package database look like, to compare before and after.
std::string hostAptState();

// Inside a child whose /etc and /var are overlaid: the host's own apt sources and indexes go, so that
// apt reads only what the test configures. /tmp becomes writable for everyone.
void removeHostAptSources();

#endif
