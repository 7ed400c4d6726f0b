// Millisecond waits for the pump protocol. The protocol's timing is defined in
// polls 1 ms apart on the monotonic high-resolution clock. A wait never
// processes window messages; it sleeps for most of its length and polls the
// clock for the last fraction, so that it ends on time without holding a
// processor for its whole length.
#pragma once

#include <cstdint>

namespace core {

// Returns when at least `ms` milliseconds have passed; DelayMs(0) reads the
// clock once and returns.
void DelayMs(std::uint16_t ms);

}  // namespace core
