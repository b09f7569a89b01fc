#include "installer/HelperScripts.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace {

struct Embedded {
    const char* asset;
    std::string bytes;
    const char* firstLine;
};

// The program carries the assets byte for byte, whatever their length, and nothing after them.
TEST(HelperScripts, EmbedTheAssetsByteForByte)
{
    const Embedded table[] = {
        {"yum_install", std::string(helper_scripts::yum_install, helper_scripts::yum_install_size),
         "#!/usr/bin/python -Estt\n"},
        {"dnf_install", std::string(helper_scripts::dnf_install, helper_scripts::dnf_install_size),
         "#!/usr/libexec/platform-python -Estt\n"},
    };
    for (const Embedded& script : table) {
        SCOPED_TRACE(script.asset);
        const std::string file = readWholeFile(std::string(KW_TEST_DATA_DIR) + "/../../assets/" + script.asset);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(script.bytes, file);
        EXPECT_EQ(script.bytes.rfind(script.firstLine, 0), 0u);
    }
    EXPECT_EQ(helper_scripts::dnf_install[helper_scripts::dnf_install_size], '\0');
}

}  // namespace
