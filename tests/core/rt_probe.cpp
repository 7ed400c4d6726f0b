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
//                     (as the window's start button does) and a port-like
//                     thread that asks at the same time, in ms; then how often
//                     a second scoped raise waited
//   rt_probe retry N  a thread asks every 50 ms, with the broker asked again
//                     N ms after no answer or a refusal, until it is raised
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "core/realtime/rt_broker.h"
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

// Voluntary context switches of the calling thread so far: each is a wait.
long Waits() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
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
    port.join();
    const long before = Waits();
    { core::ScopedRealTimePriority onTime; }
    const long secondWaits = Waits() - before;
    std::printf("%.1f %.1f %ld normal=%d\n", firstMs, threadMs, secondWaits, RunsNormally() ? 1 : 0);
}

// Asks as a window asks at each start click, until raised or 30 s have
// passed; prints how many asks it took and the longest an ask held the thread.
void RetryUntilRaised(int retryMs) {
    core::SetBrokerRetryInterval(std::chrono::milliseconds(retryMs));
    int asks = 0;
    double longestMs = 0;
    std::thread([&] {
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (!core::RunsAtRealTimePriority() && Clock::now() < end) {
            const auto start = Clock::now();
            core::RequestRealTimePriority();
            longestMs = std::max(longestMs, MsSince(start));
            ++asks;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::printf("raised=%d asks=%d longest=%.1f\n", core::RunsAtRealTimePriority() ? 1 : 0, asks, longestMs);
    }).join();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "timing") {
        Timing();
    } else if (mode == "retry" && argc > 2) {
        RetryUntilRaised(std::stoi(argv[2]));
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
