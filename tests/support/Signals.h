#ifndef KW_TESTS_SUPPORT_SIGNALS_H
#define KW_TESTS_SUPPORT_SIGNALS_H

// Signal handlers as the installer sets them up: an empty mask and no flags, so that a blocking
// system call that a signal interrupts fails with EINTR. For tests that run in children.

// The installer's own handler: SIGINT, SIGHUP and SIGTERM only recorded (Progress::signalReceived).
void installProgressHandler();

// A SIGALRM every `microseconds` through a handler that does nothing; 0 stops it.
void interruptEvery(long microseconds);

#endif
