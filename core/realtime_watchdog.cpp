#include "core/realtime_watchdog.h"

#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace core {
namespace {

// More raised threads than a process of ours ever has at once.
constexpr int kSlots = 64;
std::atomic<pid_t> raisedThreads[kSlots];

// The soft limit the watchdog keeps: the kernel moves it up by a second at
// every SIGXCPU, past the hard limit, so the handler puts it back.
std::atomic<rlim_t> armedSoftLimit{RLIM_INFINITY};

std::mutex armingLock;
bool saved = false;
rlimit before{};

void SetSoftLimit(rlim_t soft) {
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return;
    limit.rlim_cur = std::min(soft, limit.rlim_max);
    setrlimit(RLIMIT_RTTIME, &limit);
}

void OnCpuLimit(int) {
    const int savedErrno = errno;
    for (auto& slot : raisedThreads) {
        if (const pid_t tid = slot.exchange(0)) LowerThread(tid);
    }
    if (const rlim_t soft = armedSoftLimit.load(); soft != RLIM_INFINITY) SetSoftLimit(soft);
    errno = savedErrno;
}

void InstallHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current{};
        sigaction(SIGXCPU, nullptr, &current);
        if (current.sa_handler != SIG_DFL) return;  // someone else already answers it
        struct sigaction answer{};
        answer.sa_handler = OnCpuLimit;
        sigemptyset(&answer.sa_mask);
        answer.sa_flags = SA_RESTART;
        sigaction(SIGXCPU, &answer, nullptr);
    });
}

}  // namespace

bool ArmRealTimeWatchdog(rlim_t hardAtMost) {
    InstallHandler();
    std::lock_guard guard(armingLock);
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    if (!saved) before = limit, saved = true;
    limit.rlim_max = std::min(limit.rlim_max, hardAtMost);
    if (limit.rlim_max == RLIM_INFINITY) return true;  // nothing is ever killed
    limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max / 2);
    armedSoftLimit = limit.rlim_cur;
    return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

void DisarmRealTimeWatchdog() {
    std::lock_guard guard(armingLock);
    if (!saved) return;
    armedSoftLimit = RLIM_INFINITY;
    SetSoftLimit(before.rlim_cur);
}

void NoteRaisedThread(pid_t tid) {
    for (auto& slot : raisedThreads) {
        pid_t empty = 0;
        if (slot.load() == tid || slot.compare_exchange_strong(empty, tid)) return;
    }
}

void NoteLoweredThread(pid_t tid) {
    for (auto& slot : raisedThreads) {
        pid_t mine = tid;
        slot.compare_exchange_strong(mine, 0);
    }
}

bool LowerThread(pid_t tid) {
    sched_param param{};
    return sched_setscheduler(tid, SCHED_OTHER | SCHED_RESET_ON_FORK, &param) == 0;
}

}  // namespace core
