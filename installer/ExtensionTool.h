#ifndef KW_INSTALLER_EXTENSIONTOOL_H
#define KW_INSTALLER_EXTENSIONTOOL_H

#include <string>

// The product's own extension tool. It installs an extension from a download URL, removes one by its
// code and lists the installed ones, outside the system's package tool.
namespace ExtensionTool {

// Where the product installs the tool.
extern const char* const PATH;
// Set to "1" while the installer runs the tool.
extern const char* const ENV_NAME;

// The program that runs as the tool: PATH unless another one was put in its place.
const std::string& path();
// Puts another program with the same call convention in the tool's place (tests do); empty
// restores PATH.
void setPath(const std::string& program);

}  // namespace ExtensionTool

#endif
