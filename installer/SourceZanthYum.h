#ifndef KW_INSTALLER_SOURCEZANTHYUM_H
#define KW_INSTALLER_SOURCEZANTHYUM_H

#include "installer/SourceZanth.h"

// A product repository configured by a yum repository section.
class SourceZanthYum : public SourceZanth {
public:
    SourceZanthYum(Repository* repository, const FileFetcher& fetcher, const boost::shared_ptr<Build>& build,
                   char kind);

    // The section's five lines: id, name, baseurl, enabled, gpgcheck.
    std::string getSourceLine() const override;

    const std::string& getRepoId() const { return repo_id; }
    const std::string& getRepoName() const { return repo_name; }

private:
    std::string repo_id;
    std::string repo_name;
};

#endif
