// Windows raises a process's own threads without asking anyone, and what it
// refuses once it refuses again: a start asks nothing, and the line ran
// without real time when a line thread was not raised.
#include <windows.h>

#include <map>
#include <mutex>

#include "core/realtime/line_priority.h"

namespace core {
namespace {

// Each line thread and why it was not raised: any thread, under lock.
struct Line {
    std::mutex lock;
    std::map<DWORD, NoRealTime> threads;
};

Line& TheLine() {
    static Line* line = new Line;  // never destroyed: line threads may outlive main
    return *line;
}

}  // namespace

LineThreadPriority::LineThreadPriority() : id_(static_cast<long>(GetCurrentThreadId())) {
    RequestRealTimePriority();
    Line& line = TheLine();
    std::lock_guard guard(line.lock);
    line.threads[static_cast<DWORD>(id_)] = WhyNotRaised();
}

LineThreadPriority::~LineThreadPriority() {
    {
        Line& line = TheLine();
        std::lock_guard guard(line.lock);
        line.threads.erase(static_cast<DWORD>(id_));
    }
    DropRealTimePriority();
}

void RenewLineThreadPriority() {}

NoRealTime LineRanWithoutRealTime() {
    Line& line = TheLine();
    std::lock_guard guard(line.lock);
    for (const auto& [id, why] : line.threads)
        if (why != NoRealTime::None) return why;
    return NoRealTime::None;
}

}  // namespace core
