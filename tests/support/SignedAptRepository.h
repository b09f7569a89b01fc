#ifndef KW_TESTS_SUPPORT_SIGNEDAPTREPOSITORY_H
#define KW_TESTS_SUPPORT_SIGNEDAPTREPOSITORY_H

#include <string>

#include "tests/support/TempDir.h"

// A flat apt repository in dir/repo whose Release, with the given Version, is signed into InRelease by a
// throw-away key: kwt-a depending on kwt-b, kwt-c at 1.0-1 and 2.0-1, and the i386 package kwt-i.
struct SignedAptRepository {
    SignedAptRepository(const TempDir& dir, const std::string& version);

    std::string key;          // the armored public key
    std::string fingerprint;  // of the signing key, with a line end
};

// What the host's apt configuration and package database look like, to compare before and after.
std::string hostAptState();

// Inside a child whose /etc and /var are overlaid: the host's own apt sources and indexes go, so that
// apt reads only what the test configures. /tmp becomes writable for everyone.
void removeHostAptSources();

#endif
