#include "tests/support/PrivateHome.h"

#include "tests/support/Tool.h"

PrivateHome::PrivateHome()
{
    writeWholeFile(etc / "passwd", "root:x:0:0:root:/root:/bin/bash\n");
    options.binds = {{etc / "passwd", "/etc/passwd"}, {dir.path(), "/root"}};
    for (const char* name :
         {"WEB_SECRET", "ZANTH_INSTALLER_DEBUG", "KW_WEB_UI_DEFAULT_PAGE_OVERRIDE", "XDG_CONFIG_HOME"})
        options.env.emplace_back(name, nullptr);
}

void PrivateHome::write(const std::string& relative, const std::string& content) const
{
    size_t start = 0;
    for (size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1)
        runProgram("/bin/mkdir", {"-p", dir / relative.substr(0, slash)});
    writeWholeFile(dir / relative, content);
}

ChildResult PrivateHome::dump(const std::vector<std::string>& args) const
{
    return runTool("kw_options_dump", args, options);
}
