// Ctrl-C, SIGTERM and SIGHUP during a diagnosis: they are taken by a thread of
// their own and only noted, so that the diagnosis ends as after a failed step
// (the port closed, the trace ended and complete) and exits 128 + the signal.
#pragma once

#include <atomic>
#include <thread>

namespace cli {

class StopSignals {
public:
    // Blocks the signals in this thread and in every thread started after
    // it; construct it before any other thread.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal received, 0 while none.
    const std::atomic<int>& Received() const { return received_; }

private:
    std::atomic<int> received_{0};
    std::atomic<bool> done_{false};
    std::thread waiter_;
};

}  // namespace cli
