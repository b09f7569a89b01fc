#include "common/Progress.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>

#include <boost/exception/enable_current_exception.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"

namespace {

const Messages messages;

std::recursive_mutex& guardMutex()
{
    static std::recursive_mutex* m = new std::recursive_mutex;
    return *m;
}

// The record of this process when no segment can be had; other processes never see it.
ProgressStatus* fallbackRecord()
{
    static ProgressStatus* record = new ProgressStatus();
    return record;
}

template <size_t N>
void storeText(char (&field)[N], const std::string& text)
{
    const size_t n = std::min(text.size(), N - 1);
    memcpy(field, text.data(), n);
    field[n] = '\0';
}

struct StageName {
    const char* id;
    const char* title_key;
};

const StageName stage_names[] = {{"init", "progress_stage_init"},
                                 {"prep", "progress_stage_prep"},
                                 {"resolv", "progress_stage_resolv"},
                                 {"download", "progress_stage_download"},
                                 {"inst", "install_start"}};

// The signal state. The handler writes it inside whatever thread it interrupted, so every part is a
// lock-free atomic.
enum cancel_state_t { CANCEL_IDLE = 0, CANCEL_PENDING = 1, CANCEL_CANCELLING = 2, CANCEL_INTERRUPTED = 3 };
std::atomic<int> cancel_state(CANCEL_IDLE);
std::atomic<int> recorded_signal(0);
std::atomic<bool> cancel_safe(true);

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

// Changes the status record under a guard. Reporting progress must never stop an installation: a
// failure is logged as `failure`, and not even that log line may throw.
template <typename Change>
void record(const char* failure, const Change& change) noexcept
{
    try {
        ProgressStatusGuard guard;
        change(guard.data());
    } catch (...) {
        try {
            Log::stream(Log::LEVEL_VERBOSE, true) << failure;
        } catch (...) {
        }
    }
}

}  // namespace

ProgressStatusGuard::ProgressStatusGuard()
    : threads(guardMutex()), lock(2, true), attached(false), shmid(-1), address(nullptr)
{
    shmid = shmget(key, sizeof(ProgressStatus), IPC_CREAT | 0600);
    if (shmid < 0) {
        const int err = errno;
        Log::stream(Log::LEVEL_ERROR, true) << "Error: Can't create/access to shm segment: " << strerror(err);
        Log::stream(Log::LEVEL_ERROR, true) << "Remove status reporter feature will unavailable.";
        fallbackRecord();
        return;
    }
    void* at = shmat(shmid, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "Can't access to shm segment: " << strerror(errno);
    }
    address = at;
    attached = true;
}

ProgressStatusGuard::~ProgressStatusGuard()
{
    if (attached && shmdt(address) != 0) {
        const int err = errno;
        try {
            Log::stream(Log::LEVEL_ERROR, true) << "Warning: shmdt error: " << strerror(err);
        } catch (...) {
        }
    }
}

ProgressStatus& ProgressStatusGuard::data()
{
    return attached ? *static_cast<ProgressStatus*>(address) : *fallbackRecord();
}

Progress::Interrupted::Interrupted(int signal_) : signal(signal_) {}

std::string Progress::Interrupted::message() const
{
    return messages.get("user_canceled");
}

void Progress::stage(unsigned stage, unsigned steps)
{
    record("Progress::stage() was interrupted by exception", [stage, steps](ProgressStatus& status) {
        status.stage = stage;
        status.stage_n = 4;
        status.finished = false;
        status.failed = false;
        status.step = 0;
        status.step_n = steps;
        status.step_id[0] = '\0';
        status.step_title[0] = '\0';
        if (stage < sizeof(stage_names) / sizeof(stage_names[0])) {
            storeText(status.stage_id, stage_names[stage].id);
            storeText(status.stage_title, messages.get(stage_names[stage].title_key));
        }
        Log::stream(Log::LEVEL_DEBUG, true) << "Progress::stage: --- " << status.stage << "/" << status.stage_n << " ("
                                            << status.step_n << " steps) " << status.stage_title;
    });
}

void Progress::step(const std::string& id, const std::string& title)
{
    record("Progress::step() was interrupted by exception", [&id, &title](ProgressStatus& status) {
        ++status.step;
        if (status.step_n < status.step)
            status.step_n = status.step;
        storeText(status.step_id, id);
        storeText(status.step_title, title);
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Progress::step: " << status.step << "/" << status.step_n << " " << title;
    });
}

void Progress::fail(const std::string& text)
{
    record("Progress::fail() was interrupted by exception", [&text](ProgressStatus& status) {
        status.finished = true;
        status.failed = true;
        storeText(status.error, text);
    });
}

void Progress::finish()
{
    record("Progress::finish() was interrupted by exception", [](ProgressStatus& status) {
        status.finished = true;
        status.failed = false;
    });
}

void Progress::signalReceived(int signal)
{
    int state = cancel_state.load();
    // A signal that arrives while the interruption unwinds this thread is not a new request.
    if (state == CANCEL_INTERRUPTED && std::uncaught_exceptions() != 0)
        return;
    while ((state == CANCEL_IDLE || state == CANCEL_INTERRUPTED) &&
           !cancel_state.compare_exchange_weak(state, CANCEL_PENDING)) {
    }
    recorded_signal.exchange(signal);
}

bool Progress::mayStop()
{
    const int signal = recorded_signal.load();
    if (signal == 0 || signal == SIGHUP)
        return cancel_safe.load();
    return true;
}

bool Progress::takeCancelRequest()
{
    int expected = CANCEL_PENDING;
    return cancel_state.load() == CANCEL_PENDING && mayStop() &&
           cancel_state.compare_exchange_strong(expected, CANCEL_CANCELLING);
}

void Progress::checkInterrupted()
{
    const int state = cancel_state.load();
    if ((state != CANCEL_PENDING && state != CANCEL_CANCELLING) || !mayStop())
        return;
    cancel_state.store(CANCEL_INTERRUPTED);
    const int signal = recorded_signal.load();
    {
        Log::stream line(Log::LEVEL_VERBOSE, true);
        line << messages.get("Kitwright");
        if (signal == 0)
            line << " process has received termination signal and will stop working.";
        else
            line << " process has received termination signal and will stop working (signal number " << signal << ").";
    }
    fail(messages.get("user_canceled"));
    throw boost::enable_current_exception(Interrupted(signal));
}

bool Progress::isInterrupted()
{
    return cancel_state.load() == CANCEL_INTERRUPTED;
}

void Progress::markCancelSafe()
{
    cancel_safe.store(true);
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Mark cancel/stop operation as safe";
}

void Progress::markCancelUnsafe()
{
    if (!cancel_safe.load())
        throw KW_INTERNAL_ERROR();
    cancel_safe.store(false);
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Mark cancel/stop operation as unsafe";
}
