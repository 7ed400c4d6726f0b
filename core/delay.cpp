#include "core/delay.h"

#include <chrono>
#include <thread>

namespace core {

void DelayMs(std::uint16_t ms) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto target = std::chrono::milliseconds(ms);
    // Yielding (not sleeping) lets other runnable threads, such as the one
    // delivering the pump's bytes, have the processor while we wait.
    while (Clock::now() - start < target) std::this_thread::yield();
}

}  // namespace core
