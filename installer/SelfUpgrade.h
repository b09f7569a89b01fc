#ifndef KW_INSTALLER_SELFUPGRADE_H
#define KW_INSTALLER_SELFUPGRADE_H

#include <string>

#include "common/Downloader.h"
#include "common/checked_pointer.h"

class BuildManager;
class SourceUrl;
class TiXmlNode;

// A catalogue may require an exact version of this program; the program then replaces itself by
// that version from the installation source.
namespace SelfUpgrade {

// Raised where the catalogue requires another version of the program. Deliberately not an `error`,
// so that the handlers of errors let it pass to the flow that fetches the copy and restarts.
struct NeedSelfUpgrade {};

// The program copy that the catalogue requires, as the last catalogue element that named one says.
struct Requirement {
    std::string version;          // the exact version; empty: none required
    std::string binaryDirectory;  // directory of the copies below the source's base URL
    std::string binaryName;       // file name of the copy for this system
    std::string md5;              // expected digest of the copy; empty when not given
};

const Requirement& requirement();

// Reads the element's "exact_required_kitwright" child, if any, into the requirement. A required
// version other than the program's own throws NeedSelfUpgrade unless self-upgrade is disabled.
void check_required_KW_version(const TiXmlNode* element);

// The program copy's file name for the running system, "quillfern_installer_<vendor>_<version>_<arch>".
std::string get_binary_name();

// The cache of program copies, "/var/cache/quillfern_installer/", made private to root (0700) when
// missing.
std::string get_cache_dir();
// The file name in the cache of the copy to use: the required version's, or else the newest copy
// newer than this program (this program's own name when there is none).
std::string get_cached_binary_name();
// The version that the program at path reports, "" when it cannot be asked.
std::string get_binary_version(const std::string& path);
// Fetches the required copy from below the source's base URL into the cache and verifies its digest
// and the version it reports.
void get_new_version(const SourceUrl& source);
// The arguments for a restart that keeps the user's state: the start's own, then the source, the
// target, the proxy and the selected releases of the catalogue (when held), and the interaction mode.
// One process-wide vector, ended by a null pointer and emptied at each call; its strings are never
// freed, as the process is about to be replaced.
char** get_arguments_with_state(const char* mode, const SourceUrl& source, const std::string& target,
                                const Downloader::Proxy& proxy, checked_autoclean_pointer<BuildManager>& catalogue);
// Replaces the process by the cached copy with the arguments (argv[0] becomes the copy's path). On
// failure the reason goes to standard error and the process ends with code 1.
[[noreturn]] void restart(char** argv);
// At start: switches to a verified cached copy newer than this program with the start's arguments.
// Returns when the program keeps running itself.
void run_cached_if_newer();

}  // namespace SelfUpgrade

#endif
