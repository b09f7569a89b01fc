#include "installer/SourceZanth.h"

#include "common/Log.h"
#include "common/Messages.h"
#include "common/RPMPackage.h"
#include "common/Repository.h"
#include "common/SystemCmd.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/md5rep.h"
#include "common/textutils.h"
#include "installer/Build.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_UNKNOWN_KIND = 58;
const int LINE_EMPTY_DIRECTORY = 62;

// The header file is a gzipped stream of cache records.
const char* const GUNZIP = "gunzip  --stdout ";

}  // namespace

const BuildInfFile::repo_t* SourceZanth::recordOf(const BuildInfFile& file, int kind)
{
    switch (kind) {
    case 'b': return &file.build_repo;
    case 't': return &file.thirdparty_repo;
    case 'x': return &file.extras_repo;
    default: return nullptr;
    }
}

const char* SourceZanth::kindName(int kind)
{
    switch (kind) {
    case 'b': return "dist";
    case 't': return "thirdparty";
    case 'x': return "extras";
    default: return "unkn";
    }
}

SourceZanth::SourceZanth(Repository* repository, const FileFetcher& fetcher_, const boost::shared_ptr<Build>& build_,
                         char kind_)
    : Source(repository), kind(kind_), persistent(false), fetcher(fetcher_), build(build_)
{
    const BuildInfFile& file = *build_->getBuildFile();
    const BuildInfFile::repo_t* record = recordOf(file, kind);
    if (!record)
        throw internal_error(__FILE__, LINE_UNKNOWN_KIND);
    headers_file = record->headers_file;
    persistent = record->persistent;
    if (record->dir.empty())
        throw internal_error(__FILE__, LINE_EMPTY_DIRECTORY);
    // The repository lies below the build file's directory. A build file at the top of the source has
    // no directory: a leading "/" would make the offset absolute, which the fetcher rightly refuses.
    std::string offset = fileops::path_dir(file.config_name);
    if (!offset.empty())
        offset += "/";
    fetcher.setSubdirsOffset(offset + record->dir);
    Log::stream(Log::LEVEL_VERBOSE, true) << "Use package source " << fetcher.sources.front() << fetcher.subdirs_offset;
}

boost::shared_ptr<Build> SourceZanth::getLiveBuild() const
{
    return liveBuild(__FILE__, __LINE__);
}

boost::shared_ptr<Build> SourceZanth::liveBuild(const char* file, int line) const
{
    boost::shared_ptr<Build> alive = build.lock();
    if (!alive)
        throw internal_error(file, line);
    return alive;
}

bool SourceZanth::isDownloadable() const
{
    return true;
}

std::ostream& SourceZanth::print(std::ostream& out) const
{
    out << "ZanthSource_" << static_cast<char>(kind) << "_";
    if (boost::shared_ptr<Build> alive = build.lock())
        out << alive->getBuildFile()->release_id;
    return out;
}

void SourceZanth::readSystemPackagesBrief() {}

void SourceZanth::downloadPackage(Package* pkg)
{
    // Only the yum family fetches packages itself; apt downloads its own.
    if (!dynamic_cast<RPMPackage*>(pkg))
        return;
    if (pkg->getSize() == 0) {
        Log::stream(Log::LEVEL_DEBUG, true) << "Warning: SourceZanth::downloadPackage: getFileSize is 0 for "
                                            << pkg->getName() << ", skip from downloading!";
        return;
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "Download";
    pkg->setFileName(fetcher.getFile(pkg->getFileName(), md5_to_hex(pkg->getMd5())));
}

void SourceZanth::readPackagesFull()
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Get full packages info from headers.";
    if (headers_file.empty())
        return;
    const std::string local = fetcher.getFile(headers_file);
    // The path comes from the mirror's build file: it reaches the shell as one quoted word.
    SystemCmd gunzip(GUNZIP + shell_word(local));
    int line_counter = 0;
    try {
        for (;;) {
            int c;
            while ((c = fgetc(gunzip.stream)) != EOF && isspace(c)) {
            }
            if (c == EOF)
                break;
            ungetc(c, gunzip.stream);
            Package* pkg = Package::createFromCache(gunzip.stream, &line_counter);
            pkg->setType(static_cast<Package::type_t>(kind));
            repository->addPackage(pkg, this);
        }
    } catch (const error& e) {
        Log::stream(Log::LEVEL_ERROR, true) << "Error: Unable to process " << local << ": " << trim_right(e.getText());
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_prodpkg_read");
    }
    gunzip.check();
}
