#include <windows.h>

#include <algorithm>

#include "core/platform/line_condition.h"
#include "core/platform/precise_wait_win32.h"
#include "core/platform/timer_calls_win32.h"
#include "core/platform/wake_event.h"

namespace core {

namespace {
// The performance counter's reading at `deadline`; a deadline more than an
// hour away is taken as an hour away (a waiter may return early and looks
// again).
LONGLONG TicksAt(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    const auto left = std::min(deadline - steady_clock::now(), steady_clock::duration(hours(1)));
    return NowTicks() + duration_cast<microseconds>(left).count() * TicksPerSecond() / 1'000'000;
}
}  // namespace

LineCondition::LineCondition() : event_(CreateWakeEvent()) {}

LineCondition::~LineCondition() { CloseWakeEvent(event_); }

// Every waiter takes the signal down while it holds the lock, before it
// waits: a notification made after the waiter looked at the state under the
// lock cannot be lost.
void LineCondition::notify_all() { SignalWakeEvent(event_); }

void LineCondition::wait(std::unique_lock<std::mutex>& lock) {
    ResetWakeEvent(event_);
    lock.unlock();
    WaitForWakeEvents({event_}, -1);
    lock.lock();
}

// The wait keeps its time as the engine's waits do (precise_wait_win32.h).
void LineCondition::wait_until(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point deadline) {
    ResetWakeEvent(event_);
    lock.unlock();
    WaitUntilTicks(TicksAt(deadline), event_ == -1 ? nullptr : LongToHandle(event_));
    lock.lock();
}

void LineSleepUntil(std::chrono::steady_clock::time_point deadline) { WaitUntilTicks(TicksAt(deadline)); }

}  // namespace core
