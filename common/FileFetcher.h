#ifndef KW_COMMON_FILEFETCHER_H
#define KW_COMMON_FILEFETCHER_H

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "installer/ProgressValueRender.h"
#include "installer/SourceUrl.h"

// Makes files of the installation source available on the local disk: a local source's own files,
// or copies of a remote source's files in the target directory, downloaded through a ".tmp" name
// and checked against their MD5 before they take their final name.
class FileFetcher {
public:
    FileFetcher(const SourceUrl& source, const std::string& target_dir);
    // Copies everything but the progress line, which each copy draws on its own.
    FileFetcher(const FileFetcher& other);
    FileFetcher& operator=(const FileFetcher& other);

    // Appends a directory that goes between the source and every requested path.
    void setSubdirsOffset(const std::string& offset);
    // The local file name of path. A non-empty md5 must match; a non-empty name replaces path as the
    // local name in the target directory.
    std::string getFile(const std::string& path, const std::string& md5 = std::string(),
                        const std::string& name = std::string());
    // Names and offsets come from the source's own files, which a hostile mirror writes: refuses one
    // that is absolute or has a ".." segment, and so would lead out of dir, with an error (1, 1, 1, 2).
    static void checkInside(const std::string& name, const std::string& dir);

    // Shows the n-of-m files count of an outside counter.
    void setFilesProgress(const DownloadProgressRenderer::counter_ptr& files);

    const boost::shared_ptr<DownloadProgressRenderer>& getRenderer() const { return renderer; }

    std::vector<std::string> sources;  // base URLs, each ending in "/"; tried in order
    SourceUrl source;
    std::string target_dir;      // ends in "/"
    std::string subdirs_offset;  // empty, or ends in "/"
    std::string user;
    std::string password;

private:
    // The directory that local names lie under: the local source, or the target directory.
    const std::string& localDir() const;

    boost::shared_ptr<DownloadProgressRenderer> renderer;
};

#endif
