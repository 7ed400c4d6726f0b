#include "core/realtime/realtime_watchdog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace core {
namespace {

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

// Every real-time thread of the process, also one that a late answer of the
// broker raised, is lowered; only calls safe in a signal handler are made.
void LowerRealTimeThreads() {
    const int tasks = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (tasks < 0) return;
    alignas(dirent64) char buffer[4096];
    for (ssize_t n; (n = getdents64(tasks, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            pid_t tid = 0;
            for (const char* c = entry->d_name; *c >= '0' && *c <= '9'; ++c) tid = tid * 10 + (*c - '0');
            const int policy = tid > 0 ? sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK : SCHED_OTHER;
            if (policy == SCHED_FIFO || policy == SCHED_RR) LowerThread(tid);
        }
    }
    ::close(tasks);
}

void OnCpuLimit(int) {
    const int savedErrno = errno;
    LowerRealTimeThreads();
    if (const rlim_t soft = armedSoftLimit.load(); soft != RLIM_INFINITY) SetSoftLimit(soft);
    errno = savedErrno;
}

// Whatever SIGXCPU's disposition was at the start (default, ignored, or a
// handler), the answer here replaces it: unanswered, the hard limit kills.
bool InstallHandler() {
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        struct sigaction answer{};
        answer.sa_handler = OnCpuLimit;
        sigemptyset(&answer.sa_mask);
        answer.sa_flags = SA_RESTART;
        installed = sigaction(SIGXCPU, &answer, nullptr) == 0;
    });
    return installed;
}

}  // namespace

bool ArmRealTimeWatchdog(rlim_t hardAtMost) {
    if (!InstallHandler()) return false;
    std::lock_guard guard(armingLock);
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    if (!saved) before = limit, saved = true;
    limit.rlim_max = std::min(limit.rlim_max, hardAtMost);
    if (limit.rlim_max == RLIM_INFINITY) return true;  // nothing is ever killed
    if (limit.rlim_max < kLeastGuardedRtTimeUs) return false;
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

bool GuardCallingThread() {
    if (!InstallHandler()) return false;
    sigset_t cpuLimit;
    sigemptyset(&cpuLimit);
    sigaddset(&cpuLimit, SIGXCPU);
    return pthread_sigmask(SIG_UNBLOCK, &cpuLimit, nullptr) == 0;
}

bool LowerThread(pid_t tid) {
    sched_param param{};
    return sched_setscheduler(tid, SCHED_OTHER | SCHED_RESET_ON_FORK, &param) == 0;
}

}  // namespace core
