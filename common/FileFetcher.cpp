#include "common/FileFetcher.h"

#include <algorithm>
#include <memory>

#include "common/Downloader.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"

namespace {
const Messages messages;
}

FileFetcher::FileFetcher(const SourceUrl& source_, const std::string& target_dir_)
    : source(source_), target_dir(target_dir_), renderer(DownloadProgressRenderer::create())
{
    fileops::ensure_trailing(target_dir, '/');
    sources.push_back(source.getBaseUrl());
    Log::stream(Log::LEVEL_VERBOSE, true) << "FileFetcher new object: "
                                          << "target_dir=" << target_dir << ", "
                                          << "main_source_url=" << sources.front();
}

FileFetcher::FileFetcher(const FileFetcher& other)
    : sources(other.sources), source(other.source), target_dir(other.target_dir), subdirs_offset(other.subdirs_offset),
      user(other.user), password(other.password), renderer(DownloadProgressRenderer::create())
{
}

FileFetcher& FileFetcher::operator=(const FileFetcher& other)
{
    sources = other.sources;
    source = other.source;
    target_dir = other.target_dir;
    subdirs_offset = other.subdirs_offset;
    user = other.user;
    password = other.password;
    return *this;
}

void FileFetcher::checkInside(const std::string& name, const std::string& dir)
{
    bool inside = name.empty() || name[0] != '/';
    for (size_t start = 0; inside && start <= name.size();) {
        const size_t end = std::min(name.find('/', start), name.size());
        inside = name.compare(start, end - start, "..") != 0;
        start = end + 1;
    }
    if (inside)
        return;
    throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_MAYBE)
        << format_message(messages.get("err_outside_dir"), name, dir);
}

const std::string& FileFetcher::localDir() const
{
    return source.isLocal() ? sources.front() : target_dir;
}

void FileFetcher::setSubdirsOffset(const std::string& offset)
{
    if (offset.empty())
        return;
    checkInside(offset, localDir());
    subdirs_offset += offset;
    fileops::ensure_trailing(subdirs_offset, '/');
    Log::stream(Log::LEVEL_DEBUG, true) << "FileFetcher: current subdirs offset is " << subdirs_offset;
}

std::string FileFetcher::getFile(const std::string& path, const std::string& md5, const std::string& name)
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "FileFetcher: get file (" << subdirs_offset << ")/" << path;
    const std::string rel = subdirs_offset + path;
    std::string local_name = name.empty() ? rel : name;
    for (char& c : local_name)
        if (std::string(":*?<>|").find(c) != std::string::npos)
            c = '_';
    // A local source is read at rel; a remote file is written at the local name.
    checkInside(source.isLocal() ? rel : local_name, localDir());
    std::string target = target_dir + local_name;

    std::string check;
    if (source.isLocal()) {
        target = sources.front() + rel;
        check = target;
    } else {
        DownloadProgressRenderer::FileGuard guard(renderer, rel);
        if (!md5.empty()) {
            Log::stream(Log::LEVEL_DEBUG, true) << "FileFetcher: calculate md5sum of " << target;
            if (get_file_md5(target) == md5) {
                guard.success = true;
                return target;
            }
        }
        check = target + ".tmp";
        // Destroyed before the guard ends the line that shows its counters.
        std::unique_ptr<Downloader> downloader = Downloader::create(rel);
        renderer->attach(downloader->progress, downloader->retries);
        for (const std::string& mirror : sources)
            downloader->addMirror(mirror);
        if (!user.empty()) {
            Log::stream(Log::LEVEL_DEBUG, true) << "FileFetcher: set auth for downloader: user=" << user;
            downloader->setAuth(user, password);
        }
        downloader->downloadFile(check);
    }

    if (!fileops::is_file(check)) {
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NONE) << format_message(messages.get("err_misfile"), check);
    }
    const std::string computed = md5.empty() ? std::string() : get_file_md5(check);
    if (md5.empty() || computed == md5) {
        if (target != check) {
            fileops::remove(target);
            fileops::rename(check, target);
        }
        return target;
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "MD5 mismatch: " << computed;
    throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
        << format_message(messages.get("err_mk5check"), check, md5, computed);
}

void FileFetcher::setFilesProgress(const DownloadProgressRenderer::counter_ptr& files)
{
    renderer->setFilesProgress(files);
}
