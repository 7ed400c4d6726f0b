// DelayMs on the performance counter, through the precise wait: a wait
// never ends early, and ends within a fraction of a millisecond of its time
// whatever the system's timer tick. With a fine timer a 1 ms poll of the
// engine is one sleep and never holds a processor: line threads run raised,
// and one that spun through its polls held off everything else on its
// processor (on a one-processor computer the window; under Wine the
// kernel's worker that brings the awaited byte in).
#include "core/platform/delay.h"
#include "core/platform/precise_wait_win32.h"
#include "core/platform/timer_calls_win32.h"

namespace core {

void DelayMs(std::uint16_t ms) { WaitUntilTicks(NowTicks() + ms * TicksPerSecond() / 1000); }

}  // namespace core
