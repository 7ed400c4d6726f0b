#include "core/realtime/thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "core/realtime/realtime_watchdog.h"
#include "core/realtime/rt_broker.h"

namespace core {
namespace {

// Why the calling thread's last request did not raise it.
thread_local NoRealTime whyNotRaised = NoRealTime::None;

bool SetCallingThread(int policy, int priority) {
    sched_param param{};
    param.sched_priority = priority;
    // Zero names the calling thread, not the whole process.
    return sched_setscheduler(0, policy, &param) == 0;
}

// A process may raise itself when it has CAP_SYS_NICE, or up to its
// RLIMIT_RTPRIO without it.
bool RaiseDirectly() {
    constexpr int kPolicy = SCHED_FIFO | SCHED_RESET_ON_FORK;
    if (SetCallingThread(kPolicy, kLineThreadPriority)) return true;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0) return false;
    const int allowed = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, kLineThreadPriority));
    return SetCallingThread(kPolicy, allowed);
}

}  // namespace

PriorityGrant RequestRealTimePriority() {
    // A thread the watchdog could not lower is never raised: neither when
    // its answer to SIGXCPU cannot be set, nor when the hard limit on
    // real-time CPU time (a system's, or inherited) leaves it no time to act.
    whyNotRaised = NoRealTime::CpuLimit;
    if (!GuardCallingThread() || !ArmRealTimeWatchdog(RLIM_INFINITY)) return PriorityGrant::None;
    whyNotRaised = NoRealTime::None;
    if (RaiseDirectly()) return PriorityGrant::Direct;
    // A pending request raises the thread when the broker gets to it.
    const BrokerOutcome asked = AskBrokerForRealTime(gettid(), kLineThreadPriority);
    if (asked.answer == BrokerAnswer::Granted && RunsAtRealTimePriority()) return PriorityGrant::Broker;
    whyNotRaised = asked.why == NoRealTime::None ? NoRealTime::NotGranted : asked.why;
    return PriorityGrant::None;
}

NoRealTime WhyNotRaised() { return whyNotRaised; }

void DropRealTimePriority() { LowerThread(0); }

bool RunsAtRealTimePriority() {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

ScopedRealTimePriority::ScopedRealTimePriority() {
    if (RunsAtRealTimePriority()) return;
    raised_ = RequestRealTimePriority() != PriorityGrant::None;
    asked_ = true;
}

ScopedRealTimePriority::~ScopedRealTimePriority() {
    if (!asked_) return;
    // A grant may have come during the scope; none may come after it.
    if (!raised_) WithdrawBrokerRequest(gettid());
    if (raised_ || RunsAtRealTimePriority()) DropRealTimePriority();
}

}  // namespace core
