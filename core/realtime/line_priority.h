// The real-time priority of the threads that poll the pump's line over the
// port's life (the port's monitoring thread, the simulated unit's thread).
//
// Such a thread asks when it starts and keeps what it got until it ends,
// then goes back to normal scheduling. A thread that was not raised is asked
// for again at each start of the link (the window's start click), once the
// hold after a refusal or a silent broker has passed; the request names the
// thread, so the start does not wait for it and the thread need not wake.
// What the threads came to since the last start tells the window and the
// companion whether the line ran without real time, the likely cause of a
// lost link on a busy computer.
//
// Threads: LineThreadPriority on the line thread itself; the functions from
// any thread.
#pragma once

#include "core/realtime/thread_priority.h"

namespace core {

// Held by a line thread for its life: raised at once where the system
// grants it, asked for again at each start, lowered at the end.
class LineThreadPriority {
public:
    LineThreadPriority();
    ~LineThreadPriority();
    LineThreadPriority(const LineThreadPriority&) = delete;
    LineThreadPriority& operator=(const LineThreadPriority&) = delete;

private:
    long id_;  // the system's number of the thread
};

// A start of the link: every line thread at normal priority is asked for
// again, without waiting for the answer, and the record of what the line
// ran at starts over. Never blocks.
void RenewLineThreadPriority();

// Why a line thread ran at normal priority since the last start (since the
// threads began, before any start); None while every one ran at real time.
NoRealTime LineRanWithoutRealTime();

// What `why` means to a technician, in English: a message id for the
// translation hooks, empty for None.
const char* NoRealTimeText(NoRealTime why);

}  // namespace core
