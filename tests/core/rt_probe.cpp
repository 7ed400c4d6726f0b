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
//   rt_probe line N W   a line thread, as the port's: whether its own ask
//                     raised it and why not, then whether it was raised
//                     within W ms without asking again (the broker's window
//                     set to N ms), and whether it is back at normal
//                     scheduling once it ends
//   rt_probe restart N  a line thread whose ask failed, and a start of the
//                     link every 50 ms (the broker asked again N ms after no
//                     answer) until it is raised or 30 s have passed; when
//                     it was raised, in ms since it began
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "core/realtime/line_priority.h"
#include "core/realtime/rt_broker.h"
#include "core/realtime/thread_priority.h"

namespace {

using Clock = std::chrono::steady_clock;

long long Limit(rlim_t value) { return value == RLIM_INFINITY ? -1LL : static_cast<long long>(value); }

bool RunsNormally() { return (sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_OTHER; }

const char* Name(core::NoRealTime why) {
    switch (why) {
        case core::NoRealTime::None: return "none";
        case core::NoRealTime::NoService: return "no-service";
        case core::NoRealTime::Refused: return "refused";
        case core::NoRealTime::CpuLimit: return "cpu-limit";
        case core::NoRealTime::NotGranted: return "not-granted";
        case core::NoRealTime::Lowered: return "lowered";
    }
    return "?";
}

// The broker may answer after the thread stopped waiting, on a busy machine.
void AwaitLateGrant() {
    for (int i = 0; i < 100 && !core::RunsAtRealTimePriority(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void AskAndReport(bool spin) {
    auto grant = core::RequestRealTimePriority();
    const core::NoRealTime why = core::WhyNotRaised();
    AwaitLateGrant();
    if (grant == core::PriorityGrant::None && core::RunsAtRealTimePriority()) grant = core::PriorityGrant::Broker;
    sched_param param{};
    sched_getparam(0, &param);
    rlimit rttime{};
    getrlimit(RLIMIT_RTTIME, &rttime);
    std::printf("grant=%d why=%s realtime=%d priority=%d rttime=%lld/%lld", static_cast<int>(grant), Name(why),
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

// Until the calling thread runs at real time, or `ms` have passed.
bool RaisedWithin(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!core::RunsAtRealTimePriority() && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return core::RunsAtRealTimePriority();
}

void LineThread(int windowMs, int waitMs) {
    core::SetBrokerRetryInterval(std::chrono::milliseconds(windowMs));
    std::thread([&] {
        {
            const core::LineThreadPriority onTime;
            const bool first = core::RunsAtRealTimePriority();
            const core::NoRealTime why = core::LineRanWithoutRealTime();
            std::printf("first=%d why=%s raised=%d", first ? 1 : 0, Name(why), RaisedWithin(waitMs) ? 1 : 0);
        }
        std::printf(" normal=%d\n", RunsNormally() ? 1 : 0);
    }).join();
}

// Starts the link as the window's start click does, every 50 ms, while a
// line thread waits to be raised; prints how many starts it took and the
// longest one.
void RestartUntilRaised(int retryMs) {
    core::SetBrokerRetryInterval(std::chrono::milliseconds(retryMs));
    std::atomic<bool> raised{false}, done{false};
    double raisedMs = 0;
    const auto begin = Clock::now();
    std::thread line([&] {
        const core::LineThreadPriority onTime;
        raisedMs = RaisedWithin(30000) ? MsSince(begin) : 0;
        raised = raisedMs > 0;
        while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    int starts = 0;
    double longestMs = 0;
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!raised && Clock::now() < end) {
        const auto start = Clock::now();
        core::RenewLineThreadPriority();
        longestMs = std::max(longestMs, MsSince(start));
        ++starts;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const core::NoRealTime why = core::LineRanWithoutRealTime();
    done = true;
    line.join();
    std::printf("raised=%d after=%.0f starts=%d longest=%.1f why=%s\n", raised ? 1 : 0, raisedMs, starts, longestMs,
                Name(why));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "timing") {
        Timing();
    } else if (mode == "line" && argc > 3) {
        LineThread(std::stoi(argv[2]), std::stoi(argv[3]));
    } else if (mode == "restart" && argc > 2) {
        RestartUntilRaised(std::stoi(argv[2]));
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
