#include "installer/SourceZanthYum.h"

#include "common/error.h"
#include "installer/Build.h"
#include "installer/Options.h"

SourceZanthYum::SourceZanthYum(Repository* repository, const FileFetcher& fetcher,
                               const boost::shared_ptr<Build>& build, char kind)
    : SourceZanth(repository, fetcher, build, kind)
{
    const BuildInfFile& file = *build->getBuildFile();
    const BuildInfFile::repo_t& record = *recordOf(file, kind);  // the base refused any other kind
    repo_id = record.yum_repo_id;
    repo_name = record.yum_repo_name;
    // Without names of its own, a repository is named after the build repository, or the release.
    if (repo_id.empty())
        repo_id = (file.build_repo.yum_repo_id.empty() ? file.release_id : file.build_repo.yum_repo_id) + "-" +
                  kindName(kind);
    if (repo_name.empty())
        repo_name = (file.build_repo.yum_repo_name.empty() ? file.release_id : file.build_repo.yum_repo_name) + " " +
                    kindName(kind);
}

std::string SourceZanthYum::getSourceLine() const
{
    const boost::shared_ptr<Build> owner = liveBuild(__FILE__, __LINE__);
    std::string url = fetcher.sources.front() + fetcher.subdirs_offset;
    if (url[0] == '/')
        url = "file://" + url;
    const bool gpgcheck = !Options::instance().skipGpgCheck && owner->getGpgCheck();
    return "[" + repo_id + "]\nname=" + repo_name + "\nbaseurl=" + url + "\nenabled=" + (persistent ? "1" : "0") +
           "\ngpgcheck=" + (gpgcheck ? "1" : "0");
}
