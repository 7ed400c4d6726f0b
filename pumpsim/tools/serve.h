// Serves the simulated control unit on a pseudo-terminal or a serial port.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "pumpsim/tools/tool_options.h"

namespace pumpsim::tool {

// Splits what a serial port delivers with parity marking (PARMRK, breaks not
// ignored) into bytes and breaks: 0xFF 0xFF is the byte 0xFF, 0xFF 0x00 0x00
// a break, 0xFF 0x00 X the byte X received with a parity or framing error.
// A sequence may be split over several reads.
class MarkedInputDecoder {
public:
    struct Event {
        bool isBreak;
        std::uint8_t byte;
        bool operator==(const Event&) const = default;
    };
    void Feed(const std::uint8_t* data, std::size_t count, std::vector<Event>& out);

private:
    int state_ = 0;  // 0 plain, 1 after 0xFF, 2 after 0xFF 0x00
};

enum class ServeEnd { Stopped, TesterClosed };

// Opens a pseudo-terminal pair, writes the path of its terminal side (one
// line) to `out`, links it to options.link if given, and serves until stopFd
// becomes readable or the tester closes the terminal after having opened it
// (with options.stay, only when stopFd becomes readable: each tester that
// closes the terminal leaves the unit asleep for the next one).
// The unit wakes on the tester's purges, except the first after the opening
// and any within 500 ms of it (the port's own purges on opening).
// Raises core::EOSError when the terminal cannot be set up.
ServeEnd ServePty(const ToolOptions& options, std::ostream& out, int stopFd);

// Serves on the serial port options.device at 9600 8E1 until stopFd becomes
// readable or the port goes away.
ServeEnd ServeDevice(const ToolOptions& options, int stopFd);

}  // namespace pumpsim::tool
