#ifndef KW_INSTALLER_COMPONENTSEXAMINE_H
#define KW_INSTALLER_COMPONENTSEXAMINE_H

#include <map>
#include <string>
#include <vector>

#include "common/checked_pointer.h"
#include "installer/BuildInfFile.h"

class ComponentManager;
class FileFetcher;

// Publishes the current step of the installation in the shared status record under the key and
// writes its text to the log as an important line.
void logProgressStep(const std::string& key, const std::string& text);

// One check selected for a phase: the catalogue's record and what the selection knew of its build.
struct ExamineEntry {
    BuildInfFile::examine_t record;
    std::string context;      // the component's name, or the release's name for a build's check
    std::string fromVersion;  // the installed version of the product; empty when it is not installed
    std::string toVersion;
    std::string osName;
    std::string osVersion;
    std::string osArch;

    // Paths on the installation source: a relative path under the record's directory, an absolute
    // one without its leading '/'.
    std::string resolvePath(const std::string& path) const;
    std::string scriptPath() const { return resolvePath(record.script); }
    std::string launcherPath() const { return resolvePath(record.launcher); }

    // The same check: scope, name, resolved launcher and script, options and always; the context and
    // the versions do not count.
    bool operator==(const ExamineEntry& other) const;
};

// A check that did not pass.
struct ExamineResult {
    std::string title;
    std::string output;
    std::string errors;
    bool isError;  // the script's exit code was 2; any other non-zero code is a warning
};

typedef std::vector<ExamineResult> ExamineResults;

bool hasExamineErrors(const ExamineResults& results);

// The checks that components and builds declare, selected once from the selection at construction and
// run before (pre) and after (post) the installation. Scripts come from the installation source and
// report through their exit code: 2 an error, any other non-zero code a warning. Each phase runs at
// most once and keeps its results.
class ComponentsExamine {
public:
    // The fetcher may be null until a script has to be fetched. A null manager throws
    // std::invalid_argument.
    ComponentsExamine(const ComponentManager* componentManager, FileFetcher* fileFetcher);

    // Takes the manager's installation types; a null manager throws std::invalid_argument.
    void setInstallationType(const ComponentManager* componentManager);

    // Each is true when its phase produced no result. skipExamine runs only the checks marked always.
    bool doPreExamine(bool skipExamine);
    bool doPostExamine(bool skipExamine);
    // The post phase of a failed installation: only the checks marked always, with {RC} 1. It shares
    // the post phase with doPostExamine: whichever runs first is the only one that runs.
    bool doFailurePostExamine();

    const ExamineResults& getPreResults() const { return preResults; }
    const ExamineResults& getPostResults() const { return postResults; }
    const std::vector<ExamineEntry>& getPreEntries() const { return preEntries; }
    const std::vector<ExamineEntry>& getPostEntries() const { return postEntries; }

    // The entry's options with its placeholders replaced, in their order.
    std::string buildArguments(const ExamineEntry& entry, int rc) const;

private:
    bool runPhase(const char* operation, const char* step, const std::vector<ExamineEntry>& entries,
                  ExamineResults& results, bool& done, bool onlyAlways, int rc);
    void run(const std::vector<ExamineEntry>& entries, bool onlyAlways, int rc, ExamineResults& results);
    // Runs one entry; a non-zero exit adds a result.
    void runEntry(const ExamineEntry& entry, int rc, ExamineResults& results, std::string& localScript);

    std::vector<ExamineEntry> preEntries;
    std::vector<ExamineEntry> postEntries;
    checked_pointer<FileFetcher> fileFetcher;
    ExamineResults preResults;
    ExamineResults postResults;
    bool preDone = false;
    bool postDone = false;
    std::map<std::string, std::string> instTypeByProduct;
};

// The text of a result list: each title, then the lines of its standard error, indented.
class ExamineResultFormatter {
public:
    // Two blanks and the line without its trailing white space.
    virtual std::string formatLine(const std::string& line) const;
    std::string format(const ExamineResults& results) const;
};

#endif
