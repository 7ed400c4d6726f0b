// Millisecond waits for the pump protocol. The protocol's timing is defined in
// polls 1 ms apart, so the wait is a busy wait on the monotonic high-resolution
// clock: it neither sleeps nor processes window messages.
#pragma once

#include <cstdint>

namespace core {

// Returns when at least `ms` milliseconds have passed; DelayMs(0) reads the
// clock once and returns.
void DelayMs(std::uint16_t ms);

}  // namespace core
