#include "tests/support/HostApt.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"

std::string hostAptState()
{
    return shellOutput(
        "find /etc/apt -type f -exec md5sum {} + | sort; dpkg --print-foreign-architectures; "
        "dpkg-query -W | md5sum");
}

void removeHostAptSources()
{
    // apt's own user writes its temporary files into /tmp, which may be the child's private one.
    const std::string command =
        "rm -rf /etc/apt/sources.list /etc/apt/sources.list.d/* /var/lib/apt/lists/* && "
        "mkdir -p /etc/apt/sources.list.d /etc/apt/keyrings /var/lib/apt/lists/partial && chmod 1777 /tmp";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}
