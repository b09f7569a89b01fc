#ifndef KW_INSTALLER_DRIVER_MAIN_H
#define KW_INSTALLER_DRIVER_MAIN_H

// The whole life of one run, from the process entry to its exit code.
namespace driver {

// Starts up, serves the print-only modes, keeps one installer per server and dispatches to a flow.
// Never returns: every way out throws driver::SystemExit (or Progress::Interrupted after a signal).
[[noreturn]] void main(int argc, char** argv);

// The ends of a run: the notification mail, then driver::SystemExit with code 0, or with code 1 (0
// with XML output, where the error travels inside the reply).
[[noreturn]] void exit_success();
[[noreturn]] void exit_error();

// The handler of SIGINT, SIGHUP and SIGTERM: only records the signal for the flows' safe points.
void on_signal(int signal);

}  // namespace driver

#endif
