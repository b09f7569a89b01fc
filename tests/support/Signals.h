#ifndef KW_TESTS_SUPPORT_SIGNALS_H
#define KW_TESTS_SUPPORT_SIGNALS_H

#include <atomic>
#include <functional>
#include <thread>

// Signal handlers as the installer sets them up: an empty mask and no flags, so that a blocking
// system call that a signal interrupts fails with EINTR. For tests that run in children.

// The installer's own handler: SIGINT, SIGHUP and SIGTERM only recorded (Progress::signalReceived).
void installProgressHandler();

// A SIGALRM every `microseconds` through a handler that does nothing; 0 stops it.
void interruptEvery(long microseconds);

// Sends a signal to the thread that makes the object once that thread waits in a read of standard
// input, then runs `afterwards` (for instance to write the answer that the read then gets). Gives
// up after ten seconds. The destructor waits for the sending thread.
class SignalAtRead {
public:
    explicit SignalAtRead(int signal, std::function<void()> afterwards = nullptr);
    ~SignalAtRead();
    SignalAtRead(const SignalAtRead&) = delete;
    SignalAtRead& operator=(const SignalAtRead&) = delete;

    // Whether the signal was sent.
    bool sent() const { return sent_; }

private:
    std::atomic<bool> sent_{false};
    std::thread sender;
};

#endif
