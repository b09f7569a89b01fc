#ifndef KW_INSTALLER_FLOWS_H
#define KW_INSTALLER_FLOWS_H

// The three flows that the driver dispatches to once the installer lock is held.
namespace driver {

// Queries, feedback settings and installations asked for on the command line.
void work_non_interactive();
// The console wizard.
void work_interactive();
// The web interface's command loop.
void web_ui();
// The launcher run of the web interface: starts the loop detached, prints the one-time secret and
// ends through exit_success.
void launch_web_ui();

// The dispatch calls the flows through this table, which holds the functions above. The program
// never changes it; a test program puts fake flows in before driver::main runs.
struct Flows {
    void (*nonInteractive)();
    void (*interactive)();
    void (*webUi)();
};

Flows& flows();

}  // namespace driver

#endif
