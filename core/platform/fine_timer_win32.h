// What the line's waits need of the system while a port is open: the 1 ms
// timer period (timeBeginPeriod), and the process's opt-out from timer
// throttling, without which Windows 11 gives a process whose windows are
// minimised or covered the default 15.625 ms period whatever it asked for
// (the remarks of timeBeginPeriod and of PROCESS_POWER_THROTTLING_STATE).
// Both are given back when the last holder ends: an idle program leaves the
// laptop's timer, and its battery, alone.
#pragma once

namespace core {

class FineTimer {
public:
    FineTimer();
    ~FineTimer();
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    bool period_;
};

}  // namespace core
