#include "common/DebPackage.h"

#include <cstring>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/SystemCmd.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"

namespace {

const Messages messages;

// The rest of `line` when it begins with `field`, else null.
const char* fieldValue(const char* line, const char* field)
{
    const size_t length = strlen(field);
    return strncmp(line, field, length) == 0 ? line + length : nullptr;
}

}  // namespace

DebPackage::DebPackage(const std::string& name_, const std::string& version_) : Package(name_, new DebVersion(version_))
{
}

void DebPackage::readInfo()
{
    try {
        // The file name may come from a mirror: dpkg must get it as one word, whatever it holds.
        SystemCmd control(shell_command({"dpkg", "-I", fileName, "control"}), SystemCmd::READ);
        char line[4096];
        while (fgets(line, sizeof(line), control.stream)) {
            trim_in_place(line);
            if (const char* value = fieldValue(line, "Package: "))
                name = PooledString(value);
            else if (const char* value = fieldValue(line, "Version: "))
                version.reset(new DebVersion(value));
            else if (const char* value = fieldValue(line, "Architecture: "))
                arch = PooledString(value);
        }
        control.check();
        if (!version.get())
            throw KW_INTERNAL_ERROR();
        readFileInfo();
    } catch (error& e) {
        e.addMessage(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_pkgread"), fileName);
        throw;
    }
}

void DebPackage::readFileInfo()
{
    installTime = fileops::last_write_time(fileName);
    char digest[33];
    if (!md5_file(fileName.c_str(), digest)) {
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
            << format_message("Unable to get MD5 checksum of %s file.", fileName);
    }
    setMd5(digest);
    size = fileops::file_size(fileName);
    if (size == 0)
        Log::stream(Log::LEVEL_ERROR, true) << "ERROR: Can't get size for " << fileName;
}
