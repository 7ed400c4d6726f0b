// Timeout rules shared by the device backends: how long a read or a write
// may run under the five timeouts, and when a read has done enough.
#pragma once

#include <chrono>

#include "serial/device/device.h"

namespace serial::device {

using Clock = std::chrono::steady_clock;

// Fills the timing fields of a read of `count` bytes starting now.
void PrepareReadTiming(Transfer& t, const CommTimeouts& timeouts, int count);
// Fills the timing fields of a write of `count` bytes starting now.
void PrepareWriteTiming(Transfer& t, const CommTimeouts& timeouts, int count);
// True when a read of `t` is finished with what it has (called after each take).
bool ReadFinished(const Transfer& t, Clock::time_point now);
// Milliseconds until the read or write must next be looked at, -1 for no limit.
int WaitBudgetMs(const Transfer& t, Clock::time_point now);

}  // namespace serial::device
