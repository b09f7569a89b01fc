#ifndef KW_INSTALLER_SYSTEMEXIT_H
#define KW_INSTALLER_SYSTEMEXIT_H

namespace driver {

// The end of a run, carrying the process's exit code (0 success, 1 error). Thrown through
// boost::enable_current_exception, so that a background job can hand it to the main thread.
struct SystemExit {
    int code;
};

}  // namespace driver

#endif
