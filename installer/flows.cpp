#include "installer/flows.h"

#include "common/error.h"

namespace driver {

namespace {

// The flows that this build does not have yet end the run as a user error with this text.
[[noreturn]] void not_available(const char* what)
{
    throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE) << what << " is not available in this build yet.";
}

}  // namespace

// Placeholder until the console wizard is built.
void work_interactive()
{
    not_available("The console wizard");
}

// Placeholder until the web interface is built.
void web_ui()
{
    not_available("The web interface");
}

// Placeholder until the web interface is built.
void launch_web_ui()
{
    not_available("The web interface");
}

Flows& flows()
{
    static Flows table{work_non_interactive, work_interactive, web_ui};
    return table;
}

}  // namespace driver
