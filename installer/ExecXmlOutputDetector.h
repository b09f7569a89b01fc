#ifndef KW_INSTALLER_EXECXMLOUTPUTDETECTOR_H
#define KW_INSTALLER_EXECXMLOUTPUTDETECTOR_H

#include <string>

#include "installer/Detector.h"

namespace Detecting {

// Runs a shell command that answers with an XML document and reads one attribute of its root
// element. A failing command, output that is no XML and every other failure are logged and count as
// nothing found.
class ExecXmlOutputDetector : public Detector {
public:
    ExecXmlOutputDetector(const std::string& commandLine, const std::string& valueAttr);

    std::string detect(bool& found) override;

private:
    std::string commandLine;
    std::string valueAttr;
};

}  // namespace Detecting

#endif
