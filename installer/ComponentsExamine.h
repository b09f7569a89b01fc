#ifndef KW_INSTALLER_COMPONENTSEXAMINE_H
#define KW_INSTALLER_COMPONENTSEXAMINE_H

#include <string>

// Publishes the current step of the installation in the shared status record under the key and
// writes its text to the log as an important line.
void logProgressStep(const std::string& key, const std::string& text);

#endif
