#include "core/delay.h"

#include <chrono>

namespace core {

void DelayMs(std::uint16_t ms) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto target = std::chrono::milliseconds(ms);
    while (Clock::now() - start < target) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
}

}  // namespace core
