#ifndef KW_INSTALLER_SOURCEZANTHAPT_H
#define KW_INSTALLER_SOURCEZANTHAPT_H

#include "installer/SourceZanth.h"

// A product repository configured by an apt source line.
class SourceZanthApt : public SourceZanth {
public:
    // The flag, not the build file's record, says whether the repository stays configured.
    SourceZanthApt(Repository* repository, const FileFetcher& fetcher, const boost::shared_ptr<Build>& build, char kind,
                   const std::string& apt_line, bool persistent);

    // "deb [signed-by=<keyring>] <source base><build source>/<apt line>"
    std::string getSourceLine() const override;

private:
    std::string apt_line;
};

#endif
