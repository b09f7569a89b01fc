#include "tests/support/XmlLint.h"

#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

ChildResult xmllint(const std::string& option, const std::string& expression, const std::string& document)
{
    TempDir dir;
    writeWholeFile(dir / "document.xml", document);
    std::vector<std::string> args = {option};
    if (!expression.empty())
        args.push_back(expression);
    args.push_back(dir / "document.xml");
    return runProgram("xmllint", args);
}

}  // namespace

std::string xmlProblems(const std::string& document)
{
    const ChildResult lint = xmllint("--noout", "", document);
    return lint.exit_code == 0 ? lint.err : "exit " + std::to_string(lint.exit_code) + ": " + lint.err;
}

std::string xpath(const std::string& document, const std::string& expression)
{
    const ChildResult found = xmllint("--xpath", expression, document);
    std::string value = found.exit_code == 0 ? found.out : found.err;
    if (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}
