// A condition variable for the threads that keep a line's timing (the
// simulated pump's): its timed wait ends on time on every platform. POSIX
// has that in std::condition_variable. The C++ library of the Windows build
// ends a timed wait several milliseconds late, longer than the pump's reply
// window, so there the wait is the engine's precise wait, with the wake
// event beside its timer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace core {

class LineCondition {
public:
    LineCondition();
    ~LineCondition();
    LineCondition(const LineCondition&) = delete;
    LineCondition& operator=(const LineCondition&) = delete;

    // As std::condition_variable's: the lock is held on entry and on return;
    // a return without a notification is possible, so the caller looks again.
    void notify_all();
    void wait(std::unique_lock<std::mutex>& lock);
    void wait_until(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point deadline);

private:
    std::condition_variable cv_;  // POSIX
    [[maybe_unused]] int event_ = -1;              // Windows: a wake event (core/platform/wake_event.h)
};

// Sleeps until `deadline`, ending on time on every platform (the Windows C++
// library sleeps whole milliseconds, rounded down).
void LineSleepUntil(std::chrono::steady_clock::time_point deadline);

}  // namespace core
