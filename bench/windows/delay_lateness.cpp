// How late DelayMs(1) returns on a line thread (raised as the port's
// monitoring thread is, with the system timer at its finest as while a port
// is open): p50, p99 and the largest lateness of 1000 waits, in
// milliseconds; then the same under a played 15.625 ms tick, the timer of a
// minimised or covered window's process on Windows 11. To see the real
// system's coarse timer under Wine, start the Wine server and the program
// with a timer slack (README).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/platform/delay.h"
#include "core/platform/fine_timer_win32.h"
#include "core/realtime/thread_priority.h"
#include "played_tick.h"

namespace {

void Measure(const char* timer) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> lateness;
    for (int i = 0; i < 1000; ++i) {
        const auto start = Clock::now();
        core::DelayMs(1);
        lateness.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count() - 1.0);
    }
    std::sort(lateness.begin(), lateness.end());
    std::printf("DelayMs(1) lateness over %zu waits, %s: p50 %.3f ms, p99 %.3f ms, max %.3f ms (thread raised: %s)\n",
                lateness.size(), timer, lateness[lateness.size() / 2], lateness[lateness.size() * 99 / 100],
                lateness.back(), core::RunsAtRealTimePriority() ? "yes" : "no");
}

}  // namespace

int main() {
    const core::FineTimer timer;
    core::ScopedRealTimePriority raised;
    Measure("the system's timer");
    testing_support::PlayTick(15.625);
    Measure("a played 15.625 ms tick");
    core::Timers() = core::TimerCalls{};
}
