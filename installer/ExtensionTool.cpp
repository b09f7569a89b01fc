#include "installer/ExtensionTool.h"

namespace ExtensionTool {

const char* const PATH = "/usr/local/zorv/bin/extension";
const char* const ENV_NAME = "ZANTH_INTERNAL_PHP_EXEC";

namespace {
std::string& program()
{
    static std::string* current = new std::string(PATH);
    return *current;
}
}  // namespace

const std::string& path()
{
    return program();
}

void setPath(const std::string& replacement)
{
    program() = replacement.empty() ? std::string(PATH) : replacement;
}

}  // namespace ExtensionTool
