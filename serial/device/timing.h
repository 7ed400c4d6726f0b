// Rules shared by the device backends: which device-control records a device
// can take, how long a read or a write may run under the five timeouts, and
// when a read has done enough.
#pragma once

#include <chrono>
#include <cstdint>

#include "serial/device/device.h"

namespace serial::device {

using Clock = std::chrono::steady_clock;

// 0 for a record with valid data bits, parity, stop bits and speed, else the
// system's code for an invalid argument.
int CheckDeviceControlBlock(const DeviceControlBlock& dcb);

// Sets `t` up as a read into `buffer` (or a write of `data`) of `count` bytes
// starting now under `timeouts`; aborts after `abortGeneration` end it.
void BeginRead(Transfer& t, const CommTimeouts& timeouts, std::uint8_t* buffer, int count,
               std::uint64_t abortGeneration);
void BeginWrite(Transfer& t, const CommTimeouts& timeouts, const std::uint8_t* data, int count,
                std::uint64_t abortGeneration);
// Ends `t` with `error` and returns it.
int FailTransfer(Transfer& t, int error);
// True when a read of `t` is finished with what it has (called after each take).
bool ReadFinished(const Transfer& t, Clock::time_point now);
// Milliseconds until the read or write must next be looked at, -1 for no limit.
int WaitBudgetMs(const Transfer& t, Clock::time_point now);

}  // namespace serial::device
