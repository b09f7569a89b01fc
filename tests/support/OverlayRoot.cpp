#include "tests/support/OverlayRoot.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include <boost/filesystem.hpp>

namespace {

void fail(const std::string& what)
{
    dprintf(2, "runChecksInOverlay: %s: %s\n", what.c_str(), strerror(errno));
    _exit(98);
}

void enterOverlay(const std::string& dir)
{
    const std::string root = dir + "/root";
    if (unshare(CLONE_NEWNS) != 0)
        fail("unshare");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        fail("mount --make-rprivate /");
    const std::string data = "lowerdir=/,upperdir=" + dir + "/upper,workdir=" + dir + "/work";
    if (mount("overlay", root.c_str(), "overlay", 0, data.c_str()) != 0)
        fail("mount overlay");
    for (const char* fs : {"/proc", "/sys", "/dev"})
        if (mount(fs, (root + fs).c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            fail(std::string("mount --rbind ") + fs);
    char cwd[4096];
    const bool here = getcwd(cwd, sizeof cwd) != nullptr;
    if (chroot(root.c_str()) != 0)
        fail("chroot");
    if (chdir(here ? cwd : "/") != 0 && chdir("/") != 0)
        fail("chdir");
}

}  // namespace

ChildResult runChecksInOverlay(const std::function<void()>& body, const ChildOptions& options)
{
    char name[] = "/var/tmp/kw-overlay.XXXXXX";
    if (!mkdtemp(name))
        throw std::runtime_error("mkdtemp failed");
    const std::string dir = name;
    for (const char* part : {"/upper", "/work", "/root"})
        boost::filesystem::create_directory(dir + part);
    ChildOptions environment;
    environment.env = options.env;
    const ChildResult result = runChecksInChild(
        [&] {
            enterOverlay(dir);
            body();
        },
        environment);
    boost::system::error_code ignored;
    boost::filesystem::remove_all(dir, ignored);
    return result;
}

void prepareDnfSystem()
{
    boost::filesystem::create_directories("/etc/dnf/vars");
    boost::filesystem::create_directories("/etc/yum.repos.d");
    FILE* file = std::fopen("/etc/dnf/vars/releasever", "w");
    if (!file || std::fputs("8\n", file) < 0 || std::fclose(file) != 0)
        throw std::runtime_error("cannot write /etc/dnf/vars/releasever");
    if (access("/usr/libexec/platform-python", F_OK) != 0)
        boost::filesystem::create_symlink("/usr/bin/python3", "/usr/libexec/platform-python");
}
