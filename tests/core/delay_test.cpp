#include <gtest/gtest.h>

#include <chrono>

#include "core/platform/delay.h"

TEST(DelayMs, WaitsAtLeastTheGivenTime) {
    using Clock = std::chrono::steady_clock;
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
