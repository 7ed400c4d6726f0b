#include <windows.h>

#include <thread>

#include "core/platform/line_condition.h"
#include "core/platform/wake_event.h"

namespace core {

namespace {
// One step of the system timer while a port is open, and its lateness.
constexpr auto kPolledStretch = std::chrono::milliseconds(2);
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

void LineCondition::wait_until(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    ResetWakeEvent(event_);
    lock.unlock();
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) break;
        if (left > kPolledStretch) {
            const auto sleep = std::chrono::duration_cast<std::chrono::milliseconds>(left - kPolledStretch);
            if (WaitForWakeEvents({event_}, static_cast<int>(sleep.count()))) break;
        } else {
            if (WaitForWakeEvents({event_}, 0)) break;
            std::this_thread::yield();
        }
    }
    lock.lock();
}

void LineSleepUntil(std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    const auto left = deadline - Clock::now();
    if (left > kPolledStretch)
        Sleep(static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(left - kPolledStretch).count()));
    while (Clock::now() < deadline) std::this_thread::yield();
}

}  // namespace core
