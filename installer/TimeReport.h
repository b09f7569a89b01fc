#ifndef KW_INSTALLER_TIMEREPORT_H
#define KW_INSTALLER_TIMEREPORT_H

#include <ctime>
#include <string>
#include <vector>

class BuildManager;
class ComponentManager;

// The action-time record of one installation: how long it took, whether it succeeded, which release
// of the default product it started from and installed, and which components it installed, upgraded
// or removed. Appended to the statistics file of the log directory; writing it never changes the
// run's result.
class TimeReport {
public:
    struct ComponentEntry {
        std::string name;
        std::string mode;  // "I", "U" or "R"
        std::string from;
        std::string to;
    };
    struct ReleaseEntry {
        std::string id;
        std::string action;
        int updateMode;
    };

    // Starts the clock.
    TimeReport();

    // Fills the record from the catalogue and the component forest and appends it to the file. Every
    // failure is logged and swallowed.
    void report(const BuildManager* catalogue, const ComponentManager* components, bool success);

    // The statistics file inside the log directory.
    static const char FILE_NAME[];

    time_t start;
    long duration;
    std::string status;
    std::vector<ComponentEntry> components;
    std::vector<ReleaseEntry> releases;

private:
    void collect(const BuildManager& catalogue, const ComponentManager& manager);
    void write() const;
};

#endif
