#include "installer/GpgKeyManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <boost/algorithm/string/split.hpp>
#include <boost/filesystem/operations.hpp>

#include "common/Log.h"
#include "common/Opsys.h"
#include "common/POpen.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/textutils.h"

namespace {

// A file of its own under /tmp holding one key text, removed when the object goes.
class AutoremovedTempfile {
public:
    explicit AutoremovedTempfile(const std::string& keyText)
    {
        char name[] = "/tmp/gpg.public.key.XXXXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            throw failure();
        close(fd);
        path_ = name;
        std::ofstream out(path_, std::ios::out | std::ios::trunc);
        out << keyText << "\n";
        out.close();
        if (!out)
            throw failure();
    }
    virtual ~AutoremovedTempfile()
    {
        if (!path_.empty())
            unlink(path_.c_str());
    }
    AutoremovedTempfile(const AutoremovedTempfile&) = delete;
    AutoremovedTempfile& operator=(const AutoremovedTempfile&) = delete;

    const std::string& path() const { return path_; }

private:
    static error failure()
    {
        return error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
               << "Can not create temporary file to store gpg public key: " << strerror(errno);
    }

    std::string path_;
};

bool commandExists(const std::string& name)
{
    return exec_command("command -v " + shell_word(name), false, false) == 0;
}

std::string findGpgProgram()
{
    for (const char* program : {"gpg", "gpg2", "gpg1"})
        if (commandExists(program))
            return program;
    throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
        << "gnupg, gnupg2 and gnupg1 do not seem to be installed - unable to import GPG key.";
}

// Adds the context of a failed GnuPG command as the newest part of its error.
void addContext(error& e, const char* text)
{
    e.addMessage(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << text;
}

// rpm names an imported key "gpg(<user id>)", and from 4.18 on "<user id> public key".
bool isProductKeySummary(const std::string& summary)
{
    for (const char* identity : GpgKeyManager::SIGNING_IDENTITIES)
        if (summary == "gpg(" + std::string(identity) + ")" || summary == identity + std::string(" public key"))
            return true;
    return false;
}

}  // namespace

const char* const GpgKeyManager::SIGNING_IDENTITIES[2] = {"Zanth Packaging Team <packages@zanth.example>",
                                                          "Zanth Packaging Team <security@zanth.example>"};

GpgKeyManager::~GpgKeyManager() {}

std::unique_ptr<GpgKeyManager> GpgKeyManager::create()
{
    const Opsys os;
    if (os.isDebianBased())
        return std::unique_ptr<GpgKeyManager>(new AptGpgKeyManager);
    if (os.isRedHatBased())
        return std::unique_ptr<GpgKeyManager>(new YumGpgKeyManager);
    throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << "GpgKeyManager is not implemented for current OS";
}

AptGpgKeyManager::AutoremovedTempdir::AutoremovedTempdir()
{
    char name[] = "/tmp/zanth.kitwright.gpg.home.XXXXXXXX";
    if (!mkdtemp(name))
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << "Can not create temporary gpg home: " << strerror(errno);
    path_ = name;
}

AptGpgKeyManager::AutoremovedTempdir::~AutoremovedTempdir()
{
    boost::system::error_code ignored;
    boost::filesystem::remove_all(path_, ignored);
}

AptGpgKeyManager::AptGpgKeyManager() : gpgProgram(findGpgProgram()) {}

const std::string& AptGpgKeyManager::getKeyringPath()
{
    static const std::string path = "/etc/apt/keyrings/zanth.gpg";
    return path;
}

const std::string& AptGpgKeyManager::getTrustedPartKeyringPath()
{
    static const std::string path = "/etc/apt/trusted.gpg.d/zanth.gpg";
    return path;
}

const std::string& AptGpgKeyManager::getLegacyKeyringPath()
{
    static const std::string path = "/etc/apt/trusted.gpg";
    return path;
}

std::string AptGpgKeyManager::gpgCommand() const
{
    return gpgProgram + " --no-options --homedir " + shell_word(home.path());
}

void AptGpgKeyManager::importKey(const std::string& keyText)
{
    const AutoremovedTempfile keyFile(keyText);
    try {
        exec_command(gpgCommand() + " --batch --import " + keyFile.path(), false, true);
    } catch (error& e) {
        addContext(e, "Unable to import GPG key.");
        throw;
    }
}

void AptGpgKeyManager::exportKeyring(const std::string& path)
{
    const std::string dir = fileops::dirname(path);
    fileops::create_directory(dir);
    boost::filesystem::permissions(dir, boost::filesystem::add_perms | boost::filesystem::perms(0755));
    fileops::remove(path);
    try {
        exec_command(gpgCommand() + " --batch --export -o " + shell_word(path), true, true);
    } catch (error& e) {
        addContext(e, "Unable to export GPG keyring.");
        throw;
    }
    // Without keys gpg writes no file at all; apt wants the keyring its lines name all the same.
    if (!fileops::exists(path))
        fileops::create_empty_file(path);
    boost::filesystem::permissions(path, boost::filesystem::perms(0644));
}

std::unordered_set<std::string> AptGpgKeyManager::getFingerprints(const std::string& keyringPath)
{
    std::unordered_set<std::string> fingerprints;
    if (!fileops::exists(keyringPath))
        return fingerprints;
    // Only the named keyring: the keys of the temporary home must not count as its keys.
    const std::vector<std::string> lines =
        get_command_output(gpgCommand() + " --batch --no-default-keyring --fingerprint --with-colons --keyring " +
                           shell_word(keyringPath));
    bool primary = false;
    for (const std::string& line : lines) {
        std::vector<std::string> fields;
        boost::split(fields, line, [](char c) { return c == ':'; });
        if (fields[0] == "pub") {
            primary = true;
        } else if (fields[0] == "fpr" && primary) {
            primary = false;
            if (fields.size() >= 10)
                fingerprints.insert(fields[9]);
        }
    }
    return fingerprints;
}

void AptGpgKeyManager::removeDuplicateTrustedKeys()
{
    if (!commandExists("apt-key"))
        return;
    const std::unordered_set<std::string> legacy = getFingerprints(getLegacyKeyringPath());
    if (legacy.empty())
        return;
    std::string command = "apt-key --keyring " + getLegacyKeyringPath() + " del";
    bool any = false;
    for (const std::string& fingerprint : getFingerprints(getTrustedPartKeyringPath()))
        if (legacy.count(fingerprint)) {
            command += " " + shell_word(fingerprint);
            any = true;
        }
    if (any)
        exec_command(command, false, false);
}

void YumGpgKeyManager::importKey(const std::string& keyText)
{
    const AutoremovedTempfile keyFile(keyText);
    std::istringstream input;
    std::ostringstream output, errors;
    POpen rpm("/bin/rpm --import " + keyFile.path(), &input, &output, &errors);
    if (rpm.wait(true) != 0)
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "Unable to import GPG key.";
}

void YumGpgKeyManager::removeInstalledZanthKeys()
{
    // The pattern is rpm's own: quoted, so that no file of the working directory replaces it.
    const std::string query = "rpm -qa 'gpg-pubkey*' --queryformat '%{Name}-%{Version}-%{Release} %{Summary}\\n'";
    std::vector<std::string> keys;
    std::ostringstream errors;
    try {
        std::istringstream input;
        std::ostringstream output;
        POpen rpm(query, &input, &output, &errors);
        if (rpm.wait(true) != 0)
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "the query failed";
        std::istringstream lines(output.str());
        for (std::string line; std::getline(lines, line);) {
            const std::string::size_type blank = line.find(' ');
            if (blank == std::string::npos) {
                Log::stream(Log::LEVEL_DEBUG, true) << "Unable to find whitespace delimeter in line: " << line;
                continue;
            }
            if (isProductKeySummary(line.substr(blank + 1)))
                keys.push_back(line.substr(0, blank));
        }
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "removeInstalledZanthKeys: " << query << "\n" << errors.str();
    }
    if (keys.empty())
        return;
    std::string removal = "rpm -e --allmatches";
    for (const std::string& key : keys)
        removal += " " + shell_word(key);
    std::ostringstream captured;
    try {
        std::istringstream input;
        POpen rpm(removal, &input, &captured, &captured);
        rpm.wait(true);
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "removeInstalledZanthKeys: " << removal << "\n" << captured.str();
    }
}
