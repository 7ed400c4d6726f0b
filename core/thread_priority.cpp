#include "core/thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "core/rt_broker.h"

namespace core {
namespace {

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
    if (RaiseDirectly()) return PriorityGrant::Direct;
    if (AskBrokerForRealTime(gettid(), kLineThreadPriority) && RunsAtRealTimePriority())
        return PriorityGrant::Broker;
    return PriorityGrant::None;
}

void DropRealTimePriority() { SetCallingThread(SCHED_OTHER, 0); }

bool RunsAtRealTimePriority() {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

ScopedRealTimePriority::ScopedRealTimePriority() {
    if (RunsAtRealTimePriority()) return;
    raised_ = RequestRealTimePriority() != PriorityGrant::None;
}

ScopedRealTimePriority::~ScopedRealTimePriority() {
    if (raised_) DropRealTimePriority();
}

}  // namespace core
