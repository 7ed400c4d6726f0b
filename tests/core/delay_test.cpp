#include <gtest/gtest.h>

#include <chrono>

#include "core/platform/delay.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuMs() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
#endif
}

}  // namespace

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
    const double cpuBefore = ThreadCpuMs();
    const auto t0 = Clock::now();
    for (int i = 0; i < 300; ++i) core::DelayMs(1);
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    EXPECT_LT(ThreadCpuMs() - cpuBefore, wallMs / 2) << "over " << wallMs << " ms";
}
