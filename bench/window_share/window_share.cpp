// How much of one processor a real-time line thread leaves to the window.
//
// A line thread polls in 1 ms waits, as the engine does through a whole
// exchange, while a normal-priority thread stands for the window and asks to
// run every 10 ms. Run it on one processor, with and without a busy loop:
//
//     taskset -c 0 build/bench/window_share/bench_window_share [seconds]
//
// Two waits are compared: the program's DelayMs (sleep, then a short poll of
// the clock) and a wait that only yields. The line thread asks for real-time
// priority as the program's line threads do; without it the figures show
// what a machine that grants none gets.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/platform/delay.h"
#include "core/realtime/thread_priority.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void YieldOnlyWait() {
    const auto end = Clock::now() + std::chrono::milliseconds(1);
    while (Clock::now() < end) std::this_thread::yield();
}

struct Figures {
    double p50, p99, max;
};

Figures Percentiles(std::vector<double> v) {
    if (v.empty()) return {0, 0, 0};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

void Run(const char* name, void (*wait)(), int seconds) {
    std::atomic<bool> stop{false};
    std::vector<double> polls;
    bool realTime = false;
    std::thread line([&] {
        realTime = core::RequestRealTimePriority() != core::PriorityGrant::None;
        auto last = Clock::now();
        while (!stop) {
            wait();
            const auto now = Clock::now();
            polls.push_back(Ms(now - last));
            last = now;
        }
    });
    std::vector<double> lateness;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        const auto asked = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lateness.push_back(Ms(Clock::now() - asked) - 10.0);
    }
    stop = true;
    line.join();
    const Figures p = Percentiles(polls), w = Percentiles(lateness);
    std::printf("%-22s line thread %-9s poll interval p50 %.3f p99 %.3f max %.3f ms | "
                "window ticks %zu of %d, late p50 %.2f p99 %.2f max %.2f ms\n",
                name, realTime ? "real-time" : "normal", p.p50, p.p99, p.max, lateness.size(), seconds * 100,
                w.p50, w.p99, w.max);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Run("DelayMs(1)", [] { core::DelayMs(1); }, seconds);
    Run("yield-only 1 ms wait", YieldOnlyWait, seconds);
}
