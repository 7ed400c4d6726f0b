#include "core/platform/delay.h"

#include <time.h>

#include <chrono>
#include <thread>

namespace core {
namespace {

using Clock = std::chrono::steady_clock;

// The last stretch of every wait is spent polling the clock, because a
// sleeping thread wakes a little late; the stretch covers that lateness for a
// real-time thread on a busy machine. Sleeping for the rest of the wait keeps
// a real-time thread from taking a single processor away from the window.
constexpr auto kSpinStretch = std::chrono::microseconds(150);

void SleepUntil(Clock::time_point wake) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wake.time_since_epoch()).count();
    timespec at{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    // steady_clock is CLOCK_MONOTONIC on Linux; an interrupted sleep simply
    // leaves more to the polling stretch.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

}  // namespace

void DelayMs(std::uint16_t ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    if (deadline - Clock::now() > kSpinStretch) SleepUntil(deadline - kSpinStretch);
    // Yielding (not only spinning) lets a thread of equal priority, such as
    // the one delivering the pump's bytes, have the processor meanwhile.
    while (Clock::now() < deadline) std::this_thread::yield();
}

}  // namespace core
