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
    // What was there before is noted in `runtimeDir` (see low_latency_note.h)
    // until Restore, so that the run after a killed one puts back the
    // adapter's own settings, not the ones the killed run left.
    void Request(int tty, const std::string& path, const std::string& sysfsRoot, const std::string& runtimeDir);
    // Puts back what Request changed, while `tty` is still open.
    void Restore(int tty);

private:
    bool flagToClear_ = false;
    std::string timerPath_;    // the latency timer attribute Request lowered
    std::string timerBefore_;  // its value before
    std::string notePath_;     // the note Request wrote, if any
};

}  // namespace serial::device
