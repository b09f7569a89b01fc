#include "tests/support/SignedAptRepository.h"

#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "common/fileops.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DebBuilder.h"

namespace {

void run(const std::string& command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace

SignedAptRepository::SignedAptRepository(const TempDir& dir, const std::string& version)
{
    const std::string repo = dir / "repo";
    const std::string home = dir / "gnupg";
    fileops::create_directory(repo);
    fileops::create_directory(home);
    chmod(home.c_str(), 0700);
    chmod(dir.path().c_str(), 0755);  // apt's own user reads the repository
    const DebBuilder debs(repo);
    debs.build(DebBuilder::control("kwt-a", "1.0-1", "all", "Depends: kwt-b\n"), "kwt-a_1.0-1_all.deb");
    debs.build(DebBuilder::control("kwt-b", "1.0-1"), "kwt-b_1.0-1_all.deb");
    debs.build(DebBuilder::control("kwt-c", "1.0-1"), "kwt-c_1.0-1_all.deb");
    debs.build(DebBuilder::control("kwt-c", "2.0-1"), "kwt-c_2.0-1_all.deb");
    debs.build(DebBuilder::control("kwt-i", "1.0-1", "i386"), "kwt-i_1.0-1_i386.deb");
    const std::string gpg = "gpg --batch --quiet --homedir " + home;
    run("cd " + repo + " && apt-ftparchive packages . > Packages 2>/dev/null && apt-ftparchive -o " +
        "APT::FTPArchive::Release::Version=" + version +
        " -o APT::FTPArchive::Release::Origin=Kitwright release . > Release && " + gpg +
        " --passphrase '' --quick-gen-key 'Kitwright Test <test@kitwright.invalid>' ed25519 sign never && " + gpg +
        " --clearsign -o InRelease Release && " + gpg + " --armor --export > " + dir.path() +
        "/key.asc && gpgconf --homedir " + home + " --kill gpg-agent");
    key = readWholeFile(dir / "key.asc");
    fingerprint = shellOutput(gpg + " --with-colons --fingerprint | awk -F: '/^fpr/{print $10; exit}'");
}

std::string hostAptState()
{
    return shellOutput(
        "find /etc/apt -type f -exec md5sum {} + | sort; dpkg --print-foreign-architectures; "
        "dpkg-query -W | md5sum");
}

void removeHostAptSources()
{
    // apt's own user writes its temporary files into /tmp, which may be the child's private one.
    run("rm -rf /etc/apt/sources.list /etc/apt/sources.list.d/* /var/lib/apt/lists/* && "
        "mkdir -p /etc/apt/sources.list.d /etc/apt/keyrings /var/lib/apt/lists/partial && chmod 1777 /tmp");
}
