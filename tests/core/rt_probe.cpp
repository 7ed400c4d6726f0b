// Asks for the line threads' real-time priority on a new thread and prints
// what it got, for tests that run it under other users and buses.
#include <sched.h>
#include <sys/resource.h>

#include <cstdio>
#include <thread>

#include "core/thread_priority.h"

int main() {
    std::thread([] {
        const auto grant = core::RequestRealTimePriority();
        sched_param param{};
        sched_getparam(0, &param);
        rlimit rttime{};
        getrlimit(RLIMIT_RTTIME, &rttime);
        std::printf("grant=%d realtime=%d priority=%d rttime=%lld\n", static_cast<int>(grant),
                    core::RunsAtRealTimePriority() ? 1 : 0, param.sched_priority,
                    rttime.rlim_cur == RLIM_INFINITY ? -1LL : static_cast<long long>(rttime.rlim_cur));
    }).join();
}
