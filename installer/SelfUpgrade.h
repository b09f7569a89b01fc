#ifndef KW_INSTALLER_SELFUPGRADE_H
#define KW_INSTALLER_SELFUPGRADE_H

#include <string>

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

}  // namespace SelfUpgrade

#endif
