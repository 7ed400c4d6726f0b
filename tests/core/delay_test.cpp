#include <gtest/gtest.h>
#include <time.h>

#include <chrono>

#include "core/platform/delay.h"

using Clock = std::chrono::steady_clock;

TEST(DelayMs, WaitsAtLeastTheGivenTime) {
    auto t0 = Clock::now();
    core::DelayMs(0);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(50));
    t0 = Clock::now();
    core::DelayMs(1);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(1));
    t0 = Clock::now();
    core::DelayMs(20);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(20));
}

// The engine polls the line in 1 ms waits on a raised thread; a wait that
// spins holds off whoever else needs that processor, the window or the
// system's worker bringing the awaited byte in.
TEST(DelayMs, OneMillisecondPollsLeaveTheProcessorToOthers) {
    auto threadCpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    const double cpuBefore = threadCpuMs();
    const auto t0 = Clock::now();
    for (int i = 0; i < 300; ++i) core::DelayMs(1);
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    EXPECT_LT(threadCpuMs() - cpuBefore, wallMs / 2) << "over " << wallMs << " ms";
}
