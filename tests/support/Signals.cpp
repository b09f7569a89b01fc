#include "tests/support/Signals.h"

#include <pthread.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>

#include "common/Progress.h"

namespace {

void recordSignal(int signal)
{
    Progress().signalReceived(signal);
}

void ignoreSignal(int) {}

// Whether the thread is blocked in read(0, ...): its current system call is number 0 (read on x86-64)
// with the first argument 0.
bool waitsInReadOfStandardInput(pid_t tid)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    std::string number, descriptor;
    return in >> number >> descriptor && number == "0" && descriptor == "0x0";
}

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

SignalAtRead::SignalAtRead(int signal, std::function<void()> afterwards)
{
    const pthread_t target = pthread_self();
    const pid_t tid = gettid();
    sender = std::thread([this, signal, afterwards, target, tid] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!waitsInReadOfStandardInput(tid)) {
            if (std::chrono::steady_clock::now() > deadline)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        pthread_kill(target, signal);
        sent_ = true;
        if (afterwards)
            afterwards();
    });
}

SignalAtRead::~SignalAtRead()
{
    sender.join();
}
