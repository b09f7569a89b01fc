#include "common/SourceSysCache.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/format_message.h"

namespace {
const Messages messages;
}

SourceSysCache::SourceSysCache(Repository* repository_, const std::string& path_) : Source(repository_), path(path_) {}

void SourceSysCache::readSystemPackagesBrief()
{
    FILE* cache = fopen(path.c_str(), "r");
    if (!cache) {
        const int open_errno = errno;
        const std::string text = format_message(messages.get("err_syscache_open"), path);
        Log::stream(Log::LEVEL_INFO, true) << text << ": " << strerror(open_errno);
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << text;
    }
    if (!readInstalledFromFile(cache, Repository::DUPS_APPEND)) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_syscache_read"), path);
    }
}

void SourceSysCache::readPackagesFull() {}
