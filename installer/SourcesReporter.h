#ifndef KW_INSTALLER_SOURCESREPORTER_H
#define KW_INSTALLER_SOURCESREPORTER_H

#include "common/checked_pointer.h"
#include "installer/Reporter.h"

class SourceManager;

// The answer to the sources query: the product's package sources as the system's package tool is
// configured with them. System and extension sources are not listed.
class SourcesReporter : public Reporter {
public:
    explicit SourcesReporter(const SourceManager* sources);

    std::ostream& put(std::ostream& out) const override;

private:
    checked_pointer<const SourceManager> sources;
};

#endif
