#include "tests/support/Signals.h"

#include <signal.h>
#include <sys/time.h>

#include <cstring>

#include "common/Progress.h"

namespace {

void recordSignal(int signal)
{
    Progress().signalReceived(signal);
}

void ignoreSignal(int) {}

void install(int signal, void (*handler)(int))
{
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = handler;
    sigaction(signal, &action, nullptr);
}

}  // namespace

void installProgressHandler()
{
    for (int signal : {SIGINT, SIGHUP, SIGTERM})
        install(signal, recordSignal);
}

void interruptEvery(long microseconds)
{
    install(SIGALRM, ignoreSignal);
    const timeval interval = {microseconds / 1000000, microseconds % 1000000};
    const itimerval timer = {interval, interval};
    setitimer(ITIMER_REAL, &timer, nullptr);
}
