#include "tests/support/GeneratedMirror.h"

#include <stdexcept>

#include <boost/property_tree/json_parser.hpp>

#include "tests/support/Tool.h"

std::string GeneratedMirror::script()
{
    return std::string(KW_TEST_DATA_DIR) + "/../support/mirror/make_mirror.py";
}

GeneratedMirror::GeneratedMirror(const std::vector<std::string>& options)
{
    std::vector<std::string> args{script(), dir.path()};
    args.insert(args.end(), options.begin(), options.end());
    const ChildResult run = runProgram("python3", args);
    if (run.exit_code != 0)
        throw std::runtime_error("make_mirror.py failed: " + run.err);
    boost::property_tree::read_json(dir / "mirror.json", manifest_);
}

std::vector<std::string> GeneratedMirror::list(const std::string& array, const std::string& field) const
{
    std::vector<std::string> values;
    for (const auto& item : manifest_.get_child(array))
        values.push_back(field.empty() ? item.second.data() : item.second.get<std::string>(field));
    return values;
}
