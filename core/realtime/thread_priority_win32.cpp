// Line threads on Windows: a thread priority above every normal thread of the
// desktop. Any process may set it for its own threads, so there is nothing
// to ask for and no broker.
#include <windows.h>

#include "core/realtime/thread_priority.h"

namespace core {

namespace {
constexpr int kLinePriority = THREAD_PRIORITY_TIME_CRITICAL;
}

PriorityGrant RequestRealTimePriority() {
    return SetThreadPriority(GetCurrentThread(), kLinePriority) ? PriorityGrant::Direct : PriorityGrant::None;
}

void DropRealTimePriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL); }

bool RunsAtRealTimePriority() { return GetThreadPriority(GetCurrentThread()) == kLinePriority; }

ScopedRealTimePriority::ScopedRealTimePriority() {
    if (RunsAtRealTimePriority()) return;
    raised_ = RequestRealTimePriority() != PriorityGrant::None;
}

ScopedRealTimePriority::~ScopedRealTimePriority() {
    if (raised_) DropRealTimePriority();
}

}  // namespace core
