#ifndef KW_TESTS_SUPPORT_ENDTOEND_H
#define KW_TESTS_SUPPORT_ENDTOEND_H

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/GeneratedMirror.h"

// The built program run as an administrator runs it on a server, and what the end-to-end tests judge
// its runs by, each read with the system's own tools. For tests that run inside scripts/overlay-root.sh,
// where the program may install and remove packages and write /etc/apt, /var and /tmp.

// How the program is run: as root in the C locale, with no one's saved settings, and with a tmpfs over
// /sys/fs/cgroup, so that leaving the service's control group changes nothing of the host.
ChildOptions programOptions();

// The path of the built program.
std::string kitwrightPath();

// The built program with the arguments; the source is the caller's to give.
ChildResult runKitwright(const std::vector<std::string>& args);

// dpkg-query's "${db:Status-Abbrev}${Version}" of each package by name ("ii 1.0-1", "iF 1.0-1"; absent
// for a package that dpkg does not know or that left only its name).
std::map<std::string, std::string> dpkgStates(const std::vector<std::string>& packages);

// What `apt-cache policy` says of a package: its installed version, its candidate, and the whole table.
struct AptPolicy {
    std::string installed;
    std::string candidate;
    std::string table;
};
AptPolicy aptPolicy(const std::string& package);

// The simulated installation of the packages (`apt-get -s install`) with only the apt source line given
// (e.g. "deb [signed-by=KEYRING] file:///REPOSITORY/ ./"): the package names of its "Inst" lines, sorted.
std::vector<std::string> aptSimulatedInstall(const std::string& source, const std::vector<std::string>& packages);

// A fingerprint of a directory tree: every entry's type, mode and path, with the sha256sum of each regular
// file and the target of each link. Equal fingerprints mean byte-identical trees.
std::string treeFingerprint(const std::string& directory);

// The files of a directory tree whose names end with the suffix ("" for every file), relative, sorted.
std::vector<std::string> filesEndingWith(const std::string& directory, const std::string& suffix);

// The action-time record as python3's xml.etree reads it.
struct RecordedAction {
    std::map<std::string, std::string> action;                   // the attributes of the last `action`
    std::map<std::string, std::string> release;                  // the attributes of its `release`
    std::vector<std::map<std::string, std::string>> components;  // its `component` elements
    int actions = 0;                                             // how many `action` elements the file holds
};
// The last action of "/var/log/zanth/install/kw_action_time.xml" (actions 0 when the file is missing).
RecordedAction lastRecordedAction();

// The fingerprints (fpr) of the keys of a keyring, as `gpg --show-keys` lists them.
std::vector<std::string> keyringFingerprints(const std::string& keyring);

// A test of the built program against the shared mirror, given as a local directory, on a server
// whose package sources are only those the program configures.
class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override;

    // The program with the arguments, then "--source" and the mirror's directory.
    ChildResult kitwright(const std::vector<std::string>& args) const;

    // The text of a message key, and whether a text holds it with any values in its "%s" places.
    static std::string text(const char* key);
    static bool holdsMessage(const std::string& output, const char* key);

    const GeneratedMirror& mirror = GeneratedMirror::shared();
};

#endif
