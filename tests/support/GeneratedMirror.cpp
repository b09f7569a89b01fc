#include "tests/support/GeneratedMirror.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <stdexcept>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>

#include "common/md5.h"
#include "tests/support/Tool.h"

std::string GeneratedMirror::script()
{
    return std::string(KW_TEST_DATA_DIR) + "/../support/mirror/make_mirror.py";
}

std::string GeneratedMirror::packageToolModel()
{
    return KW_TEST_DATA_DIR "/mirror/package-tool-model.json";
}

GeneratedMirror::GeneratedMirror(const std::vector<std::string>& options, const std::string& parent)
    : dir(std::make_unique<TempDir>(parent)), root(dir->path())
{
    chmod(root.c_str(), 0755);
    generate(root, options);
    boost::property_tree::read_json(root + "/mirror.json", manifest_);
}

void GeneratedMirror::generate(const std::string& out, const std::vector<std::string>& options)
{
    std::vector<std::string> args{script(), out, "--cache", KW_TEST_CACHE_DIR "/mirror"};
    args.insert(args.end(), options.begin(), options.end());
    const ChildResult run = runProgram("python3", args);
    if (run.exit_code != 0)
        throw std::runtime_error("make_mirror.py failed: " + run.err);
}

namespace {

// A name for the generator's present text: another text writes another shared mirror.
std::string generatorDigest()
{
    md5_context context;
    md5_init(context);
    const std::string directory = GeneratedMirror::script().substr(0, GeneratedMirror::script().rfind('/'));
    for (const char* file : {"/make_mirror.py", "/repositories.py"}) {
        const std::string text = readWholeFile(directory + file);
        md5_update(context, text.data(), text.size());
    }
    char digest[33];
    return md5_hex_digest(context, digest);
}

}  // namespace

GeneratedMirror::GeneratedMirror(Shared) : root(KW_TEST_CACHE_DIR "/mirror-shared-" + generatorDigest())
{
    boost::filesystem::create_directories(KW_TEST_CACHE_DIR);
    const int lock = open((root + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock " + root + ".lock");
    try {
        // Written whole under another name first, so that a broken run leaves nothing half-made.
        if (!boost::filesystem::exists(root + "/mirror.json")) {
            const std::string part = root + ".part";
            boost::filesystem::remove_all(part);
            boost::filesystem::create_directories(part);
            chmod(part.c_str(), 0755);
            generate(part, {});
            boost::filesystem::remove_all(root);
            boost::filesystem::rename(part, root);
        }
    } catch (...) {
        close(lock);
        throw;
    }
    close(lock);
    boost::property_tree::read_json(root + "/mirror.json", manifest_);
}

const GeneratedMirror& GeneratedMirror::shared()
{
    static const GeneratedMirror mirror{Shared()};
    return mirror;
}

std::vector<std::string> GeneratedMirror::list(const std::string& array, const std::string& field) const
{
    std::vector<std::string> values;
    for (const auto& item : manifest_.get_child(array))
        values.push_back(field.empty() ? item.second.data() : item.second.get<std::string>(field));
    return values;
}

const boost::property_tree::ptree& GeneratedMirror::owner(const std::string& id) const
{
    for (const char* kind : {"products", "addons"})
        for (const auto& item : manifest_.get_child(kind))
            if (item.second.get<std::string>("id") == id)
                return item.second;
    throw std::runtime_error("no product " + id + " in the mirror");
}

const boost::property_tree::ptree& GeneratedMirror::release(const std::string& product, size_t index) const
{
    const auto& releases = owner(product).get_child("releases");
    if (index >= releases.size())
        throw std::runtime_error("no release " + std::to_string(index) + " of " + product);
    auto found = releases.begin();
    std::advance(found, index);
    return found->second;
}

const boost::property_tree::ptree& GeneratedMirror::component(const std::string& product, const std::string& name) const
{
    for (const auto& item : owner(product).get_child("components"))
        if (item.second.get<std::string>("name") == name)
            return item.second;
    throw std::runtime_error("no component " + name + " of " + product);
}

std::string GeneratedMirror::debVersion(const std::string& product, size_t index, const std::string& package) const
{
    for (const auto& build : release(product, index).get_child("builds"))
        if (build.second.get<std::string>("family") == "deb")
            for (const auto& item : build.second.get_child("packages"))
                if (item.second.get<std::string>("name") == package)
                    return item.second.get<std::string>("version") + "-1";
    throw std::runtime_error("no package " + package + " in the Debian build of " + product);
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
