#include "core/realtime/line_priority.h"

#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>

#include "core/realtime/rt_broker.h"

namespace core {
namespace {

bool AtRealTime(pid_t tid) {
    const int policy = sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

// Members and the threads that use them: all of them under lock, any thread.
struct Line {
    std::mutex lock;
    std::map<pid_t, NoRealTime> threads;  // each line thread, and why its own ask did not raise it
    NoRealTime atStart = NoRealTime::None;  // found at the last start and not asked again
    unsigned failuresAtStart = 0;           // the broker's failures counted before it
};

Line& TheLine() {
    static Line* line = new Line;  // never destroyed: line threads may outlive main
    return *line;
}

}  // namespace

LineThreadPriority::LineThreadPriority() : id_(gettid()) {
    RequestRealTimePriority();
    Line& line = TheLine();
    std::lock_guard guard(line.lock);
    line.threads[static_cast<pid_t>(id_)] = WhyNotRaised();
}

LineThreadPriority::~LineThreadPriority() {
    const auto tid = static_cast<pid_t>(id_);
    {
        Line& line = TheLine();
        std::lock_guard guard(line.lock);
        line.threads.erase(tid);
    }
    // No grant may come for a number the system hands out again.
    WithdrawBrokerRequest(tid);
    if (RunsAtRealTimePriority()) DropRealTimePriority();
}

void RenewLineThreadPriority() {
    Line& line = TheLine();
    // Asked under the lock, so that a thread that ends meanwhile withdraws
    // after its request, and no grant comes for its number. The broker takes
    // no lock of ours, and a request without patience waits for nothing.
    std::lock_guard guard(line.lock);
    line.atStart = NoRealTime::None;
    line.failuresAtStart = BrokerFailuresSoFar().count;
    for (const auto& [tid, why] : line.threads) {
        if (AtRealTime(tid)) continue;
        // A limit the watchdog cannot live with stays, and so does a thread
        // the watchdog lowered: neither is asked for again.
        if (why == NoRealTime::CpuLimit || why == NoRealTime::NotGranted || why == NoRealTime::None) {
            line.atStart = why == NoRealTime::None ? NoRealTime::Lowered : why;
            continue;
        }
        const BrokerOutcome asked = AskBrokerForRealTime(tid, kLineThreadPriority, std::chrono::milliseconds(0));
        if (asked.answer == BrokerAnswer::NotGranted) line.atStart = asked.why;
    }
}

NoRealTime LineRanWithoutRealTime() {
    Line& line = TheLine();
    std::lock_guard guard(line.lock);
    if (line.atStart != NoRealTime::None) return line.atStart;
    if (const BrokerFailures failures = BrokerFailuresSoFar(); failures.count != line.failuresAtStart)
        return failures.last;
    for (const auto& [tid, why] : line.threads)
        if (!AtRealTime(tid)) return why == NoRealTime::None ? NoRealTime::Lowered : why;
    return NoRealTime::None;
}

}  // namespace core
