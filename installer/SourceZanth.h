#ifndef KW_INSTALLER_SOURCEZANTH_H
#define KW_INSTALLER_SOURCEZANTH_H

#include <string>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "common/FileFetcher.h"
#include "common/Source.h"
#include "installer/BuildInfFile.h"

class Build;

// One package repository of a build on the installation source: the build repository ('b'), its
// thirdparty ('t') or extras ('x') repository. It downloads package files from there, reads the
// packages of the repository's gzipped header file, and writes the text that configures the
// repository for the system's package tool.
class SourceZanth : public Source {
public:
    void downloadPackage(Package* pkg) override;
    bool isDownloadable() const override;
    // "ZanthSource_<kind>_<release id>"; without the build, nothing after the kind's "_".
    std::ostream& print(std::ostream& out) const override;
    void readSystemPackagesBrief() override;
    void readPackagesFull() override;

    // The apt source line or the yum repository section, without a final line end.
    virtual std::string getSourceLine() const = 0;

    int getKind() const { return kind; }
    bool isPersistent() const { return persistent; }
    const boost::weak_ptr<Build>& getBuild() const { return build; }
    // The build, which lives as long as the catalogue; its loss is an internal error.
    boost::shared_ptr<Build> getLiveBuild() const;

    // The record of the kind in the build file; null for a kind without one.
    static const BuildInfFile::repo_t* recordOf(const BuildInfFile& file, int kind);
    // "dist", "thirdparty", "extras", or "unkn".
    static const char* kindName(int kind);

protected:
    SourceZanth(Repository* repository, const FileFetcher& fetcher, const boost::shared_ptr<Build>& build, char kind);

    // The build, which must still exist; otherwise the internal error of the caller's file and line.
    boost::shared_ptr<Build> liveBuild(const char* file, int line) const;

    int kind;
    bool persistent;
    FileFetcher fetcher;
    boost::weak_ptr<Build> build;
    std::string headers_file;
};

#endif
