#include "tests/support/EndToEnd.h"

#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <stdexcept>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "common/Messages.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tool.h"

namespace {

// What a /bin/sh command writes to standard output, in the C locale.
std::string sh(const std::string& command)
{
    ChildOptions options;
    options.env = {{"LC_ALL", "C"}};
    return runProgram("/bin/sh", {"-c", command}, options).out;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            result.push_back(line);
    return result;
}

std::map<std::string, std::string> attributes(const boost::property_tree::ptree& tree)
{
    std::map<std::string, std::string> result;
    for (const auto& item : tree)
        result[item.first] = item.second.data();
    return result;
}

// Prints the last action of the record as JSON: its attributes, its release's, its components'.
const char* const READ_LAST_ACTION = R"(
import json, os, sys, xml.etree.ElementTree as ET
path = "/var/log/zanth/install/kw_action_time.xml"
if not os.path.exists(path):
    print(json.dumps({"actions": 0})); sys.exit(0)
actions = ET.parse(path).getroot().findall("action")
last = actions[-1]
release = last.find("release")
print(json.dumps({"actions": len(actions), "action": last.attrib,
                  "release": release.attrib if release is not None else {},
                  "components": [c.attrib for c in last.findall("components/component")]}))
)";

}  // namespace

ChildOptions programOptions()
{
    ChildOptions options;
    options.tmpfs = {"/sys/fs/cgroup"};
    options.env = {{"XDG_CONFIG_HOME", nullptr},
                   {"ZANTH_INSTALLER_DEBUG", nullptr},
                   {"HOME", "/root"},
                   {"LANG", "C"},
                   {"LC_ALL", nullptr},
                   {"LANGUAGE", nullptr}};
    return options;
}

std::string kitwrightPath()
{
    return KW_KITWRIGHT_PATH;
}

ChildResult runKitwright(const std::vector<std::string>& args)
{
    return runProgram(kitwrightPath(), args, programOptions());
}

std::map<std::string, std::string> dpkgStates(const std::vector<std::string>& packages)
{
    std::map<std::string, std::string> states;
    const std::string out =
        sh(shell_command({"dpkg-query", "-W", "-f=${Package} ${db:Status-Abbrev}${Version}\\n"}) + " " +
           [&] {
               std::string words;
               for (const std::string& package : packages)
                   words += shell_word(package) + " ";
               return words;
           }() +
           "2>/dev/null");
    for (const std::string& line : lines(out)) {
        const std::string::size_type blank = line.find(' ');
        std::string state = line.substr(blank + 1);
        // A package of which dpkg only knows the name ("un") counts as absent.
        if (state.compare(0, 2, "un") != 0)
            states[line.substr(0, blank)] = state;
    }
    return states;
}

AptPolicy aptPolicy(const std::string& package)
{
    AptPolicy policy;
    policy.table = sh(shell_command({"apt-cache", "policy", package}));
    for (const std::string& line : lines(policy.table)) {
        const std::string trimmed = trim(line);
        if (boost::starts_with(trimmed, "Installed: "))
            policy.installed = trimmed.substr(11);
        else if (boost::starts_with(trimmed, "Candidate: "))
            policy.candidate = trimmed.substr(11);
    }
    return policy;
}

std::vector<std::string> aptSimulatedInstall(const std::string& source, const std::vector<std::string>& packages)
{
    TempDir config;
    chmod(config.path().c_str(), 0755);
    writeWholeFile(config / "sources.list", source + "\n");
    const std::string apt = shell_command({"apt-get", "-q", "-o", "Dir::Etc::SourceList=" + config / "sources.list",
                                           "-o", "Dir::Etc::SourceParts=" + config.path()});
    std::vector<std::string> words{"-s", "install"};
    words.insert(words.end(), packages.begin(), packages.end());
    std::vector<std::string> names;
    for (const std::string& line :
         lines(sh(apt + " update >/dev/null 2>&1; " + apt + " " + shell_command(words) + " 2>/dev/null")))
        if (boost::starts_with(line, "Inst "))
            names.push_back(line.substr(5, line.find(' ', 5) - 5));
    std::sort(names.begin(), names.end());
    return names;
}

std::string treeFingerprint(const std::string& directory)
{
    return sh(
        "cd " + shell_word(directory) +
        " && find . -printf '%y %m %p -> %l\\n' | sort && find . -type f -print0 | sort -z | xargs -0r sha256sum");
}

std::vector<std::string> filesEndingWith(const std::string& directory, const std::string& suffix)
{
    std::vector<std::string> found;
    for (const std::string& line : lines(sh("cd " + shell_word(directory) + " && find . -type f | sort")))
        if (ends_with(line, suffix))
            found.push_back(line.substr(2));
    return found;
}

RecordedAction lastRecordedAction()
{
    const ChildResult run = runProgram("python3", {"-c", READ_LAST_ACTION});
    if (run.exit_code != 0)
        throw std::runtime_error("cannot read the action-time record: " + run.err);
    std::istringstream in(run.out);
    boost::property_tree::ptree tree;
    boost::property_tree::read_json(in, tree);
    RecordedAction record;
    record.actions = tree.get<int>("actions");
    if (record.actions == 0)
        return record;
    record.action = attributes(tree.get_child("action"));
    record.release = attributes(tree.get_child("release"));
    for (const auto& component : tree.get_child("components"))
        record.components.push_back(attributes(component.second));
    return record;
}

std::vector<std::string> keyringFingerprints(const std::string& keyring)
{
    std::vector<std::string> found;
    const std::string out = sh("h=$(mktemp -d) && gpg --homedir \"$h\" --show-keys --with-colons " +
                               shell_word(keyring) + " 2>/dev/null; rm -rf \"$h\"");
    for (const std::string& line : lines(out))
        if (boost::starts_with(line, "fpr:")) {
            // fpr:::::::::FINGERPRINT:
            std::string::size_type at = 0;
            for (int field = 0; field < 9 && at != std::string::npos; ++field)
                at = line.find(':', at + 1);
            if (at != std::string::npos)
                found.push_back(line.substr(at + 1, line.find(':', at + 1) - at - 1));
        }
    return found;
}

void EndToEndTest::SetUp()
{
    // Only inside the throw-away overlay of scripts/overlay-root.sh, whose root is an overlay mount.
    const std::string root = sh("findmnt -n -o FSTYPE /");
    ASSERT_EQ(root, "overlay\n") << "the end-to-end tests run only inside scripts/overlay-root.sh";
    // A server whose package sources are only those the runs configure: the host's sources would send
    // every apt run to mirrors that the private network cannot reach and through lists it must rebuild.
    ASSERT_EQ(sh("rm -rf /etc/apt/sources.list /etc/apt/sources.list.d/* /var/lib/apt/lists/* "
                 "/var/cache/apt/*.bin && echo ok"),
              "ok\n");
}

ChildResult EndToEndTest::kitwright(const std::vector<std::string>& args) const
{
    std::vector<std::string> all = args;
    all.push_back("--source");
    all.push_back(mirror.path() + "/");
    return runKitwright(all);
}

std::string EndToEndTest::text(const char* key)
{
    return Messages().get(key);
}

bool EndToEndTest::holdsMessage(const std::string& output, const char* key)
{
    // The message's fixed pieces, literally, with anything but a line end between them.
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    const std::string message = text(key);
    std::string pattern;
    std::string::size_type from = 0;
    for (std::string::size_type at; (at = message.find("%s", from)) != std::string::npos; from = at + 2)
        pattern += std::regex_replace(message.substr(from, at - from), special, R"(\$&)") + "[^\n]*";
    pattern += std::regex_replace(message.substr(from), special, R"(\$&)");
    return std::regex_search(output, std::regex(pattern));
}
