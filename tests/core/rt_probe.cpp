// Asks for the line threads' real-time priority and prints what happened, for
// tests that run it under other users and buses.
//
//   rt_probe          a new thread asks, then lowers itself again
//   rt_probe thrice   the first, three times over on new threads
//   rt_probe spin     a new thread asks, then computes a second and a half
//                     without blocking (a runaway line thread)
//   rt_probe scoped   the main thread raised for a scope, as the window's
//                     start button raises it
//   rt_probe timing   how long raises take: the main thread's scoped raise
//                     (as the window's start button does), a second one, and
//                     a port-like thread that asks at the same time as the first
#include <sched.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "core/realtime/thread_priority.h"

namespace {

using Clock = std::chrono::steady_clock;

long long Limit(rlim_t value) { return value == RLIM_INFINITY ? -1LL : static_cast<long long>(value); }

bool RunsNormally() { return (sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_OTHER; }

// The broker may answer after the thread stopped waiting, on a busy machine.
void AwaitLateGrant() {
    for (int i = 0; i < 100 && !core::RunsAtRealTimePriority(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void AskAndReport(bool spin) {
    auto grant = core::RequestRealTimePriority();
    AwaitLateGrant();
    if (grant == core::PriorityGrant::None && core::RunsAtRealTimePriority()) grant = core::PriorityGrant::Broker;
    sched_param param{};
    sched_getparam(0, &param);
    rlimit rttime{};
    getrlimit(RLIMIT_RTTIME, &rttime);
    std::printf("grant=%d realtime=%d priority=%d rttime=%lld/%lld", static_cast<int>(grant),
                core::RunsAtRealTimePriority() ? 1 : 0, param.sched_priority, Limit(rttime.rlim_cur),
                Limit(rttime.rlim_max));
    if (spin) {
        const auto end = Clock::now() + std::chrono::milliseconds(1500);
        while (Clock::now() < end) {
        }
        std::printf(" spun");
    } else {
        core::DropRealTimePriority();
    }
    std::printf(" normal=%d\n", RunsNormally() ? 1 : 0);
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Timing() {
    double threadMs = 0;
    const auto start = Clock::now();
    std::thread port([&] {
        core::RequestRealTimePriority();
        threadMs = MsSince(start);
    });
    { core::ScopedRealTimePriority onTime; }
    const double firstMs = MsSince(start);
    const auto again = Clock::now();
    { core::ScopedRealTimePriority onTime; }
    const double secondMs = MsSince(again);
    port.join();
    std::printf("%.1f %.1f %.1f normal=%d\n", firstMs, secondMs, threadMs, RunsNormally() ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "timing") {
        Timing();
    } else if (mode == "scoped") {
        bool raised = false;
        {
            core::ScopedRealTimePriority onTime;
            AwaitLateGrant();
            raised = core::RunsAtRealTimePriority();
        }
        std::printf("raised=%d normal=%d\n", raised ? 1 : 0, RunsNormally() ? 1 : 0);
    } else {
        for (int i = mode == "thrice" ? 3 : 1; i > 0; --i) std::thread([&] { AskAndReport(mode == "spin"); }).join();
    }
}
