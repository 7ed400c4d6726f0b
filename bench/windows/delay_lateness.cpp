// How late DelayMs(1) returns on a line thread (raised as the port's
// monitoring thread is, with the system timer at 1 ms as while a port is
// open): p50, p99 and the largest lateness of 1000 waits, in milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/platform/delay.h"
#include "core/realtime/thread_priority.h"
#include "serial/device/win32_device.h"

int main() {
    using Clock = std::chrono::steady_clock;
    const serial::device::TimerResolution timer;
    core::ScopedRealTimePriority raised;
    std::vector<double> lateness;
    for (int i = 0; i < 1000; ++i) {
        const auto start = Clock::now();
        core::DelayMs(1);
        lateness.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count() - 1.0);
    }
    std::sort(lateness.begin(), lateness.end());
    std::printf("DelayMs(1) lateness over %zu waits: p50 %.3f ms, p99 %.3f ms, max %.3f ms (thread raised: %s)\n",
                lateness.size(), lateness[lateness.size() / 2], lateness[lateness.size() * 99 / 100], lateness.back(),
                core::RunsAtRealTimePriority() ? "yes" : "no");
}
