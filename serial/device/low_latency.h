// Low latency for USB serial adapters. Their drivers hand received bytes on
// in batches (every 16 ms by default for FTDI chips), longer than the pump's
// reply window, unless asked for low latency. A pseudo-terminal or a plain
// UART refuses or ignores the request; that is harmless and not an error.
#pragma once

#include <string>

namespace serial::device {

class LowLatency {
public:
    // Sets ASYNC_LOW_LATENCY on `tty`, and the FTDI driver's latency timer to
    // 1 ms where its attribute under `sysfsRoot` can be written; `path` names
    // the tty, through symbolic links if need be. Refusals are ignored.
    void Request(int tty, const std::string& path, const std::string& sysfsRoot);
    // Puts back what Request changed, while `tty` is still open; a flag or
    // timer that was already at its low-latency value gets the driver's
    // default (flag off, 16 ms) instead.
    void Restore(int tty);

private:
    bool flagToClear_ = false;
    std::string timerPath_;    // the latency timer attribute Request lowered
    std::string timerBefore_;  // its value before
};

}  // namespace serial::device
