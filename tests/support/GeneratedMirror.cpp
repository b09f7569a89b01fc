#include "tests/support/GeneratedMirror.h"

#include <sys/stat.h>

#include <stdexcept>

#include <boost/property_tree/json_parser.hpp>

#include "tests/support/Tool.h"

std::string GeneratedMirror::script()
{
    return std::string(KW_TEST_DATA_DIR) + "/../support/mirror/make_mirror.py";
}

std::string GeneratedMirror::packageToolModel()
{
    return KW_TEST_DATA_DIR "/mirror/package-tool-model.json";
}

GeneratedMirror::GeneratedMirror(const std::vector<std::string>& options, const std::string& parent) : dir(parent)
{
    std::vector<std::string> args{script(), dir.path(), "--cache", KW_TEST_CACHE_DIR "/mirror"};
    args.insert(args.end(), options.begin(), options.end());
    chmod(dir.path().c_str(), 0755);
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

const boost::property_tree::ptree& GeneratedMirror::repository(const std::string& build_config, char kind) const
{
    for (const auto& item : manifest_.get_child("repositories"))
        if (item.second.get<std::string>("build_config") == build_config &&
            item.second.get<std::string>("kind") == std::string(1, kind))
            return item.second;
    throw std::runtime_error("no repository of kind " + std::string(1, kind) + " for " + build_config);
}

std::string GeneratedMirror::firstBuild(const std::string& family) const
{
    for (const auto& owner : manifest_.get_child("products"))
        for (const auto& release : owner.second.get_child("releases"))
            for (const auto& build : release.second.get_child("builds"))
                if (build.second.get<std::string>("family") == family)
                    return build.second.get<std::string>("config");
    throw std::runtime_error("no build of the family " + family);
}
